#include "core/Encoding.h"

namespace Aws {
namespace Internal {
namespace {
bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

Aws::String Encode(const Aws::String& value, bool wireForm) {
    static const char kHex[] = "0123456789ABCDEF";
    Aws::String out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool keep =
            IsUnreserved(c) ||
            (wireForm && (c == '$' || c == '&' || c == ',' || c == ':' || c == '=' || c == '@'));
        if (keep) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}
}  // namespace

Aws::String EncodeStrict(const Aws::String& value) { return Encode(value, false); }

Aws::String EncodeKeyPath(const Aws::String& key, bool wireForm) {
    Aws::String out;
    size_t start = 0;
    while (true) {
        size_t slash = key.find('/', start);
        Aws::String segment =
            key.substr(start, slash == Aws::String::npos ? Aws::String::npos : slash - start);
        out += Encode(segment, wireForm);
        if (slash == Aws::String::npos) break;
        out.push_back('/');
        start = slash + 1;
    }
    return out;
}
}  // namespace Internal
}  // namespace Aws
