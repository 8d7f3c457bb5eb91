// Everything that sets the five deliverables apart. The shared code reads these fields where
// its behaviour differs between providers and never asks which deliverable it is part of:
// to see how two plug-ins differ, compare their profiles in profiles/.
#pragma once

#include <vector>

// Where the endpoint of a client configuration comes from.
enum class EndpointSource {
    SdkDefault,        // no override: the SDK's own endpoint for the region
    ServerNameParam,   // the host's "ServerName" parameter
    FixedHost,         // a host name built into the plug-in (ProviderProfile::fixedEndpoint)
    ExportedEndpoint,  // the exported, writable `Endpoint` pointer, read afresh at every use
};

// Which region the instance's client configuration carries.
enum class RegionPolicy {
    SdkDefault,   // whatever the SDK resolves
    RegionParam,  // the host's "Region" parameter when it is not empty
    PerBucket,    // found per bucket at run time; every request goes through a regional client
};

// Which S3 client serves which request.
enum class ClientStrategy {
    Shared,                     // one instance-wide client for everything
    SharedWithShortLivedEdits,  // instance-wide client, but folder creation and deletion and file
                                // deletion use a client built for that call from a fresh config
    Regional,  // no instance-wide client: a client per call for the bucket's region
};

// Where failures of uploads and downloads are reported.
enum class TransferReporting {
    HostLog,        // context line to the host log, then the SDK error in full
    StandardError,  // upload failures at close as bare text on stderr; the rest silent
};

// A parameter that is checked before the root is listed, and the message for its absence.
struct RootParameterCheck {
    const wchar_t* key;
    const wchar_t* messageWhenEmpty;
};

struct ProviderProfile {
    // Descriptor.
    const wchar_t* displayName;

    // Parameters read through the host's link, in the order they are read.
    const wchar_t* serverNameKey;  // nullptr when the profile has no server-name parameter
    const wchar_t* accessKeyKey;
    const wchar_t* secretKeyKey;
    const wchar_t* regionKey;          // nullptr when no region parameter is read
    const wchar_t* fallbackRegionKey;  // nullptr when no fallback region parameter is read
    bool reportsMissingParameter;      // log when the host does not know a parameter
    std::vector<RootParameterCheck> rootChecks;

    // Endpoint, region and client settings.
    EndpointSource endpointSource;
    const char* fixedEndpoint;  // FixedHost only
    char** exportedEndpoint;    // ExportedEndpoint only: the plug-in's exported `Endpoint`
    RegionPolicy regionPolicy;
    bool checksumsWhenRequired;  // request checksums and response validation only when required
    ClientStrategy clientStrategy;

    // Listing cache: whether adding an element below an already listed folder that lacks the
    // next path component reads that folder again.
    bool rereadListedFolderOnMiss;

    // Messages that differ.
    const wchar_t* createBucketMessage;
    TransferReporting transferReporting;
};

// The profile this plug-in was built with; defined by exactly one translation unit in profiles/.
// Only the frame (entry points and instance set-up) asks for it; it hands it to the layers below.
const ProviderProfile& ActiveProfile();
