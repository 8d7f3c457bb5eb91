#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "Causes.h"
#include "StoragePath.h"

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

Crew::Crew(Context& context, InstanceKind kind)
    : context_(context),
      kind_(kind),
      workers_(std::max(1u, context.invocation.global.transfers) - 1),
      unmade_(workers_.size(), false) {}

void Crew::Run(unsigned lanes, const std::function<void(Instance&, HostLog&)>& work) {
    lanes = std::min<unsigned>(std::max(1u, lanes), static_cast<unsigned>(workers_.size() + 1));
    std::atomic<bool> noted{false};
    std::vector<std::thread> others;
    for (unsigned lane = 1; lane < lanes; ++lane)
        others.emplace_back([this, lane, &work, &noted] {
            std::unique_ptr<Worker>& worker = workers_[lane - 1];
            if (!worker && !unmade_[lane - 1]) {
                std::string error;
                try {
                    worker = context_.session.CreateWorker(kind_, error);
                } catch (const std::exception& exception) {
                    error = exception.what();
                }
                if (!worker) {
                    unmade_[lane - 1] = true;
                    if (!noted.exchange(true))
                        context_.console.Note(
                            "plughost: note: one more instance could not be "
                            "made (" +
                            error + "); the others go on");
                }
            }
            if (worker) work(worker->Storage(), worker->Log());
        });
    work(context_.Storage(), context_.session.Log());
    for (std::thread& thread : others) thread.join();
}

void Crew::ForEach(std::size_t count,
                   const std::function<void(Instance&, HostLog&, std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    Run(static_cast<unsigned>(std::min<std::size_t>(count, workers_.size() + 1)),
        [&](Instance& storage, HostLog& log) {
            for (std::size_t i = next++; i < count; i = next++) task(storage, log, i);
        });
}

StoredTree WalkStorage(Crew& crew, const std::string& root) {
    StoredTree tree = WalkLevels(
        [&](const std::vector<std::string>& folders, std::vector<FolderListing>& listings) {
            crew.ForEach(folders.size(), [&](Instance& storage, HostLog& log, std::size_t i) {
                listings[i] = ListStoredFolder(storage, log, root, folders[i]);
            });
        });
    for (const std::string& note : HiddenNotes(root, tree)) crew.Owner().console.Note(note);
    return tree;
}

bool DeleteOnCrew(Crew& crew, const std::vector<StoredDeletion>& deletions,
                  const std::string& operation, bool stopAtFailure,
                  const std::function<void(std::size_t)>& deleted) {
    std::atomic<bool> failed{false};
    crew.ForEach(deletions.size(), [&](Instance& storage, HostLog& log, std::size_t i) {
        if (stopAtFailure && failed) return;
        const StoredDeletion& deletion = deletions[i];
        const std::size_t mark = log.Mark();
        const ResultCode result = deletion.folder ? storage.DeleteFolder(ToHostPath(deletion.path))
                                                  : storage.DeleteFile(ToHostPath(deletion.path));
        if (result == Success) {
            deleted(i);
            return;
        }
        failed = true;
        Failure failure{deletion.path, operation,
                        std::string(deletion.folder ? "DeleteFolder" : "DeleteFile") +
                            " returned " + ResultName(result),
                        log.LinesSince(mark)};
        failure.pluginCall = true;
        crew.Owner().Fail(std::move(failure), &storage);
    });
    return !failed;
}

bool RunTransfers(Crew& crew, Progress& progress, const std::vector<TransferJob>& jobs,
                  const std::function<std::optional<Failure>(Lane&, const TransferJob&)>& task) {
    Context& context = crew.Owner();
    const std::vector<std::vector<std::size_t>> units =
        ScheduleTransfers(jobs, context.invocation.global.transfers);
    Budget budget(context.invocation.global.memory);
    std::mutex mutex;
    std::size_t next = 0;
    std::atomic<bool> stopped{false};

    crew.Run(static_cast<unsigned>(units.size()), [&](Instance& storage, HostLog& log) {
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
    });
    return !stopped;
}

}  // namespace plughost
