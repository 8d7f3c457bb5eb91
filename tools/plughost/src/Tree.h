// The two trees a backup moves between: a local folder, read from the file system, and a
// stored folder, read through the instance's GetListing. Both give paths relative to their root
// with '/' separators, each folder before its contents, names in byte order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "HostLog.h"
#include "Instance.h"
#include "Manifest.h"
#include "Report.h"

namespace plughost {

struct LocalEntry {
    std::string relative;  // "dir/file.txt", UTF-8
    std::filesystem::path full;
    EntryType type = EntryType::File;
    std::uint64_t size = 0;
    unsigned mode = 0;         // permission bits
    std::int64_t seconds = 0;  // modification time
    std::uint32_t nanoseconds = 0;
    Owner owner;
    std::string linkTarget;  // a symbolic link's target, as it reads (never followed)

    bool IsFolder() const { return type == EntryType::Folder; }
};

struct LocalTree {
    std::vector<LocalEntry> entries;
    std::vector<std::string> skipped;  // special files (devices, pipes, sockets), not copied
    std::vector<Failure> failures;     // unreadable folders, names that storage cannot carry
};

LocalTree ScanLocalTree(const std::filesystem::path& root);

struct StoredEntry {
    std::string relative;
    bool isFolder = false;
    std::uint64_t size = 0;
    bool sizeValid = false;
    std::int64_t modificationTime = 0;
    bool timeValid = false;
};

struct StoredTree {
    std::vector<StoredEntry> entries;
    std::vector<Failure> failures;  // failed listings, names that a local file cannot carry
    // Folders (relative) with the number of objects the plug-in's listing did not show (names
    // that are no host file name); a tree command leaves them out, and says so.
    std::vector<std::pair<std::string, std::uint64_t>> hidden;
};

// The "note:" lines that name what the listing of the tree at `root` did not show.
std::vector<std::string> HiddenNotes(const std::string& root, const StoredTree& tree);

// Takes the file `relative` out of the tree (the manifest, the lock); false when it is not there.
bool TakeEntry(StoredTree& tree, const std::string& relative);

// What the listing of one stored folder gave: its entries (relative to the walk's root, in byte
// order) and what could not be listed or carried.
struct FolderListing {
    std::vector<StoredEntry> entries;
    std::vector<Failure> failures;
    std::uint64_t hidden = 0;  // objects the plug-in did not show, by its log
};

// Lists the folder `relative` (relative to `root`, a normalized storage path; "" for the root).
FolderListing ListStoredFolder(Instance& instance, HostLog& log, const std::string& root,
                               const std::string& relative);

// Lists the given folders into the slots of the same index, in any order or side by side.
using ListLevel =
    std::function<void(const std::vector<std::string>& folders, std::vector<FolderListing>&)>;

// Lists a stored tree from its root (""), the folders of one depth in one call of `listLevel`.
StoredTree WalkLevels(const ListLevel& listLevel);

// Lists `root` (a normalized storage path) and every folder below it, one folder after the
// other on `instance`.
StoredTree WalkStorage(Instance& instance, HostLog& log, const std::string& root);

}  // namespace plughost
