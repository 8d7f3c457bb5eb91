// What plughost knows of its five plug-ins beyond what their descriptor says: the parameters
// each reads through ILink, in order, and what they mean; where each sends its requests. The
// host configures its plug-ins, so it is the host that knows this; it reads it from the same
// table of provider facts that the plug-ins are built from, and finds a plug-in's entry by the
// descriptor's display name (GetPluginName), never by the file name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Parameters.h"
#include "providers/ProviderFacts.h"

namespace plughost {

struct ParameterInfo {
    const char* key;
    bool required;
    const char* meaning;
};

// Where a plug-in sends its requests (an exported Endpoint is what --endpoint sets).
using EndpointSource = providers::EndpointKind;

struct KnownPlugin {
    const char* displayName;
    const char* library;
    std::vector<ParameterInfo> parameters;  // in the order the plug-in reads them
    EndpointSource endpoint;
    const char* accessKeyKey;
    const char* secretKeyKey;
    const char* regionKey;          // null when no region is read
    const char* fallbackRegionKey;  // null when none is read
};

const std::vector<KnownPlugin>& KnownPlugins();
const KnownPlugin* FindKnownPlugin(const std::string& displayName);

// The parameter names of `plugin`, comma-separated, in order.
std::string ParameterNames(const KnownPlugin& plugin);

// Why `parameters` cannot be handed to `plugin` (a key it does not read, a required one
// missing or empty), or an empty string.
std::string ParameterProblem(const KnownPlugin& plugin, const ParameterSet& parameters);

// The endpoint as the SDK will use it, and how plughost knows it.
struct EndpointFacts {
    std::string url;           // with its scheme; "" when the SDK picks it per region
    bool schemeAdded = false;  // the configured text had no scheme, and HTTPS was assumed
    std::string configured;    // the text as configured
    std::string source;        // "ServerName", "--endpoint", "the plug-in's built-in host", ...
};

// `exported` is the plug-in's exported Endpoint where it has one (null pointer: nullopt or "").
// `getenv` reads the environment (AWS_ENDPOINT_URL_S3 moves the SDK's default endpoint).
EndpointFacts ResolveEndpoint(const KnownPlugin& plugin, const ParameterSet& parameters,
                              const std::optional<std::string>& exported);

// The text with "https://" put before it when it has neither "http://" nor "https://", as
// the SDK does with an endpoint override; `added` tells whether it did.
std::string WithScheme(const std::string& text, bool& added);

}  // namespace plughost
