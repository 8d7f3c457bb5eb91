// What a restore will do, decided before anything is read: from the stored tree, the manifest
// of the backup (when there is one) and what the target folder already holds, which folders to
// make, which files to download and which to leave as they are, which links to create, and
// which files of the backup are not stored at all. Computing it reads nothing but the local
// files' status (and, with --checksum, their contents), so it is tested without a server; the
// executor (RestoreCommand.cpp) carries it out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Manifest.h"
#include "Tree.h"

namespace plughost {

// A local file already at a restored path, as far as a restore compares it.
struct LocalFile {
    bool regular = false;  // false: a folder, link or anything else, always replaced or refused
    std::uint64_t size = 0;
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
};

struct RestoreSettings {
    Overwrite overwrite = Overwrite::Changed;
    bool checksum = false;
};

enum class RestoreAction {
    MakeFolder,
    Download,
    Keep,      // the local file is the backed-up one
    Leave,     // the local file differs, and --overwrite never keeps it
    MakeLink,  // created after every file
};

struct RestoreStep {
    std::string relative;
    RestoreAction action = RestoreAction::Download;
    const StoredEntry* stored = nullptr;    // null for a folder or link the listing lacks
    std::optional<ManifestEntry> recorded;  // the backup's entry, where it has one
};

struct RestorePlan {
    std::vector<RestoreStep> steps;    // folders before their contents, links last
    std::vector<std::string> missing;  // files of the backup that are not stored
    std::vector<std::string> extra;    // stored files the backup does not list (restored)
    std::vector<std::string> clashes;  // stored both as a file and as a folder, no manifest
    std::uint64_t downloadFiles = 0;
    std::uint64_t downloadBytes = 0;
};

// `recorded` gives the backup's entry for a path relative to the restored folder (nullopt
// when the manifest has none, or there is no manifest: `haveManifest` false); `local` what the
// target holds at a path; `hasher` the SHA-256 of a local file for --checksum.
struct RestoreInputs {
    const StoredTree* stored = nullptr;
    bool haveManifest = false;
    // The backup's entries below the restored folder, by path relative to it.
    std::vector<ManifestEntry> recorded;
    std::function<std::optional<LocalFile>(const std::string& relative)> local;
    std::function<std::optional<std::string>(const std::string& relative)> hasher;
};

RestorePlan PlanRestore(const RestoreInputs& inputs, const RestoreSettings& options);

}  // namespace plughost
