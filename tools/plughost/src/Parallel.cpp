#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "Causes.h"

namespace plughost {

namespace {

// A folder's small files go to one instance; past this many they are shared, in pieces of at
// least this many, so that a small tree still keeps every instance busy.
constexpr std::size_t FilesPerPiece = 16;
// Instances times entries of a folder that may be listed at once: each instance that writes
// into a folder keeps its listing (some hundred bytes an entry).
constexpr std::size_t ListedEntriesBound = 400000;

// What the plug-ins may hold of file data at once, and who waits for it.
class Budget {
  public:
    explicit Budget(std::uint64_t bytes) : bytes_(bytes) {}

    // Waits until `bytes` fit, or nothing else is held.
    void Take(std::uint64_t bytes) {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_.wait(lock, [&] { return held_ == 0 || held_ + bytes <= bytes_; });
        held_ += bytes;
    }
    void Give(std::uint64_t bytes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ -= bytes;
        }
        freed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t bytes_;
    std::uint64_t held_ = 0;
};

}  // namespace

std::vector<std::vector<std::size_t>> ScheduleTransfers(const std::vector<TransferJob>& jobs,
                                                        unsigned transfers) {
    std::vector<std::vector<std::size_t>> units;
    std::vector<std::size_t> large;
    std::map<std::string, std::vector<std::size_t>> folders;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].size >= HeldPerFile)
            large.push_back(i);
        else
            folders[jobs[i].folder].push_back(i);
    }
    std::stable_sort(large.begin(), large.end(),
                     [&](std::size_t a, std::size_t b) { return jobs[a].size > jobs[b].size; });
    for (std::size_t index : large) units.push_back({index});

    // Each folder in pieces: as many as keep the instances busy, as few as its listing allows.
    std::vector<std::pair<std::uint64_t, std::vector<std::size_t>>> pieces;
    const std::size_t count = std::max<std::size_t>(1, transfers);
    for (auto& [folder, members] : folders) {
        const std::size_t byFiles = (members.size() + FilesPerPiece - 1) / FilesPerPiece;
        const std::size_t byListing = std::max<std::size_t>(1, ListedEntriesBound / members.size());
        const std::size_t parts = std::max<std::size_t>(1, std::min({count, byFiles, byListing}));
        const std::size_t each = (members.size() + parts - 1) / parts;
        for (std::size_t start = 0; start < members.size(); start += each) {
            std::vector<std::size_t> piece(
                members.begin() + start, members.begin() + std::min(members.size(), start + each));
            std::uint64_t bytes = 0;
            for (std::size_t index : piece) bytes += jobs[index].size;
            pieces.emplace_back(bytes, std::move(piece));
        }
    }
    // The heaviest pieces first, so that the run does not end on one long tail.
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& piece : pieces) units.push_back(std::move(piece.second));
    return units;
}

bool RunTransfers(Context& context, Progress& progress, InstanceKind kind,
                  const std::vector<TransferJob>& jobs,
                  const std::function<std::optional<Failure>(Lane&, const TransferJob&)>& task) {
    const std::vector<std::vector<std::size_t>> units =
        ScheduleTransfers(jobs, context.invocation.global.transfers);
    const unsigned threads = static_cast<unsigned>(
        std::min<std::size_t>(std::max(1u, context.invocation.global.transfers), units.size()));
    Budget budget(context.invocation.global.memory);
    std::mutex mutex;
    std::size_t next = 0;
    std::atomic<bool> stopped{false};

    auto work = [&](Instance& storage, HostLog& log) {
        Transfer transfer(log, progress, context.invocation.global.blockSize);
        Lane lane{storage, log, transfer};
        for (;;) {
            std::size_t unit = 0;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (next == units.size() || stopped) return;
                unit = next++;
            }
            for (std::size_t index : units[unit]) {
                if (stopped) return;
                const TransferJob& job = jobs[index];
                const std::uint64_t held = std::min(job.size, HeldPerFile);
                budget.Take(held);
                std::optional<Failure> failure;
                try {
                    failure = task(lane, job);
                } catch (const std::exception& exception) {
                    // No thread may end the process: the file fails, the others go on.
                    failure = Failure{std::to_string(job.index),
                                      "transfer",
                                      std::string("internal error: ") + exception.what(),
                                      {}};
                }
                budget.Give(held);
                if (!failure) continue;
                const bool everyFile = MeetsEveryRequest(FindRequestError(failure->logLines));
                context.Fail(std::move(*failure), &storage);
                if (everyFile && !stopped.exchange(true))
                    context.console.Line(
                        "plughost: stopping: every other file would fail the "
                        "same way");
            }
        }
    };

    std::vector<std::thread> others;
    for (unsigned i = 1; i < threads; ++i)
        others.emplace_back([&] {
            std::string error;
            std::unique_ptr<Worker> worker;
            try {
                worker = context.session.CreateWorker(kind, error);
            } catch (const std::exception& exception) {
                error = exception.what();
            }
            if (!worker) {
                context.console.Note("plughost: note: one more instance could not be made (" +
                                     error + "); the others go on");
                return;
            }
            work(worker->Storage(), worker->Log());
        });
    work(context.Storage(), context.session.Log());
    for (std::thread& thread : others) thread.join();
    return !stopped;
}

}  // namespace plughost
