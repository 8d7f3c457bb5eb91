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

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Walks the shared config file: `visit(section, key, value, indented)` for every property line,
// with the section's name as written between the brackets, "profile " prefix removed for
// profiles. Returns false when the file cannot be read.
template <typename Visit>
bool ForEachProperty(Visit visit) {
    Aws::String path = GetConfigFilePath();
    if (path.empty()) return false;
    std::ifstream file(path);
    if (!file) return false;
    Aws::String line;
    Aws::String section;
    while (std::getline(file, line)) {
        const bool indented = !line.empty() && IsBlank(line[0]);
        Aws::String trimmed = StringUtils::Trim(line.c_str());
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') continue;
        if (trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            section.clear();
            if (close == Aws::String::npos) continue;
            section = StringUtils::Trim(trimmed.substr(1, close - 1).c_str());
            if (section.compare(0, 8, "profile ") == 0) {
                section = StringUtils::Trim(section.substr(8).c_str());
            }
            continue;
        }
        size_t equals = trimmed.find('=');
        if (equals == Aws::String::npos) continue;
        Aws::String key = StringUtils::Trim(trimmed.substr(0, equals).c_str());
        Aws::String value = StringUtils::Trim(trimmed.substr(equals + 1).c_str());
        if (visit(section, key, value, indented)) break;
    }
    return true;
}
}  // namespace

Aws::String GetProfileProperty(const Aws::String& profile, const Aws::String& property) {
    Aws::String found;
    ForEachProperty([&](const Aws::String& section, const Aws::String& key,
                        const Aws::String& value, bool indented) {
        if (indented || section != profile || key != property) return false;
        found = value;
        return true;
    });
    return found;
}

Aws::String GetServiceProperty(const Aws::String& profile, const Aws::String& service,
                               const Aws::String& property) {
    const Aws::String services = GetProfileProperty(profile, "services");
    if (services.empty()) return {};
    const Aws::String section = "services " + services;
    Aws::String found;
    Aws::String currentService;
    ForEachProperty([&](const Aws::String& name, const Aws::String& key, const Aws::String& value,
                        bool indented) {
        if (StringUtils::Trim(name.c_str()) != section) return false;
        if (!indented) {
            currentService = value.empty() ? key : Aws::String();
            return false;
        }
        if (currentService != service || key != property) return false;
        found = value;
        return true;
    });
    return found;
}
}  // namespace Internal
}  // namespace Aws
