// The files of a tree command moved on several storage instances at once, each used by one
// thread of its own (the host contract allows one thread per instance; the plug-ins start
// none). Over a network every request costs a round trip, so files move side by side.
//
// What is scheduled, and in what order: files larger than what a plug-in holds at once go
// first, largest first, each on its own; the others go by folder, a folder's files to one
// instance where the tree allows, since an instance lists every folder it writes into or reads
// from (a large folder is shared by a few, a small tree split evenly). What the plug-ins hold
// of file data at once is bounded: each file reserves its size, at most a transfer unit, of a
// budget, and waits while the budget is spent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CommandContext.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

// What a plug-in holds of one file at most while it is written or read: a transfer unit and a
// block.
constexpr std::uint64_t HeldPerFile = 101ull << 20;

struct TransferJob {
    std::size_t index = 0;  // into the caller's list
    std::uint64_t size = 0;
    std::string folder;  // the folder it lies in, relative
};

// What one thread moves files with.
struct Lane {
    Instance& storage;
    HostLog& log;
    Transfer& transfer;
};

// The instances one tree command works with: the session's own, used on the command's thread,
// and up to `--transfers` - 1 more of the same kind, each made by the first thread that needs it
// and kept for the command's later steps, so that the walk of the stored tree and the transfers
// after it share instances, connections and cached listings.
class Crew {
  public:
    Crew(Context& context, InstanceKind kind);
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    // Runs `work` on `lanes` threads at once (at most `--transfers`), each with an instance of its
    // own: this thread with the session's, the others with the crew's. An instance that cannot be
    // made is noted once and its thread does nothing; the others go on.
    void Run(unsigned lanes, const std::function<void(Instance&, HostLog&)>& work);

    // Runs `task(instance, log, i)` for i from 0 to count - 1, each once, on as many threads as
    // there is work for.
    void ForEach(std::size_t count,
                 const std::function<void(Instance&, HostLog&, std::size_t)>& task);

    Context& Owner() { return context_; }

  private:
    Context& context_;
    InstanceKind kind_;
    std::vector<std::unique_ptr<Worker>> workers_;  // the one of thread i + 1, once made
    std::vector<char> unmade_;  // thread i + 1 could not make it (a byte each: set side by side)
};

// Lists `root` and every folder below it, the folders of each depth side by side on the crew.
StoredTree WalkStorage(Crew& crew, const std::string& root);

// One deletion in storage: a file, or a folder and everything below it.
struct StoredDeletion {
    std::string path;  // normalized storage path
    bool folder = false;
};

// Deletes each of `deletions` on the crew, side by side (each is one DeleteFile or DeleteFolder
// call); `deleted(i)` is called, on any thread, for each that went. One that fails is reported as
// `operation`'s failure with its cause; after it the others go on, or with `stopAtFailure` none is
// begun. Returns whether every one went.
bool DeleteOnCrew(Crew& crew, const std::vector<StoredDeletion>& deletions,
                  const std::string& operation, bool stopAtFailure,
                  const std::function<void(std::size_t)>& deleted);

// Runs `task` for every job on the crew, on as many instances as there is work for. A failure
// `task` returns is reported; one that every file would meet (MeetsEveryRequest) stops the run
// after the files under way, with one line. Returns false when the run was stopped so.
bool RunTransfers(Crew& crew, Progress& progress, const std::vector<TransferJob>& jobs,
                  const std::function<std::optional<Failure>(Lane&, const TransferJob&)>& task);

// The order and grouping RunTransfers uses: units of job indices, each moved by one thread in
// turn. Exposed for its tests.
std::vector<std::vector<std::size_t>> ScheduleTransfers(const std::vector<TransferJob>& jobs,
                                                        unsigned transfers);

}  // namespace plughost
