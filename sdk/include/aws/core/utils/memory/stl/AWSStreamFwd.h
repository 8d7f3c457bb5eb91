#pragma once

#include <fstream>
#include <iostream>
#include <sstream>

namespace Aws {
using IStream = std::basic_istream<char, std::char_traits<char>>;
using OStream = std::basic_ostream<char, std::char_traits<char>>;
using IOStream = std::basic_iostream<char, std::char_traits<char>>;
using IFStream = std::basic_ifstream<char, std::char_traits<char>>;
using OFStream = std::basic_ofstream<char, std::char_traits<char>>;
using FStream = std::basic_fstream<char, std::char_traits<char>>;
using StreamBuf = std::basic_streambuf<char, std::char_traits<char>>;
using IOStreamBuf = std::basic_streambuf<char, std::char_traits<char>>;
}  // namespace Aws
