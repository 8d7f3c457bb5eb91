// Amazon S3 itself: no endpoint override, every bucket served from its own region.
#include "base/ProviderProfile.h"
#include "providers/ProviderFacts.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = providers::Tresko.displayName.wide,
        .serverNameKey = nullptr,
        .accessKeyKey = providers::Tresko.accessKeyKey.wide,
        .secretKeyKey = providers::Tresko.secretKeyKey.wide,
        .regionKey = providers::Tresko.regionKey.wide,
        .fallbackRegionKey = providers::Tresko.fallbackRegionKey.wide,
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
