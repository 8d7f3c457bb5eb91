#include <aws/core/VersionConfig.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/client/RetryStrategy.h>
#include <aws/core/utils/StringUtils.h>

#include "core/ConfigFile.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>

namespace Aws {
namespace Client {
using Aws::Internal::GetConfigProfileName;
using Aws::Internal::GetEnv;
using Aws::Internal::GetProfileProperty;
using Aws::Utils::StringUtils;

namespace {
// Region: environment first, then the profile, then us-east-1. The instance metadata service is
// deliberately never consulted, so that constructing a configuration sends no traffic.
Aws::String ResolveRegion(const Aws::String& profile) {
    Aws::String region = GetEnv("AWS_DEFAULT_REGION");
    if (region.empty()) region = GetEnv("AWS_REGION");
    if (region.empty()) region = GetProfileProperty(profile, "region");
    if (region.empty()) region = "us-east-1";
    return region;
}

void SetDefaults(ClientConfiguration& config, const Aws::String& profile) {
    config.profileName = profile;
    config.region = ResolveRegion(profile);
    config.requestTimeoutMs = 3000;
    config.connectTimeoutMs = 1000;
    config.caFile = GetEnv("AWS_CA_BUNDLE");
    config.appId = GetEnv("AWS_SDK_UA_APP_ID");
    if (config.appId.empty()) config.appId = GetProfileProperty(profile, "sdk_ua_app_id");
    config.retryStrategy = InitRetryStrategy();
}
}  // namespace

ClientConfiguration::ClientConfiguration() { SetDefaults(*this, GetConfigProfileName()); }

ClientConfiguration::ClientConfiguration(const ClientConfigurationInitValues& configuration) {
    SetDefaults(*this, GetConfigProfileName());
    disableIMDS = configuration.shouldDisableIMDS;
}

ClientConfiguration::ClientConfiguration(const char* profile, bool shouldDisableIMDS) {
    SetDefaults(*this, profile && *profile ? Aws::String(profile) : GetConfigProfileName());
    disableIMDS = shouldDisableIMDS;
}

ClientConfiguration::ClientConfiguration(bool /*useSmartDefaults*/, const char* /*defaultMode*/,
                                         bool shouldDisableIMDS) {
    SetDefaults(*this, GetConfigProfileName());
    disableIMDS = shouldDisableIMDS;
}

Aws::String ClientConfiguration::LoadConfigFromEnvOrProfile(
    const Aws::String& envKey, const Aws::String& profile, const Aws::String& profileProperty,
    const Aws::Vector<Aws::String>& allowedValues, const Aws::String& defaultValue) {
    Aws::String value = GetEnv(envKey.c_str());
    if (value.empty()) value = GetProfileProperty(profile, profileProperty);
    value = StringUtils::ToLower(StringUtils::Trim(value.c_str()).c_str());
    if (value.empty()) return defaultValue;
    if (!allowedValues.empty() &&
        std::find(allowedValues.begin(), allowedValues.end(), value) == allowedValues.end()) {
        return defaultValue;
    }
    return value;
}

std::shared_ptr<RetryStrategy> InitRetryStrategy(Aws::String retryMode) {
    const Aws::String profile = GetConfigProfileName();
    if (retryMode.empty()) {
        retryMode = ClientConfiguration::LoadConfigFromEnvOrProfile("AWS_RETRY_MODE", profile,
                                                                    "retry_mode", {}, "default");
    }
    Aws::String maxAttemptsText = GetEnv("AWS_MAX_ATTEMPTS");
    if (maxAttemptsText.empty()) maxAttemptsText = GetProfileProperty(profile, "max_attempts");
    long maxAttempts = 0;
    if (!maxAttemptsText.empty()) {
        char* end = nullptr;
        maxAttempts = std::strtol(maxAttemptsText.c_str(), &end, 10);
        if (end == maxAttemptsText.c_str() || *end != '\0' || maxAttempts < 0) maxAttempts = 0;
    }
    if (retryMode == "standard") {
        return std::make_shared<StandardRetryStrategy>(maxAttempts > 0 ? maxAttempts : 3);
    }
    // "adaptive" would add client-side rate limiting on top of standard; it is not provided,
    // and like every other value it falls back to the default strategy.
    return std::make_shared<DefaultRetryStrategy>();
}

Aws::String ComputeUserAgentString(ClientConfiguration const* const pConfig) {
    struct utsname name {};
    Aws::String osName = "Linux";
    Aws::String osVersion;
    Aws::String arch = "x86_64";
    if (uname(&name) == 0) {
        osName = name.sysname;
        osVersion = name.release;
        arch = name.machine;
    }
    Aws::String ua = "aws-sdk-cpp/" AWS_SDK_VERSION_STRING " ua/2.1";
    ua += " os/" + osName + (osVersion.empty() ? "" : "#" + osVersion);
    ua += " lang/c++#C++" + std::to_string(__cplusplus / 100 % 100);
    ua += " md/arch#" + arch;
    if (pConfig && !pConfig->appId.empty()) ua += " app/" + pConfig->appId;
#if defined(__clang__)
    ua += " md/Clang#" + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) +
          "." + std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
    ua += " md/GCC#" + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
          std::to_string(__GNUC_PATCHLEVEL__);
#endif
    ua += " md/http#curl";
    return ua;
}
}  // namespace Client
}  // namespace Aws
