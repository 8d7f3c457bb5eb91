// The command line: global options, the command, its options and operands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CommandTable.h"
#include "Progress.h"

namespace plughost {

struct GlobalOptions {
    std::string plugin;
    std::vector<std::string> parameters;  // "Key=Value" as given with -p, in order
    std::string parametersFile;
    std::optional<std::string> endpoint;
    std::string logFile;
    std::size_t blockSize = 1024 * 1024;
    ProgressMode progress = ProgressMode::Auto;
    bool verbose = false;
};

struct Invocation {
    GlobalOptions global;
    const CommandSpec* command = nullptr;  // null with --help or --version alone
    std::vector<std::string> operands;
    bool recursive = false;
    bool parents = false;
    bool help = false;
    bool version = false;
};

struct ParsedArguments {
    Invocation invocation;
    std::string error;  // empty when the command line is usable
};

// `arguments` excludes the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

// "4096", "64K", "1M", "2MiB" (K and M are 1024 and 1048576). Sizes of 0 or above 1 GiB, and
// anything else, give nullopt.
std::optional<std::size_t> ParseBlockSize(const std::string& text);

}  // namespace plughost
