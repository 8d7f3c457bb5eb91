// VK Cloud object storage at its fixed hot-tier endpoint.
#include "base/ProviderProfile.h"
#include "providers/ProviderFacts.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = providers::Pennat.displayName.wide,
        .serverNameKey = nullptr,
        .accessKeyKey = providers::Pennat.accessKeyKey.wide,
        .secretKeyKey = providers::Pennat.secretKeyKey.wide,
        .regionKey = providers::Pennat.regionKey.wide,
        .fallbackRegionKey = providers::Pennat.fallbackRegionKey.wide,
        .reportsMissingParameter = false,
        .rootChecks = {{providers::AccessKeyIdKey.wide, L"Access Key is empty"},
                       {providers::SecretAccessKeyKey.wide, L"Secret Key is empty"}},
        .endpointSource = EndpointSource::FixedHost,
        .fixedEndpoint = PENNAT_FIXED_ENDPOINT,
        .exportedEndpoint = nullptr,
        .regionPolicy = RegionPolicy::SdkDefault,
        .checksumsWhenRequired = false,
        .clientStrategy = ClientStrategy::Shared,
        .rereadListedFolderOnMiss = true,
        .createBucketMessage = L"Please, create buckets from web console",
        .transferReporting = TransferReporting::HostLog,
    };
    return profile;
}
