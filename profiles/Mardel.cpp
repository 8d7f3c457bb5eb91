// Any S3-compatible service, at the server and region the user gives.
#include "base/ProviderProfile.h"
#include "providers/ProviderFacts.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = providers::Mardel.displayName.wide,
        .serverNameKey = providers::ServerNameKey.wide,
        .accessKeyKey = providers::Mardel.accessKeyKey.wide,
        .secretKeyKey = providers::Mardel.secretKeyKey.wide,
        .regionKey = providers::Mardel.regionKey.wide,
        .fallbackRegionKey = providers::Mardel.fallbackRegionKey.wide,
        .reportsMissingParameter = false,
        .rootChecks = {{providers::ServerNameKey.wide, L"Server name is empty"},
                       {providers::AccessKeyIdKey.wide, L"Access Key is empty"},
                       {providers::SecretAccessKeyKey.wide, L"Secret Key is empty"}},
        .endpointSource = EndpointSource::ServerNameParam,
        .fixedEndpoint = nullptr,
        .exportedEndpoint = nullptr,
        .regionPolicy = RegionPolicy::RegionParam,
        // Many S3-compatible services know no flexible checksums: send only what an operation
        // requires.
        .checksumsWhenRequired = true,
        .clientStrategy = ClientStrategy::Shared,
        .rereadListedFolderOnMiss = true,
        .createBucketMessage = L"Please, create buckets from web console",
        .transferReporting = TransferReporting::HostLog,
    };
    return profile;
}
