// The commands: each loads the plug-in, drives one storage instance through the host
// interfaces and reports what happened.
#pragma once

#include <string>
#include <vector>

#include "Console.h"

namespace plughost {

enum ExitStatus {
    ExitOk = 0,
    ExitFailed = 1,  // an operation failed, or verify found a difference
    ExitUsage = 2,
};

// The whole tool: parses `arguments` (without the program name), runs the command, and returns
// the exit status. Data goes to standard output, everything else to `console`.
int RunPlughost(const std::vector<std::string>& arguments, Console& console);

}  // namespace plughost
