// Arbitrary 32-bit values as a wide string: encoding replaces exactly the values that are not
// Unicode scalar values, and decoding the result gives the string back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "torvik/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(&wide[0], data, wide.size() * sizeof(wchar_t));
    std::wstring expected = wide;
    for (wchar_t& c : expected) {
        const auto v = static_cast<std::uint32_t>(c);
        if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) c = L'\xFFFD';
    }
    if (Torvik::strings::UTF8toWstr(Torvik::strings::WstrToUTF8(wide)) != expected) std::abort();
    return 0;
}
