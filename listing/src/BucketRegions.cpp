// Which client serves a request about a bucket, and, in the regional strategy, the bucket's
// region, asked of the service once per bucket.
#include <aws/s3/model/BucketLocationConstraint.h>
#include <aws/s3/model/GetBucketLocationRequest.h>

#include "base/LogS3Error.h"
#include "listing/S3Listing.h"
#include "providers/ProviderFacts.h"
#include "torvik/Strings.h"

ResultCode S3Listing::GetBucketRegion(const std::string& bucket, std::string& region) {
    region.clear();
    Bucket* node = FindBucket(bucket);
    if (node == nullptr) return NotFound;
    if (!node->region.empty()) {
        region = node->region;
        return Success;
    }

    const std::shared_ptr<Aws::S3::S3Client> client = clients.ServiceClient();
    if (!client) return Failure;
    Aws::S3::Model::GetBucketLocationRequest request;
    request.SetBucket(bucket);
    const auto outcome = client->GetBucketLocation(request);
    const std::wstring wideName = Torvik::strings::UTF8toWstr(bucket);
    if (!outcome.IsSuccess()) {
        log->WriteFormatted(PluginLogSeverity, L"Cannot get bucket region %s", wideName.c_str());
        LogS3Error(log, outcome.GetError());
        return Failure;
    }

    using Aws::S3::Model::BucketLocationConstraint;
    const BucketLocationConstraint constraint = outcome.GetResult().GetLocationConstraint();
    std::string location;
    if (constraint == BucketLocationConstraint::NOT_SET) {
        // The service reports the buckets of its first region without a constraint.
        log->WriteFormatted(PluginLogSeverity, L"The bucket constraint location is NOT_SET: %s",
                            wideName.c_str());
    } else {
        location =
            Aws::S3::Model::BucketLocationConstraintMapper::GetNameForBucketLocationConstraint(
                constraint);
    }
    const std::string name = providers::RegionOfLocation(location, fallbackRegion);
    node->region = name;
    region = name;
    return Success;
}

ResultCode S3Listing::GetBucketClient(const std::string& bucket, ClientUse use,
                                      std::shared_ptr<Aws::S3::S3Client>& client) {
    client.reset();
    switch (clients.Profile().clientStrategy) {
        case ClientStrategy::Shared:
            client = clients.SharedClient();
            break;
        case ClientStrategy::SharedWithShortLivedEdits:
            client = use == ClientUse::Edit ? clients.ShortLivedClient() : clients.SharedClient();
            break;
        case ClientStrategy::Regional: {
            std::string bucketRegion;
            if (GetBucketRegion(bucket, bucketRegion) != Success) return Failure;
            client = clients.RegionalClient(bucketRegion);
            break;
        }
    }
    return client ? Success : Failure;
}
