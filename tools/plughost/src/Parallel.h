// The files of a tree command moved on several storage instances at once, each used by one
// thread at a time (the host contract allows one thread per instance; the plug-ins start none).
// Over a network every request costs a round trip, so folders are listed, and files moved and
// deleted, side by side.
//
// What is scheduled, and in what order (TransferQueue): files larger than what a plug-in holds
// at once go first, largest first, each on its own; then each thread keeps to one folder until
// its files are done, since an instance lists every folder it writes into or reads from, and
// moves to where it helps most (a large folder is shared by a few instances only). What the
// plug-ins hold of file data at once is bounded: each file reserves its size, at most a
// transfer unit, of a budget, and waits while the budget is spent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
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
    // `work` is told its lane: 0 for this thread, i for the crew's instance i.
    void Run(unsigned lanes, const std::function<void(Instance&, HostLog&, unsigned lane)>& work);

    // Runs `task(instance, log, i)` for i from 0 to count - 1, each once, on as many threads as
    // there is work for.
    void ForEach(std::size_t count,
                 const std::function<void(Instance&, HostLog&, unsigned lane, std::size_t)>& task);

    Context& Owner() { return context_; }
    // The folders (relative to the walked root) each lane's instance listed in the walk.
    const std::vector<std::set<std::string>>& Listed() const { return listed_; }

  private:
    Context& context_;
    InstanceKind kind_;
    std::vector<std::unique_ptr<Worker>> workers_;  // the one of thread i + 1, once made
    std::vector<char> unmade_;  // thread i + 1 could not make it (a byte each: set side by side)
    std::vector<std::set<std::string>> listed_;  // by lane, each written by its own thread

    friend StoredTree WalkStorage(Crew& crew, const std::string& root);
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

// Which file each thread moves next: files of a transfer unit or more first, largest first;
// then the others by folder. A thread keeps to one folder while it has files left (an instance
// lists every folder it reads from or writes into, once); when that folder is done it joins
// the folder with the most files left per thread already there, preferring one its instance
// has listed. A folder is visited by at most as many instances as its listing allows
// (instances times its files at most ListedEntriesBound), except to finish it. Not thread-safe:
// RunTransfers calls it under its lock.
class TransferQueue {
  public:
    // `listed[lane]`: the folders (relative, as in the jobs) lane's instance has listed; may be
    // shorter than the lanes.
    TransferQueue(const std::vector<TransferJob>& jobs, unsigned lanes,
                  const std::vector<std::set<std::string>>& listed = {});

    // The next job for `lane`, or nullopt when none is left.
    std::optional<std::size_t> Next(unsigned lane);

    // Instances times entries of a folder that may be listed at once (some hundred bytes an
    // entry and instance).
    static constexpr std::size_t ListedEntriesBound = 400000;

  private:
    struct Folder {
        std::string name;
        std::vector<std::size_t> files;
        std::size_t next = 0;
        unsigned working = 0;  // lanes in it now
        unsigned visited = 0;  // lanes that have been in it
        std::size_t Left() const { return files.size() - next; }
    };
    std::vector<std::size_t> large_;
    std::size_t nextLarge_ = 0;
    std::vector<Folder> folders_;
    std::vector<long> at_;                     // lane -> folder index, -1 for none
    std::vector<std::set<std::size_t>> been_;  // lane -> folders its instance has listed
};

}  // namespace plughost
