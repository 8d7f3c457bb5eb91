// The tool's second thread. It takes SIGINT and SIGTERM (blocked in every other thread, so no
// signal handler runs at all), redraws the progress about five times a second while a plug-in
// call blocks, and enforces --timeout.
//
// A plug-in call cannot be cut short, and an instance destroyed with a file open for writing
// completes that upload with what it has. So a stop (a signal, or a call that has moved no data
// for the --timeout) never returns to the command: a thread of its own closes the gate of the
// Activity, says why it stops, deletes the partial download files, names the uploads left
// open, prints the summary so far and ends the process with _exit, leaving the instance
// alone. A second signal during that ends the process at once.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Activity.h"
#include "Console.h"
#include "NetworkMeter.h"
#include "Progress.h"

namespace plughost {

class Monitor {
  public:
    // Blocks SIGINT and SIGTERM in the calling thread and in every thread it starts later.
    // main() calls it before anything else, so that the monitor alone receives them.
    static void BlockSignals();

    // `timeoutSeconds` 0: no limit.
    Monitor(Console& console, Activity& activity, double timeoutSeconds);
    // Ends the thread; if a stop is under way, the caller waits for the process to end.
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void Start();

    // What a stop prints. Each may be changed at any time; an empty one is skipped.
    using UploadReport = std::function<void(const std::vector<OpenWrite>& writes)>;
    void SetProgress(Progress* progress);
    void SetSummary(std::function<std::string()> summary);
    void SetUploadReport(UploadReport report);
    // Work a stop does after the gate is closed and before the summary (a backup writes the
    // manifest of what is stored so far).
    void SetStopWork(std::function<void()> work);
    // The cause named when --timeout ends the run: `seconds` without data, in `call`. Without
    // --timeout, the same words tell the operator every WaitNoteEvery seconds what the run is
    // waiting for.
    void SetTimeoutCause(std::function<std::string(double seconds, const char* call)> cause);

    // Stops the run as a signal would; `reason` gives the first line, once no call can reach
    // the plug-in any more. Never returns.
    [[noreturn]] void Stop(const std::function<std::string()>& reason, int exitStatus);

    // Data moves when this many bytes more than at the last movement were acknowledged or
    // received: a request retried against a service that never answers, or a TLS handshake,
    // is less, and must not keep a silent call looking alive.
    static constexpr std::uint64_t MovementBytes = 16 * 1024;
    static constexpr double WaitNoteEvery = 10;

  private:
    void Run();
    void Tick();

    Console& console_;
    Activity& activity_;
    double timeout_;
    NetworkMeter meter_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<int> exitStatus_{0};
    std::mutex mutex_;
    Progress* progress_ = nullptr;
    std::function<std::string()> summary_;
    UploadReport uploadReport_;
    std::function<void()> stopWork_;
    std::function<std::string(double, const char*)> timeoutCause_;
    NetworkMeter::Totals movedAt_;  // the totals when data last moved
    std::chrono::steady_clock::time_point lastMoved_;
    double lastWaitNote_ = 0;  // idle seconds when the last "still waiting" line was written
};

}  // namespace plughost
