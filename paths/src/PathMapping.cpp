#include "paths/PathMapping.h"

#include "torvik/Strings.h"

std::string GetStoragePath(const std::wstring& hostPath) {
    std::string path = Torvik::strings::WstrToUTF8(hostPath);
    // No byte of a multi-byte UTF-8 sequence equals '\', so this leaves other characters alone.
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::pair<std::string, std::string> SplitStoragePath(const std::string& storagePath) {
    const std::size_t slash = storagePath.find('/');
    if (slash == std::string::npos) return {storagePath, std::string()};
    return {storagePath.substr(0, slash), storagePath.substr(slash + 1)};
}

std::string GetElementName(const std::string& path) {
    std::string rest = path;
    std::string suffix;
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
        suffix = "/";
    }
    const std::size_t slash = rest.rfind('/');
    std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    return name + suffix;
}

bool IsElementName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos;
}

bool HasOnlyNamedComponents(std::string_view storagePath) {
    if (storagePath.empty()) return true;
    if (storagePath.back() == '/') storagePath.remove_suffix(1);
    for (;;) {
        const std::size_t slash = storagePath.find('/');
        if (!IsElementName(storagePath.substr(0, slash))) return false;
        if (slash == std::string_view::npos) return true;
        storagePath.remove_prefix(slash + 1);
    }
}
