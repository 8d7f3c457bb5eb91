// A host log that keeps every line, for tests that check what a plug-in reported.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace testhost {

class RecordingLog final : public ILog {
  public:
    struct Line {
        int severity;
        std::string text;  // UTF-8, with %s (const wchar_t*) and %d (int) expanded
    };

    RecordingLog() = default;
    ~RecordingLog() = default;
    RecordingLog(const RecordingLog&) = delete;
    RecordingLog& operator=(const RecordingLog&) = delete;

    void Write(int severity, const wchar_t* text) override;
    void WriteFormatted(int severity, const wchar_t* format, ...) override;

    const std::vector<Line>& Lines() const { return lines_; }
    std::vector<std::string> Texts() const;
    // True when some line contains `text` as a substring.
    bool Contains(const std::string& text) const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

}  // namespace testhost
