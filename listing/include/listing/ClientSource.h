// Decides which S3 client serves a request, as the active profile's client strategy says:
// the instance-wide client, a client built for one call from a fresh configuration, or a
// client for one region. Call sites ask for the purpose; they never choose the client.
#pragma once

#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/s3/S3Client.h>

#include <functional>
#include <memory>
#include <string>

#include "base/ProviderProfile.h"

// What a request is for; see S3Listing::GetBucketClient.
enum class ClientUse {
    Browse,    // listing a bucket's folders
    Edit,      // creating a folder, deleting a folder or a file
    Transfer,  // an opened file's uploads and downloads
};

class ClientSource {
  public:
    using ConfigFactory = std::function<Aws::Client::ClientConfiguration()>;

    // `makeConfig` builds a fresh client configuration each time it is called (the endpoint of
    // some profiles is read anew at every build). `defaultRegion` is the region of requests
    // that concern no bucket in the regional strategy; empty means the
    // provider facts' DefaultServiceRegion.
    ClientSource(const ProviderProfile& profile, const Aws::Auth::AWSCredentials& credentials,
                 ConfigFactory makeConfig, std::string defaultRegion);

    const ProviderProfile& Profile() const { return profile_; }

    // The instance-wide client; null in the regional strategy. The first client set stays.
    void SetSharedClient(std::shared_ptr<Aws::S3::S3Client> client);
    std::shared_ptr<Aws::S3::S3Client> SharedClient() const { return shared_; }

    // The client for requests that concern no particular bucket (the bucket list, a bucket's
    // location): the shared client, or a client for the default region.
    std::shared_ptr<Aws::S3::S3Client> ServiceClient() const;

    // A new client for one region, with a configuration in which only the region is set.
    std::shared_ptr<Aws::S3::S3Client> RegionalClient(const std::string& region) const;

    // A new client from a fresh configuration, for one call.
    std::shared_ptr<Aws::S3::S3Client> ShortLivedClient() const;

  private:
    const ProviderProfile& profile_;
    Aws::Auth::AWSCredentials credentials_;
    ConfigFactory makeConfig_;
    std::string defaultRegion_;
    std::shared_ptr<Aws::S3::S3Client> shared_;
};
