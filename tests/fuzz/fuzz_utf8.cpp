// Arbitrary bytes as UTF-8: decoding never reads past the input, yields only Unicode scalar
// values, and a second round trip changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "torvik/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = Torvik::strings::UTF8toWstr(input);
    for (wchar_t c : wide) {
        const auto v = static_cast<std::uint32_t>(c);
        if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) std::abort();
    }
    const std::string utf8 = Torvik::strings::WstrToUTF8(wide);
    if (Torvik::strings::UTF8toWstr(utf8) != wide) std::abort();
    // Valid input survives unchanged: the only change decoding makes is U+FFFD for bad bytes.
    if (wide.find(L'\xFFFD') == std::wstring::npos && utf8 != input) std::abort();
    return 0;
}
