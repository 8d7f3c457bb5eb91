#include "torvik/Strings.h"

#include <cstdint>

namespace Torvik {
namespace strings {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(std::uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string WstrToUTF8(const std::wstring& text) {
    static_assert(sizeof(wchar_t) == 4, "the host's wide characters are UTF-32");
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        AppendUtf8(out, IsScalarValue(c) ? c : kReplacement);
    }
    return out;
}

std::wstring UTF8toWstr(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<wchar_t>(b));
            ++i;
            continue;
        }
        // Length of the sequence and the valid range of its second byte (excludes overlong
        // forms, surrogates and values above 0x10FFFF, as the Unicode standard describes).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        std::uint32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            out.push_back(static_cast<wchar_t>(kReplacement));
            ++i;
            continue;
        }
        std::size_t consumed = 1;
        bool valid = true;
        for (; consumed < length; ++consumed) {
            if (i + consumed >= n) {
                valid = false;
                break;
            }
            const unsigned char cb = p[i + consumed];
            const unsigned char lo = consumed == 1 ? low : 0x80;
            const unsigned char hi = consumed == 1 ? high : 0xBF;
            if (cb < lo || cb > hi) {
                valid = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        // A truncated or broken sequence is replaced once, and decoding resumes at the first
        // byte that did not belong to it.
        out.push_back(static_cast<wchar_t>(valid ? c : kReplacement));
        i += consumed;
    }
    return out;
}

}  // namespace strings
}  // namespace Torvik
