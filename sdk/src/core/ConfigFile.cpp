#include "core/ConfigFile.h"

#include <aws/core/utils/StringUtils.h>

#include <cstdlib>
#include <fstream>

namespace Aws {
namespace Internal {
using Aws::Utils::StringUtils;

Aws::String GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? Aws::String(value) : Aws::String();
}

Aws::String GetConfigProfileName() {
    Aws::String profile = GetEnv("AWS_PROFILE");
    if (profile.empty()) profile = GetEnv("AWS_DEFAULT_PROFILE");
    return profile.empty() ? "default" : profile;
}

Aws::String GetConfigFilePath() {
    Aws::String path = GetEnv("AWS_CONFIG_FILE");
    if (!path.empty()) return path;
    Aws::String home = GetEnv("HOME");
    if (home.empty()) return {};
    return home + "/.aws/config";
}

Aws::String GetProfileProperty(const Aws::String& profile, const Aws::String& property) {
    Aws::String path = GetConfigFilePath();
    if (path.empty()) return {};
    std::ifstream file(path);
    if (!file) return {};
    Aws::String line;
    bool inProfile = false;
    while (std::getline(file, line)) {
        Aws::String trimmed = StringUtils::Trim(line.c_str());
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') continue;
        if (trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            if (close == Aws::String::npos) {
                inProfile = false;
                continue;
            }
            Aws::String name = StringUtils::Trim(trimmed.substr(1, close - 1).c_str());
            if (name.compare(0, 8, "profile ") == 0) {
                name = StringUtils::Trim(name.substr(8).c_str());
            }
            inProfile = name == profile;
            continue;
        }
        if (!inProfile) continue;
        size_t equals = trimmed.find('=');
        if (equals == Aws::String::npos) continue;
        Aws::String key = StringUtils::Trim(trimmed.substr(0, equals).c_str());
        if (key == property) return StringUtils::Trim(trimmed.substr(equals + 1).c_str());
    }
    return {};
}
}  // namespace Internal
}  // namespace Aws
