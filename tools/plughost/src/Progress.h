// Progress of a transfer on standard error: a bar redrawn in place on a terminal, a plain line
// every few seconds otherwise; and the figures of the summary printed at the end.
//
// The figures count what the service has taken (an upload) or what has arrived (a download),
// not what was handed to the plug-in: a plug-in buffers a part of up to a hundred megabytes
// before it sends anything, and sends it in one call. While such a call is under way, the
// monitor thread calls Tick with the process's network counters, which is how the bar keeps
// moving with the bytes on the wire, and how it knows to say that it is waiting for the
// service when nothing moves.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "Activity.h"
#include "Console.h"
#include "NetworkMeter.h"

namespace plughost {

enum class ProgressMode { Auto, Bar, Lines, None };
enum class Direction { Upload, Download };

// "0 B", "512 B", "1.5 KiB", "210.0 MiB", "3.25 GiB".
std::string FormatBytes(std::uint64_t bytes);
// "0:07", "12:03", "1:02:03"; "--:--" for a negative duration (unknown).
std::string FormatDuration(double seconds);
// MiB per second, one decimal; "-" when no time has passed.
std::string FormatRate(std::uint64_t bytes, double seconds);

// The figures a progress display shows at one moment.
struct ProgressState {
    std::uint64_t doneBytes = 0;  // of finished files, and what the service took of the current
    std::uint64_t totalBytes = 0;
    std::uint64_t doneFiles = 0;
    std::uint64_t totalFiles = 0;
    double elapsedSeconds = 0;
    std::string currentName;
    std::string waiting;  // e.g. "waiting for the service 4 s"; empty while data moves
};

// The terminal line, e.g. "[#####-----]  45%  99.0 MiB/220.0 MiB  12.3 MiB/s  ETA 0:10  3/12
// name", within `width` columns. Fields are dropped from the least useful on, and the name
// is shortened from the front, so that the end of the name stays readable.
std::string RenderBar(const ProgressState& state, std::size_t width);
// The periodic plain line: "progress: 45% (99.0 MiB of 220.0 MiB), 3 of 12 files, 12.3 MiB/s,
// ETA 0:10".
std::string RenderLine(const ProgressState& state);

class Progress {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Auto chooses the bar on a terminal and plain lines otherwise.
    Progress(Console& console, ProgressMode mode, Clock clock = std::chrono::steady_clock::now);

    // The file calls (StartFile to FinishFile or FailFile, AddBytes) concern the calling
    // thread's file, so that several threads may each move one. With one file under way, an
    // upload counts what the service acknowledged; with several, what was handed over.
    void Begin(std::uint64_t totalFiles, std::uint64_t totalBytes,
               Direction direction = Direction::Upload);
    // `size`, when known, bounds what the network counters may add to a download's figure.
    void StartFile(const std::string& name, std::uint64_t size = 0);
    // Bytes handed to the plug-in (an upload) or delivered by it (a download) for this file.
    void AddBytes(std::uint64_t bytes);
    // The current file is stored or in place: all its bytes count.
    void FinishFile();
    // The current file failed: it and its bytes are not counted.
    void FailFile();
    // Removes the bar; the figures stay readable.
    void End();

    // The network counters and what the plug-in call is doing, about five times a second.
    void Tick(const NetworkMeter::Totals& totals, const Activity::State& call);

    // Counters of the summary beside files and bytes.
    void AddFolder();
    void AddUnchanged(std::uint64_t files = 1);
    void AddDeleted();

    std::uint64_t DoneBytes() const;
    std::uint64_t DoneFiles() const;
    std::uint64_t Folders() const;
    std::uint64_t Unchanged() const;
    std::uint64_t Deleted() const;
    double ElapsedSeconds() const;
    ProgressState Snapshot() const;

  private:
    void Update(bool force);
    std::uint64_t CurrentConfirmed() const;
    double Elapsed() const;

    mutable std::mutex mutex_;
    Console& console_;
    ProgressMode mode_;
    Clock clock_;
    Direction direction_ = Direction::Upload;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
    std::chrono::steady_clock::time_point lastMoved_;
    ProgressState state_;
    std::uint64_t finishedBytes_ = 0;  // of the files done
    // A file under way, on the thread that moves it.
    struct Lane {
        std::uint64_t handed = 0;   // bytes handed to or delivered by the plug-in
        std::uint64_t wire = 0;     // bytes on the wire since it began (one lane only)
        std::uint64_t size = 0;     // 0 when not known
        NetworkMeter::Totals base;  // the counters when it began
    };
    std::map<std::thread::id, Lane> lanes_;
    NetworkMeter::Totals latest_;
    bool haveTotals_ = false;
    std::uint64_t folders_ = 0;
    std::uint64_t unchanged_ = 0;
    std::uint64_t deleted_ = 0;
    bool ended_ = false;
};

}  // namespace plughost
