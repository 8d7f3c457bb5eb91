#include "Monitor.h"

#include <algorithm>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace plughost {

namespace {

sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal: the run stops as on SIGTERM.
    sigaddset(&set, SIGHUP);
    return set;
}

// Sent by the destructor to wake the thread at once rather than at its next tick.
constexpr int WakeSignal = SIGUSR2;

const char* SignalName(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGHUP ? "SIGHUP" : "SIGTERM";
}

}  // namespace

void Monitor::BlockSignals() {
    sigset_t set = TerminationSignals();
    sigaddset(&set, WakeSignal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

Monitor::Monitor(Console& console, Activity& activity, double timeoutSeconds)
    : console_(console), activity_(activity), timeout_(timeoutSeconds) {}

Monitor::~Monitor() {
    if (stopping_) activity_.Park();
    quit_ = true;
    if (thread_.joinable()) {
        pthread_kill(thread_.native_handle(), WakeSignal);
        thread_.join();
    }
    // A stop may have begun while the thread was being joined.
    if (stopping_) activity_.Park();
}

void Monitor::Start() {
    lastMoved_ = std::chrono::steady_clock::now();
    movedAt_ = meter_.Sample();
    thread_ = std::thread([this] { Run(); });
}

void Monitor::SetProgress(Progress* progress) {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_ = progress;
}

void Monitor::SetSummary(std::function<std::string()> summary) {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_ = std::move(summary);
}

void Monitor::SetUploadReport(UploadReport report) {
    std::lock_guard<std::mutex> lock(mutex_);
    uploadReport_ = std::move(report);
}

void Monitor::SetStopWork(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    stopWork_ = std::move(work);
}

void Monitor::SetTimeoutCause(std::function<std::string(double, const char*)> cause) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeoutCause_ = std::move(cause);
}

void Monitor::Run() {
    sigset_t set = TerminationSignals();
    sigaddset(&set, WakeSignal);
    const timespec tick{0, 200 * 1000 * 1000};
    while (!quit_) {
        const int signal = sigtimedwait(&set, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
            const int status = 128 + (signal == SIGHUP ? SIGTERM : signal);
            if (stopping_) {
                // The stop itself hangs (a service that does not answer): give up on it.
                console_.Line(std::string("plughost: ") + SignalName(signal) +
                              " again: exiting at once");
                std::fflush(stdout);
                _exit(exitStatus_ == 0 ? status : exitStatus_.load());
            }
            const std::string reason = std::string("plughost: interrupted (") + SignalName(signal) +
                                       "): stopping without storing anything partial";
            stopping_ = true;
            std::thread([this, reason, status] {
                Stop([reason] { return reason; }, status);
            }).detach();
            continue;
        }
        if (!stopping_) Tick();
    }
}

void Monitor::Tick() {
    const NetworkMeter::Totals totals = meter_.Sample();
    const Activity::State call = activity_.Current();
    const auto now = std::chrono::steady_clock::now();
    if (totals.acknowledged >= movedAt_.acknowledged + MovementBytes ||
        totals.received >= movedAt_.received + MovementBytes) {
        lastMoved_ = now;
        movedAt_ = totals;
        lastWaitNote_ = 0;
    }
    std::function<std::string(double, const char*)> cause;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (progress_ != nullptr) progress_->Tick(totals, call);
        cause = timeoutCause_;
    }
    if (!call.inCall) return;
    const double idle =
        std::min(call.seconds, std::chrono::duration<double>(now - lastMoved_).count());
    if (timeout_ <= 0) {
        // No limit: never silent for long, but say what the run is waiting for.
        if (idle >= lastWaitNote_ + WaitNoteEvery) {
            lastWaitNote_ = idle;
            console_.ClearStatus();
            console_.Line("plughost: still waiting: " +
                          (cause ? cause(idle, call.name) : std::string(call.name)) +
                          "; --timeout SECONDS gives up");
        }
        return;
    }
    if (idle < timeout_) return;
    // The stop runs on a thread of its own (naming the cause may take a connection attempt);
    // this one keeps taking signals.
    stopping_ = true;
    const double limit = timeout_;
    const char* name = call.name;
    std::thread([this, cause, limit, name] {
        Stop(
            [&] {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", limit);
                return "plughost: error: timeout: " +
                       (cause ? cause(limit, name) : std::string(name)) +
                       "; giving up as --timeout " + seconds + " asks";
            },
            1);
    }).detach();
}

void Monitor::Stop(const std::function<std::string()>& reason, int exitStatus) {
    stopping_ = true;
    exitStatus_ = exitStatus;
    // From here on, no call reaches the plug-in: the command's thread waits at the gate. The
    // lock is held to the end, so that the command's thread, should it get as far as taking
    // its progress and summary away, waits instead of destroying what they point to.
    activity_.BeginStop();
    std::lock_guard<std::mutex> lock(mutex_);
    if (progress_ != nullptr) progress_->End();
    console_.ClearStatus();
    console_.Line(reason());
    const std::size_t removed = activity_.RemoveParts();
    if (removed > 0)
        console_.Note("plughost: removed " + std::to_string(removed) + " partial download file" +
                      (removed == 1 ? "" : "s"));
    const std::vector<OpenWrite> open = activity_.OpenWrites();
    if (!open.empty() && uploadReport_) uploadReport_(open);
    if (stopWork_) stopWork_();
    if (summary_) console_.Line(summary_());
    console_.Seal();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(exitStatus);
}

}  // namespace plughost
