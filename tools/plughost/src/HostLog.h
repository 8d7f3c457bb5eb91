// The ILog handed to plug-in instances: every line is remembered so that a failed operation
// can say what the plug-in reported while it ran, goes to the log file when there is one, and
// to standard error with its severity at the verbose level (otherwise plughost names the
// cause of a failure in one line instead).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "Console.h"
#include "host/HostInterfaces.h"

namespace plughost {

// Expands a host log format: "%s" takes a const wchar_t* (a null one prints "(null)"), "%d"
// an int, "%%" is a percent sign. Any other sequence is copied as it stands and consumes no
// argument. The C library is not used for this because its wide "%s" means a narrow string.
std::wstring ExpandHostFormat(const wchar_t* format, va_list arguments);

class HostLog final : public ILog {
  public:
    explicit HostLog(Console& console);
    ~HostLog() = default;
    HostLog(const HostLog&) = delete;
    HostLog& operator=(const HostLog&) = delete;

    // Appends every later line to `path` too. Returns false with `error` set when the file
    // cannot be opened.
    bool OpenFile(const std::string& path, std::string& error);

    void Write(int severity, const wchar_t* text) override;
    void WriteFormatted(int severity, const wchar_t* format, ...) override;

    // A position in the stream of lines; LinesSince gives the lines written after it, so a
    // caller takes a mark before an operation and collects what the plug-in said during it.
    std::size_t Mark() const;
    std::vector<std::string> LinesSince(std::size_t mark) const;

    Console& GetConsole() const { return console_; }

  private:
    void Emit(int severity, const std::wstring& text);

    // Enough for the lines of any one operation; older ones are dropped.
    static constexpr std::size_t MaxKept = 1000;

    mutable std::mutex mutex_;
    Console& console_;
    std::ofstream file_;
    std::deque<std::string> kept_;
    std::size_t firstKept_ = 0;
};

}  // namespace plughost
