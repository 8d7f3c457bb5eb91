// The provider's cold storage tier, at the host the exported `Endpoint` names.
#include "base/ProviderProfile.h"
#include "host/Export.h"
#include "providers/ProviderFacts.h"

namespace {
char defaultEndpoint[] = GOLMER_DEFAULT_ENDPOINT;
}

// Writable by the host; read afresh whenever a client configuration is built.
PLUGIN_EXPORT char* Endpoint;
char* Endpoint = defaultEndpoint;

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = providers::Golmer.displayName.wide,
        .serverNameKey = nullptr,
        .accessKeyKey = providers::Golmer.accessKeyKey.wide,
        .secretKeyKey = providers::Golmer.secretKeyKey.wide,
        .regionKey = providers::Golmer.regionKey.wide,
        .fallbackRegionKey = providers::Golmer.fallbackRegionKey.wide,
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
