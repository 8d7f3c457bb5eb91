#include <aws/core/utils/StringUtils.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace Aws {
namespace Utils {
namespace {
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
}  // namespace

Aws::String StringUtils::ToLower(const char* source) {
    Aws::String copy = source ? source : "";
    for (char& c : copy) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return copy;
}

Aws::String StringUtils::LTrim(const char* source) {
    Aws::String s = source ? source : "";
    size_t start = 0;
    while (start < s.size() && IsSpace(s[start])) ++start;
    return s.substr(start);
}

Aws::String StringUtils::RTrim(const char* source) {
    Aws::String s = source ? source : "";
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1])) --end;
    return s.substr(0, end);
}

Aws::String StringUtils::Trim(const char* source) { return LTrim(RTrim(source).c_str()); }

Aws::String StringUtils::URLDecode(const char* safe) {
    Aws::String out;
    size_t n = safe ? std::strlen(safe) : 0;
    for (size_t i = 0; i < n; ++i) {
        if (safe[i] == '%' && i + 2 < n && std::isxdigit(static_cast<unsigned char>(safe[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(safe[i + 2]))) {
            char hex[3] = {safe[i + 1], safe[i + 2], 0};
            out.push_back(static_cast<char>(std::strtol(hex, nullptr, 16)));
            i += 2;
        } else if (safe[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(safe[i]);
        }
    }
    return out;
}

Aws::String StringUtils::Replace(const Aws::String& s, const char* search, const char* replace) {
    Aws::String out;
    size_t searchLen = std::strlen(search);
    if (searchLen == 0) return s;
    size_t pos = 0;
    while (true) {
        size_t hit = s.find(search, pos);
        if (hit == Aws::String::npos) break;
        out.append(s, pos, hit - pos);
        out.append(replace);
        pos = hit + searchLen;
    }
    out.append(s, pos, Aws::String::npos);
    return out;
}

long long StringUtils::ConvertToInt64(const char* source) {
    return source ? std::strtoll(source, nullptr, 10) : 0;
}

int StringUtils::ConvertToInt32(const char* source) {
    return source ? static_cast<int>(std::strtol(source, nullptr, 10)) : 0;
}
}  // namespace Utils
}  // namespace Aws
