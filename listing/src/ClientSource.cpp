#include "listing/ClientSource.h"

#include <utility>

#include "base/S3Clients.h"
#include "providers/ProviderFacts.h"

ClientSource::ClientSource(const ProviderProfile& profile,
                           const Aws::Auth::AWSCredentials& credentials, ConfigFactory makeConfig,
                           std::string defaultRegion)
    : profile_(profile),
      credentials_(credentials),
      makeConfig_(std::move(makeConfig)),
      defaultRegion_(defaultRegion.empty() ? std::string(providers::DefaultServiceRegion)
                                           : std::move(defaultRegion)) {}

void ClientSource::SetSharedClient(std::shared_ptr<Aws::S3::S3Client> client) {
    if (!shared_) shared_ = std::move(client);
}

std::shared_ptr<Aws::S3::S3Client> ClientSource::ServiceClient() const {
    if (profile_.clientStrategy == ClientStrategy::Regional) return RegionalClient(defaultRegion_);
    return shared_;
}

std::shared_ptr<Aws::S3::S3Client> ClientSource::RegionalClient(const std::string& region) const {
    // Nothing but the region: a regional client must not inherit an endpoint or other settings
    // meant for the instance-wide client.
    Aws::Client::ClientConfiguration config;
    config.region = region;
    return MakeS3Client(credentials_, config);
}

std::shared_ptr<Aws::S3::S3Client> ClientSource::ShortLivedClient() const {
    if (!makeConfig_) return MakeS3Client(credentials_, Aws::Client::ClientConfiguration());
    return MakeS3Client(credentials_, makeConfig_());
}
