// Reads the objects under a prefix of a bucket, one ListObjectsV2 page at a time, with the keys
// exactly as stored. Keys travel URL-encoded (encoding-type=url): in XML a carriage return would
// come back as a line feed and character references in a key would be decoded a second time,
// so the name shown would not open the object it was listed from. They are decoded once, and
// only when the answer says it encoded them: a service that ignores the request sends raw keys.
#pragma once

#include <aws/s3/S3Client.h>
#include <aws/s3/model/Object.h>

#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

class ObjectPager {
  public:
    struct Page {
        std::vector<Aws::S3::Model::Object> objects;  // keys decoded
        std::vector<std::string> commonPrefixes;      // decoded, with the delimiter
    };

    // `delimiter` "/" lists one folder level, "" the whole tree below `prefix`. `maxKeys` 0
    // leaves the page size to the service.
    ObjectPager(std::shared_ptr<Aws::S3::S3Client> client, std::string bucket, std::string prefix,
                std::string delimiter, int maxKeys = 0);

    // Whether a page is still to come.
    bool More() const { return !finished; }

    // The next page. Failure when the request failed, or when the service handed back the token
    // it was given (the listing would never end); Error() tells which.
    ResultCode Next(Page& page);

    const Aws::S3::S3Error& Error() const { return error; }
    bool RepeatedToken() const { return repeatedToken; }

  private:
    std::shared_ptr<Aws::S3::S3Client> client;
    std::string bucket;
    std::string prefix;
    std::string delimiter;
    int maxKeys;
    std::string token;
    bool finished = false;
    bool repeatedToken = false;
    Aws::S3::S3Error error;
};
