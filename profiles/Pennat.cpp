// VK Cloud object storage at its fixed hot-tier endpoint.
#include "base/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = L"VK Cloud",
        .serverNameKey = nullptr,
        .accessKeyKey = L"AccessKeyID",
        .secretKeyKey = L"SecretAccessKey",
        .regionKey = nullptr,
        .fallbackRegionKey = nullptr,
        .reportsMissingParameter = false,
        .rootChecks = {{L"AccessKeyID", L"Access Key is empty"},
                       {L"SecretAccessKey", L"Secret Key is empty"}},
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
