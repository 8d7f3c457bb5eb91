#pragma once

#include <sstream>

namespace Aws {
using StringStream = std::basic_stringstream<char, std::char_traits<char>>;
using IStringStream = std::basic_istringstream<char, std::char_traits<char>>;
using OStringStream = std::basic_ostringstream<char, std::char_traits<char>>;
}  // namespace Aws
