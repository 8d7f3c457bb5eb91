#include "base/LinkValue.h"

#include "base/LogS3Error.h"
#include "base/ProviderProfile.h"
#include "torvik/Strings.h"

std::string ReadLinkValue(const ProviderProfile& profile, ILog* log, ILink* link,
                          const wchar_t* key) {
    std::wstring value;
    const bool known = link->GetValue(key, value);
    if (!known && profile.reportsMissingParameter) {
        log->WriteFormatted(PluginLogSeverity, L"Server can not find specific parameter");
    }
    return Torvik::strings::WstrToUTF8(value);
}
