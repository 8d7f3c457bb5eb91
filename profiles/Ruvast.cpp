// The provider's hot storage tier, at the host the exported `Endpoint` names.
#include "base/ProviderProfile.h"
#include "host/Export.h"
#include "providers/ProviderFacts.h"

namespace {
char defaultEndpoint[] = RUVAST_DEFAULT_ENDPOINT;
}

// Writable by the host; read afresh whenever a client configuration is built.
PLUGIN_EXPORT char* Endpoint;
char* Endpoint = defaultEndpoint;

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        .displayName = providers::Ruvast.displayName.wide,
        .serverNameKey = nullptr,
        .accessKeyKey = providers::Ruvast.accessKeyKey.wide,
        .secretKeyKey = providers::Ruvast.secretKeyKey.wide,
        .regionKey = providers::Ruvast.regionKey.wide,
        .fallbackRegionKey = providers::Ruvast.fallbackRegionKey.wide,
        .reportsMissingParameter = false,
        .rootChecks = {},
        .endpointSource = EndpointSource::ExportedEndpoint,
        .fixedEndpoint = nullptr,
        .exportedEndpoint = &Endpoint,
        .regionPolicy = RegionPolicy::SdkDefault,
        .checksumsWhenRequired = false,
        .clientStrategy = ClientStrategy::SharedWithShortLivedEdits,
        .rereadListedFolderOnMiss = false,
        .createBucketMessage = L"Please, create buckets from Mail.ru HotBox web console",
        .transferReporting = TransferReporting::StandardError,
    };
    return profile;
}
