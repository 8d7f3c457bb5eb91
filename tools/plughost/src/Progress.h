// Progress of a transfer on standard error: a bar redrawn in place on a terminal, a plain line
// every few seconds otherwise; and the figures of the summary printed at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "Console.h"

namespace plughost {

enum class ProgressMode { Auto, Bar, Lines, None };

// "0 B", "512 B", "1.5 KiB", "210.0 MiB", "3.25 GiB".
std::string FormatBytes(std::uint64_t bytes);
// "0:07", "12:03", "1:02:03"; "--:--" for a negative duration (unknown).
std::string FormatDuration(double seconds);
// MiB per second, one decimal; "-" when no time has passed.
std::string FormatRate(std::uint64_t bytes, double seconds);

// The figures a progress display shows at one moment.
struct ProgressState {
    std::uint64_t doneBytes = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t doneFiles = 0;
    std::uint64_t totalFiles = 0;
    double elapsedSeconds = 0;
    std::string currentName;
};

// The terminal line: "[#####-----]  45%  99.0 MiB/220.0 MiB  12.3 MiB/s  ETA 0:10  3/12 name",
// cut to `width` characters.
std::string RenderBar(const ProgressState& state, std::size_t width);
// The periodic plain line: "progress: 45% (99.0 MiB of 220.0 MiB), 3 of 12 files, 12.3 MiB/s,
// ETA 0:10".
std::string RenderLine(const ProgressState& state);

class Progress {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Auto chooses the bar on a terminal and plain lines otherwise.
    Progress(Console& console, ProgressMode mode, Clock clock = std::chrono::steady_clock::now);

    void Begin(std::uint64_t totalFiles, std::uint64_t totalBytes);
    void StartFile(const std::string& name);
    void AddBytes(std::uint64_t bytes);
    void FinishFile();
    // Removes the bar; the figures stay readable.
    void End();

    std::uint64_t DoneBytes() const { return state_.doneBytes; }
    std::uint64_t DoneFiles() const { return state_.doneFiles; }
    double ElapsedSeconds() const;

  private:
    void Update(bool force);

    Console& console_;
    ProgressMode mode_;
    Clock clock_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
    ProgressState state_;
};

}  // namespace plughost
