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

TransferQueue::TransferQueue(const std::vector<TransferJob>& jobs, unsigned lanes,
                             const std::vector<std::set<std::string>>& listed)
    : at_(std::max(1u, lanes), -1), been_(std::max(1u, lanes)) {
    std::map<std::string, std::vector<std::size_t>> byFolder;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].size >= HeldPerFile)
            large_.push_back(i);
        else
            byFolder[jobs[i].folder].push_back(i);
    }
    std::stable_sort(large_.begin(), large_.end(),
                     [&](std::size_t a, std::size_t b) { return jobs[a].size > jobs[b].size; });
    for (auto& [name, files] : byFolder) {
        // The larger files of a folder first, so that it does not end on one long tail.
        std::stable_sort(files.begin(), files.end(),
                         [&](std::size_t a, std::size_t b) { return jobs[a].size > jobs[b].size; });
        folders_.push_back({name, std::move(files)});
    }
    for (std::size_t lane = 0; lane < listed.size() && lane < been_.size(); ++lane)
        for (std::size_t f = 0; f < folders_.size(); ++f)
            if (listed[lane].count(folders_[f].name) != 0) been_[lane].insert(f);
}

std::optional<std::size_t> TransferQueue::Next(unsigned lane) {
    if (lane >= at_.size()) return std::nullopt;
    if (nextLarge_ < large_.size()) return large_[nextLarge_++];
    long& at = at_[lane];
    if (at >= 0 && folders_[at].Left() > 0) return folders_[at].files[folders_[at].next++];
    if (at >= 0) --folders_[at].working;
    at = -1;
    // The folder where this lane helps most: the most files left per lane already in it; one
    // this lane's instance has listed wins a tie, as it costs no listing.
    long best = -1;
    double bestShare = 0;
    bool bestListed = false;
    for (std::size_t f = 0; f < folders_.size(); ++f) {
        const Folder& folder = folders_[f];
        if (folder.Left() == 0) continue;
        const bool listed = been_[lane].count(f) != 0;
        const std::size_t allowed = std::max<std::size_t>(
            1, ListedEntriesBound / std::max<std::size_t>(1, folder.files.size()));
        // A folder listed by as many instances as its size allows takes no more, unless no one
        // works in it any longer.
        if (!listed && folder.visited >= allowed && folder.working > 0) continue;
        const double share = static_cast<double>(folder.Left()) / (folder.working + 1);
        if (best < 0 || share > bestShare || (share == bestShare && listed && !bestListed)) {
            best = static_cast<long>(f);
            bestShare = share;
            bestListed = listed;
        }
    }
    if (best < 0) return std::nullopt;
    Folder& folder = folders_[best];
    at = best;
    ++folder.working;
    if (been_[lane].insert(static_cast<std::size_t>(best)).second) ++folder.visited;
    return folder.files[folder.next++];
}

Crew::Crew(Context& context, InstanceKind kind)
    : context_(context),
      kind_(kind),
      workers_(std::max(1u, context.invocation.global.transfers) - 1),
      unmade_(workers_.size(), false),
      listed_(workers_.size() + 1) {}

void Crew::Run(unsigned lanes, const std::function<void(Instance&, HostLog&, unsigned)>& work) {
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
            if (worker) work(worker->Storage(), worker->Log(), lane);
        });
    work(context_.Storage(), context_.session.Log(), 0);
    for (std::thread& thread : others) thread.join();
}

void Crew::ForEach(std::size_t count,
                   const std::function<void(Instance&, HostLog&, unsigned, std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    Run(static_cast<unsigned>(std::min<std::size_t>(count, workers_.size() + 1)),
        [&](Instance& storage, HostLog& log, unsigned lane) {
            for (std::size_t i = next++; i < count; i = next++) task(storage, log, lane, i);
        });
}

StoredTree WalkStorage(Crew& crew, const std::string& root) {
    StoredTree tree = WalkLevels(
        [&](const std::vector<std::string>& folders, std::vector<FolderListing>& listings) {
            crew.ForEach(folders.size(),
                         [&](Instance& storage, HostLog& log, unsigned lane, std::size_t i) {
                             listings[i] = ListStoredFolder(storage, log, root, folders[i]);
                             crew.listed_[lane].insert(folders[i]);
                         });
        });
    for (const std::string& note : HiddenNotes(root, tree)) crew.Owner().console.Note(note);
    return tree;
}

bool DeleteOnCrew(Crew& crew, const std::vector<StoredDeletion>& deletions,
                  const std::string& operation, bool stopAtFailure,
                  const std::function<void(std::size_t)>& deleted) {
    std::atomic<bool> failed{false};
    crew.ForEach(deletions.size(), [&](Instance& storage, HostLog& log, unsigned, std::size_t i) {
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
    const unsigned lanes = static_cast<unsigned>(
        std::min<std::size_t>(jobs.size(), std::max(1u, context.invocation.global.transfers)));
    TransferQueue queue(jobs, std::max(1u, lanes), crew.Listed());
    Budget budget(context.invocation.global.memory);
    std::mutex mutex;
    std::atomic<bool> stopped{false};

    crew.Run(lanes, [&](Instance& storage, HostLog& log, unsigned number) {
        Transfer transfer(log, progress, context.invocation.global.blockSize);
        Lane lane{storage, log, transfer};
        for (;;) {
            std::optional<std::size_t> index;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stopped) return;
                index = queue.Next(number);
            }
            if (!index) return;
            const TransferJob& job = jobs[*index];
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
    });
    return !stopped;
}

}  // namespace plughost
