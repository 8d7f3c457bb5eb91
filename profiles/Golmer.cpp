// The provider's cold storage tier, at the host the exported `Endpoint` names.
#include "frame/Export.h"
#include "frame/ProviderProfile.h"

namespace {
char defaultEndpoint[] = GOLMER_DEFAULT_ENDPOINT;
}

// Writable by the host; read afresh whenever a client configuration is built.
PLUGIN_EXPORT char* Endpoint;
char* Endpoint = defaultEndpoint;

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        L"Mail.ru IceBox",
        nullptr,
        L"UserName",
        L"Password",
        nullptr,
        nullptr,
        false,
        {},
        EndpointSource::ExportedEndpoint,
        nullptr,
        &Endpoint,
        RegionPolicy::SdkDefault,
        false,
        ClientStrategy::SharedWithShortLivedEdits,
        false,
        L"Please, create buckets from Mail.ru IceBox web console",
        TransferReporting::StandardError,
    };
    return profile;
}
