// What went wrong in a command: each failed operation with the file it concerned and what the
// plug-in logged while it ran. Failures are shown when they happen and listed again at the end.
#pragma once

#include <string>
#include <vector>

#include "Console.h"

namespace plughost {

struct Failure {
    std::string path;                   // the storage path or local file concerned
    std::string operation;              // "upload", "download", "CreateFolder", ...
    std::string detail;                 // what failed, e.g. "CloseFile returned Failure (1)"
    std::vector<std::string> logLines;  // the plug-in's log lines written during the operation
};

// "Success (0)", "Failure (1)", "NotFound (3)", "EndOfData (5)", "NotSupported (6)", or the
// bare number for a code the host does not define.
std::string ResultName(int code);

class Report {
  public:
    explicit Report(Console& console);

    void Fail(Failure failure);
    bool Ok() const { return failures_.empty(); }
    std::size_t Count() const { return failures_.size(); }
    const std::vector<Failure>& Failures() const { return failures_; }

    // The list of failures again, after a long output in which they were easy to miss.
    void PrintList() const;

  private:
    Console& console_;
    std::vector<Failure> failures_;
};

}  // namespace plughost
