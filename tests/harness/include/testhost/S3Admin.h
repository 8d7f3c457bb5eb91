// Raw HTTP access to a local S3 server for setting up and checking tests, independent of the S3
// client layer under test. Path-style addressing throughout. Unsigned, as moto takes it, or
// signed with signature version 4 for a server that checks signatures.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testhost {

class S3Admin {
  public:
    struct Response {
        long status = 0;  // 0 when no answer arrived
        std::string body;
        std::map<std::string, std::string> headers;  // lower-case names
    };

    // `url` is the server's base ("http://127.0.0.1:PORT"); `caFile` verifies a TLS server.
    // With an access key, every request is signed with it and `secretKey`.
    explicit S3Admin(std::string url, std::string caFile = "", std::string accessKey = "",
                     std::string secretKey = "");

    // Set-up operations throw std::runtime_error when the server does not accept them.
    void CreateBucket(const std::string& bucket, const std::string& locationConstraint = "");
    void PutObject(const std::string& bucket, const std::string& key, const std::string& data);
    void DeleteObject(const std::string& bucket, const std::string& key);
    void DeleteBucket(const std::string& bucket);  // the bucket must be empty
    // Aborts the bucket's open uploads, deletes every object, then the bucket.
    void DeleteBucketAndContents(const std::string& bucket);

    // nullopt when the object does not exist; throws on other failures.
    std::optional<std::string> GetObject(const std::string& bucket, const std::string& key);
    // The object's Content-Length from a HEAD; nullopt when it does not exist.
    std::optional<long long> ObjectSize(const std::string& bucket, const std::string& key);
    // Every key under `prefix`, all pages, in the server's order.
    std::vector<std::string> ListKeys(const std::string& bucket, const std::string& prefix = "");
    // Keys that have an upload in progress (one entry per upload).
    std::vector<std::string> ListMultipartUploads(const std::string& bucket);
    struct Upload {
        std::string key;
        std::string uploadId;
    };
    std::vector<Upload> ListUploads(const std::string& bucket);
    bool BucketExists(const std::string& bucket);
    std::vector<std::string> ListBuckets();

    // A valid bucket name (lower case, DNS-compatible) that no earlier call returned.
    std::string UniqueBucketName(const std::string& stem);

    // One request; `target` is the path and query, already encoded.
    Response Request(const std::string& method, const std::string& target,
                     const std::string& body = "",
                     const std::map<std::string, std::string>& headers = {});

    // "/bucket/key" with the key encoded per segment ('/' kept).
    static std::string ObjectTarget(const std::string& bucket, const std::string& key);
    static std::string Encode(const std::string& text, bool keepSlash);

  private:
    std::string url_;
    std::string caFile_;
    std::string accessKey_;
    std::string secretKey_;
};

}  // namespace testhost
