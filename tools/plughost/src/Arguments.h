// The command line: global options, the command, its options and operands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CommandTable.h"
#include "Progress.h"

namespace plughost {

constexpr unsigned DefaultTransfers = 16;
constexpr unsigned MaxTransfers = 64;
constexpr std::uint64_t DefaultTransferMemory = 448ull << 20;

struct GlobalOptions {
    std::string plugin;
    std::vector<std::string> parameters;  // "Key=Value" as given with -p, in order
    std::string parametersFile;
    std::optional<std::string> endpoint;
    std::string logFile;
    std::size_t blockSize = 1024 * 1024;
    // Instances that backup, restore and verify move files on, each on a thread of its own.
    unsigned transfers = DefaultTransfers;
    // What those instances may hold of file data at once (each file its size, at most 101 MiB).
    std::uint64_t memory = DefaultTransferMemory;
    ProgressMode progress = ProgressMode::Auto;
    bool verbose = false;
    bool quiet = false;
    int retries = 0;     // the SDK's attempts per request; 0 leaves the SDK's own setting
    double timeout = 0;  // seconds a plug-in call may move no data; 0: no limit
};

// What a restore does with a local file that is already there and differs from the backup.
enum class Overwrite { Changed, Always, Never };

struct Invocation {
    GlobalOptions global;
    const CommandSpec* command = nullptr;  // null with --help or --version alone
    std::vector<std::string> operands;
    bool recursive = false;
    bool parents = false;
    bool checksum = false;     // backup, restore: compare contents by hash, not size and time
    bool deleteExtra = false;  // backup: remove what is stored but gone locally
    bool dryRun = false;       // backup: say what would be sent or deleted, send nothing
    std::optional<std::uint64_t> maxDelete;    // backup: at most this many deletions
    Overwrite overwrite = Overwrite::Changed;  // restore
    std::string uploadId;                      // abort-uploads: only this upload
    bool help = false;
    bool version = false;
};

struct ParsedArguments {
    Invocation invocation;
    std::string error;  // empty when the command line is usable
};

// `arguments` excludes the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

// "4096", "64K", "1M", "2MiB", "1G" (K, M and G, alone or as KiB, MiB and GiB, in either case,
// are 1024, 1048576 and 1073741824). Sizes of 0 or above 1 GiB, and anything else, give
// nullopt.
std::optional<std::size_t> ParseBlockSize(const std::string& text);

// The same for any size from 1 byte to `maximum`.
std::optional<std::uint64_t> ParseSize(const std::string& text, std::uint64_t maximum);

// "30", "2.5", "10s": seconds, more than 0 and at most a day; nullopt otherwise.
std::optional<double> ParseSeconds(const std::string& text);

}  // namespace plughost
