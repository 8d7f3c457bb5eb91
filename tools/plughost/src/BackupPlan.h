// What a backup will do, decided before anything is sent: from the local tree, the stored tree
// and the previous manifest, which files to send and which to leave, which folders to create,
// and what to delete afterwards. Computing it touches neither the service nor (but for the
// hashes --checksum asks for) the local files, so the dry run prints it and the tests check it
// without a server; the executor (BackupCommand.cpp) carries it out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Manifest.h"
#include "Tree.h"

namespace plughost {

struct BackupSettings {
    bool checksum = false;     // compare contents by hash, not by size and time
    bool deleteExtra = false;  // delete what is stored and gone locally
};

struct BackupStep {
    const LocalEntry* local = nullptr;
    // A file to upload or a folder to create; false for what is stored as it is.
    bool send = false;
    // For a file that is not sent: the previous manifest's entry, whose hash it keeps.
    std::optional<ManifestEntry> previous;
};

// Something stored that the backup removes once everything else is in.
struct BackupDeletion {
    std::string relative;
    bool isFolder = false;
    // Stored as the other type beside a local entry of this name (not an extra).
    bool replaced = false;
};

struct BackupPlan {
    std::vector<BackupStep> steps;  // in the local tree's order: each folder before its contents
    std::vector<BackupDeletion> deletions;  // each subtree once
    std::uint64_t sendFiles = 0;
    std::uint64_t sendBytes = 0;
    std::uint64_t createFolders = 0;
    std::uint64_t unchangedFiles = 0;
    std::uint64_t links = 0;
    // Every stored entry the deletions remove, those below a deleted folder included.
    std::uint64_t deletedEntries = 0;
};

// The SHA-256 of a local file for --checksum; nullopt when it cannot be read (it is sent).
using LocalHasher = std::function<std::optional<std::string>(const LocalEntry&)>;

BackupPlan PlanBackup(const LocalTree& local, const StoredTree& stored, const Manifest& previous,
                      const BackupSettings& options, const LocalHasher& hasher);

// The dry run: one line per action, on `out`.
void PrintPlan(const BackupPlan& plan, std::FILE* out);

}  // namespace plughost
