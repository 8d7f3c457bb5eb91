// The provider's cold storage tier, at the host the exported `Endpoint` names.
#include "base/ProviderProfile.h"
#include "host/Export.h"

namespace {
char defaultEndpoint[] = GOLMER_DEFAULT_ENDPOINT;
}

// Writable by the host; read afresh whenever a client configuration is built.
PLUGIN_EXPORT char* Endpoint;
char* Endpoint = defaultEndpoint;

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = L"Mail.ru IceBox",
        .serverNameKey = nullptr,
        .accessKeyKey = L"UserName",
        .secretKeyKey = L"Password",
        .regionKey = nullptr,
        .fallbackRegionKey = nullptr,
        .reportsMissingParameter = false,
        .rootChecks = {},
        .endpointSource = EndpointSource::ExportedEndpoint,
        .fixedEndpoint = nullptr,
        .exportedEndpoint = &Endpoint,
        .regionPolicy = RegionPolicy::SdkDefault,
        .checksumsWhenRequired = false,
        .clientStrategy = ClientStrategy::SharedWithShortLivedEdits,
        .rereadListedFolderOnMiss = false,
        .createBucketMessage = L"Please, create buckets from Mail.ru IceBox web console",
        .transferReporting = TransferReporting::StandardError,
    };
    return profile;
}
