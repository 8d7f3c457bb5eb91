// Conversions between the host's wide strings (UTF-32) and UTF-8.
#pragma once

#include <string>

namespace Torvik {
namespace strings {

// Both conversions are exact inverses on valid text and do not depend on the process locale.
// Invalid input (malformed UTF-8; wide values that are surrogates or above 0x10FFFF) becomes
// U+FFFD, one replacement per maximal invalid subsequence.
std::string WstrToUTF8(const std::wstring& text);
std::wstring UTF8toWstr(const std::string& text);

}  // namespace strings
}  // namespace Torvik
