// Any S3-compatible service, at the server and region the user gives.
#include "base/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = L"S3 Cloud",
        .serverNameKey = L"ServerName",
        .accessKeyKey = L"AccessKeyID",
        .secretKeyKey = L"SecretAccessKey",
        .regionKey = L"Region",
        .fallbackRegionKey = nullptr,
        .reportsMissingParameter = false,
        .rootChecks = {{L"ServerName", L"Server name is empty"},
                       {L"AccessKeyID", L"Access Key is empty"},
                       {L"SecretAccessKey", L"Secret Key is empty"}},
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
