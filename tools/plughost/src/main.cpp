// plughost: a command-line host for the storage plug-ins.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "Monitor.h"

int main(int argc, char** argv) {
    // Before any thread exists, so that only the monitor thread ever takes these signals.
    plughost::Monitor::BlockSignals();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const char* term = std::getenv("TERM");
    const bool terminal =
        isatty(STDERR_FILENO) != 0 && (term == nullptr || std::strcmp(term, "dumb") != 0);
    plughost::Console console(stderr, terminal);
    return plughost::RunPlughost(arguments, console);
}
