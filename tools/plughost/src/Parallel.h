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

// Runs `task` for every job on up to `transfers` instances of `kind`: the session's own and
// as many more as there is work for, each made on its own thread. A failure `task` returns is
// reported; one that every file would meet (MeetsEveryRequest) stops the run after the files
// under way, with one line. Returns false when the run was stopped so.
bool RunTransfers(Context& context, Progress& progress, InstanceKind kind,
                  const std::vector<TransferJob>& jobs,
                  const std::function<std::optional<Failure>(Lane&, const TransferJob&)>& task);

// The order and grouping RunTransfers uses: units of job indices, each moved by one thread in
// turn. Exposed for its tests.
std::vector<std::vector<std::size_t>> ScheduleTransfers(const std::vector<TransferJob>& jobs,
                                                        unsigned transfers);

}  // namespace plughost
