// Amazon S3 itself: no endpoint override, every bucket served from its own region.
#include "base/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = L"Amazon S3",
        .serverNameKey = nullptr,
        .accessKeyKey = L"AccessKeyID",
        .secretKeyKey = L"SecretAccessKey",
        .regionKey = L"Region",
        .fallbackRegionKey = L"FallbackRegion",
        .reportsMissingParameter = true,
        .rootChecks = {},
        .endpointSource = EndpointSource::SdkDefault,
        .fixedEndpoint = nullptr,
        .exportedEndpoint = nullptr,
        .regionPolicy = RegionPolicy::PerBucket,
        .checksumsWhenRequired = false,
        .clientStrategy = ClientStrategy::Regional,
        .rereadListedFolderOnMiss = true,
        .createBucketMessage = L"Please, create buckets from Amazon S3 web console",
        .transferReporting = TransferReporting::StandardError,
    };
    return profile;
}
