#include "StoragePath.h"

#include "torvik/Strings.h"

namespace plughost {

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
constexpr std::size_t MaxKeyBytes = 1024;
}  // namespace

std::string NormalizeStoragePath(const std::string& text) {
    std::string result;
    bool pendingSeparator = false;
    std::size_t start = 0;
    if (text.size() >= 5 && (text[0] == 's' || text[0] == 'S') && text.compare(1, 4, "3://") == 0)
        start = 5;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (IsSeparator(c)) {
            pendingSeparator = !result.empty();
            continue;
        }
        if (pendingSeparator) result += '/';
        pendingSeparator = false;
        result += c;
    }
    return result;
}

std::string JoinStoragePath(const std::string& parent, const std::string& name) {
    if (parent.empty()) return name;
    return parent + "/" + name;
}

std::vector<std::string> SplitStoragePath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start < path.size()) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string LastComponent(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PutTargetPath(const std::string& target, const std::string& localFile) {
    if (target.empty() || !IsSeparator(target.back())) return NormalizeStoragePath(target);
    const std::string::size_type slash = localFile.find_last_of('/');
    return NormalizeStoragePath(
        target + (slash == std::string::npos ? localFile : localFile.substr(slash + 1)));
}

std::string StoragePathProblem(const std::string& path) {
    const std::string::size_type slash = path.find('/');
    const std::string bucket = path.substr(0, slash);
    if (bucket.find(':') != std::string::npos)
        return "'" + bucket + "' is no bucket name (write s3://BUCKET/KEY or BUCKET/KEY)";
    if (slash != std::string::npos && path.size() - slash - 1 > MaxKeyBytes)
        return "the key is " + std::to_string(path.size() - slash - 1) +
               " bytes long; S3 allows at most " + std::to_string(MaxKeyBytes);
    return "";
}

bool HasKey(const std::string& path) { return path.find('/') != std::string::npos; }

std::wstring ToHostPath(const std::string& path) { return Torvik::strings::UTF8toWstr(path); }

std::string FromHostName(const std::wstring& name) { return Torvik::strings::WstrToUTF8(name); }

bool IsFaithfulUtf8(const std::string& text) {
    return Torvik::strings::WstrToUTF8(Torvik::strings::UTF8toWstr(text)) == text;
}

std::string ComponentProblem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "the name '" + name + "' is not a plain name";
    if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos)
        return "the name contains a path separator, which storage paths cannot carry";
    if (!IsFaithfulUtf8(name)) return "the name is not valid UTF-8";
    return "";
}

}  // namespace plughost
