#include "KnownPlugins.h"

#include <cstdlib>

#ifndef PLUGHOST_PENNAT_ENDPOINT
#define PLUGHOST_PENNAT_ENDPOINT "hb.bizmrg.com"
#endif

namespace plughost {

namespace {

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

}  // namespace

const std::vector<KnownPlugin>& KnownPlugins() {
    static const std::vector<KnownPlugin> plugins = [] {
        std::vector<KnownPlugin> made;
        for (const providers::Provider* provider : providers::AllProviders) {
            KnownPlugin plugin{provider->displayName.narrow,
                               provider->library,
                               {},
                               provider->endpoint,
                               provider->accessKeyKey.narrow,
                               provider->secretKeyKey.narrow,
                               provider->regionKey.narrow,
                               provider->fallbackRegionKey.narrow};
            for (std::size_t i = 0; i < provider->parameterCount; ++i) {
                const providers::Parameter& parameter = provider->parameters[i];
                plugin.parameters.push_back(
                    {parameter.key.narrow, parameter.required, parameter.meaning});
            }
            made.push_back(std::move(plugin));
        }
        return made;
    }();
    return plugins;
}

const KnownPlugin* FindKnownPlugin(const std::string& displayName) {
    for (const KnownPlugin& plugin : KnownPlugins())
        if (displayName == plugin.displayName) return &plugin;
    return nullptr;
}

std::string ParameterNames(const KnownPlugin& plugin) {
    std::string names;
    for (const ParameterInfo& parameter : plugin.parameters)
        names += (names.empty() ? "" : ", ") + std::string(parameter.key);
    return names;
}

std::string ParameterProblem(const KnownPlugin& plugin, const ParameterSet& parameters) {
    const std::string who = std::string(plugin.library) + " (" + plugin.displayName + ")";
    for (const auto& [key, shown] : parameters.Printable()) {
        bool known = false;
        for (const ParameterInfo& parameter : plugin.parameters) known |= key == parameter.key;
        if (!known)
            return "parameter '" + key + "' is not one that " + who +
                   " reads; it reads: " + ParameterNames(plugin);
    }
    for (const ParameterInfo& parameter : plugin.parameters) {
        if (!parameter.required) continue;
        const std::optional<std::string> value = parameters.Find(parameter.key);
        if (!value || value->empty()) {
            const std::string meaning = parameter.meaning;
            return who + " needs the parameter " + parameter.key + " (" +
                   meaning.substr(0, meaning.find(" (")) + "), which is " +
                   (value ? "empty" : "not given");
        }
    }
    return "";
}

std::string WithScheme(const std::string& text, bool& added) {
    added = text.compare(0, 7, "http://") != 0 && text.compare(0, 8, "https://") != 0;
    return added ? "https://" + text : text;
}

EndpointFacts ResolveEndpoint(const KnownPlugin& plugin, const ParameterSet& parameters,
                              const std::optional<std::string>& exported) {
    EndpointFacts facts;
    switch (plugin.endpoint) {
        case EndpointSource::ServerNameParameter:
            facts.configured = parameters.Find("ServerName").value_or("");
            facts.source = "ServerName";
            break;
        case EndpointSource::Fixed:
            facts.configured = PLUGHOST_PENNAT_ENDPOINT;
            facts.source = "the plug-in's built-in endpoint";
            break;
        case EndpointSource::Exported:
            facts.configured = exported.value_or("");
            facts.source = "the exported Endpoint (--endpoint)";
            break;
        case EndpointSource::PerRegion:
            break;
    }
    if (facts.configured.empty()) {
        // No override: the SDK takes the endpoint from the environment, else its own per region.
        const std::optional<std::string> ignore =
            Environment("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS");
        std::optional<std::string> fromEnvironment;
        if (!ignore || *ignore != "true") {
            fromEnvironment = Environment("AWS_ENDPOINT_URL_S3");
            if (!fromEnvironment) fromEnvironment = Environment("AWS_ENDPOINT_URL");
        }
        if (!fromEnvironment) {
            facts.source = "the SDK's endpoint for each bucket's region";
            return facts;
        }
        facts.configured = *fromEnvironment;
        facts.source = "AWS_ENDPOINT_URL_S3";
    }
    facts.url = WithScheme(facts.configured, facts.schemeAdded);
    return facts;
}

}  // namespace plughost
