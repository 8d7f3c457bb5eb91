// What went wrong in a command: each failed operation with the file it concerned, the cause in
// words, and what the plug-in logged while it ran. A failure is shown in one line when it
// happens; a command with several is listed again at the end, and with -v each comes with
// the plug-in's log lines.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Console.h"

namespace plughost {

struct Failure {
    std::string path;                   // the storage path or local file concerned
    std::string operation;              // "upload", "download", "CreateFolder", ...
    std::string detail;                 // what failed, e.g. "CloseFile returned Failure (1)"
    std::vector<std::string> logLines;  // the plug-in's log lines written during the operation
    bool pluginCall = false;            // an instance call failed (not a local operation)
};

// "Success (0)", "Failure (1)", "NotFound (3)", "EndOfData (5)", "NotSupported (6)", or the
// bare number for a code the host does not define.
std::string ResultName(int code);

class Report {
  public:
    explicit Report(Console& console);

    void Fail(Failure failure);
    bool Ok() const;
    std::size_t Count() const;

    // The list of failures again, after a long output in which they were easy to miss: when
    // there are several, or at the verbose level (with the plug-in's log lines).
    void PrintList() const;

  private:
    mutable std::mutex mutex_;
    Console& console_;
    std::vector<Failure> failures_;
};

}  // namespace plughost
