// info: the descriptor a plug-in hands the host, and the parameters it reads.
#include <cstdio>

#include "CommandContext.h"
#include "CommandHandlers.h"
#include "Commands.h"
#include "StoragePath.h"

namespace plughost {

namespace {

const char* FileSystemMeaning(std::int32_t type) {
    return type == 3 ? "object storage" : "unknown";
}
const char* CategoryMeaning(std::int32_t category) {
    return category == 4 ? "cloud storage" : "unknown";
}

}  // namespace

int Info(Context& context) {
    std::string error;
    PluginInfoPtr info = context.session.Library().GetPluginInfo(error);
    if (!info) {
        context.console.Line(
            "plughost: error: " +
            (error.empty() ? std::string("GetPluginInfo returned nothing") : error));
        return ExitFailed;
    }
    auto yesNo = [](bool value) { return value ? "yes" : "no"; };
    const std::optional<std::string> endpoint = context.session.Library().Endpoint();
    const int features = info->GetPluginFeatures();
    const std::int32_t type = info->GetFileSystemType();
    const std::int32_t category = info->GetCategory();
    std::printf("Plug-in:          %s\n", context.session.Library().Path().c_str());
    std::printf("Name:             %s\n", FromHostName(info->GetPluginName()).c_str());
    std::printf("Version:          %s\n", FromHostName(info->GetPluginVersion()).c_str());
    std::printf("Features:         %d (%s)\n", features,
                features == 0 ? "no optional host features" : "host feature bits");
    std::printf("File system type: %d (%s)\n", static_cast<int>(type), FileSystemMeaning(type));
    std::printf("Category:         %d (%s)\n", static_cast<int>(category),
                CategoryMeaning(category));
    std::printf("Seek supported:   %s\n", yesNo(info->IsSeekFileSupported()));
    std::printf("Move supported:   %s\n", yesNo(info->IsMoveFileSupported()));
    std::printf("Configurable:     %s\n", yesNo(info->IsConfigurable()));
    std::printf("Auth parameters:  %s\n", info->GetPluginAuthParams() ? "described" : "none");
    std::printf("Endpoint:         %s\n", endpoint ? endpoint->c_str() : "(not exported)");
    const KnownPlugin* known = FindKnownPlugin(FromHostName(info->GetPluginName()));
    if (known == nullptr) {
        std::printf("Parameters:       not known to plughost\n");
        return ExitOk;
    }
    std::printf("Parameters (read in this order):\n");
    for (const ParameterInfo& parameter : known->parameters)
        std::printf("  %-16s %-9s %s\n", parameter.key,
                    parameter.required ? "required" : "optional", parameter.meaning);
    std::string where;
    switch (known->endpoint) {
        case EndpointSource::ServerNameParameter:
            where = "the ServerName parameter";
            break;
        case EndpointSource::Fixed:
            where = "the host built into the plug-in, " +
                    ResolveEndpoint(*known, context.session.Parameters(), std::nullopt).configured;
            break;
        case EndpointSource::Exported:
            where = "the exported Endpoint (--endpoint); without http:// or https://, HTTPS";
            break;
        case EndpointSource::PerRegion:
            where = "the SDK's endpoint of each bucket's region (AWS_ENDPOINT_URL_S3 moves it)";
            break;
    }
    std::printf("Requests go to:   %s\n", where.c_str());
    return ExitOk;
}

}  // namespace plughost
