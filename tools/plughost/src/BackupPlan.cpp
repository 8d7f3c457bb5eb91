#include "BackupPlan.h"

#include <map>
#include <set>
#include <utility>

#include "Progress.h"

namespace plughost {

namespace {

// True when `path` lies below one of `folders`.
bool Below(const std::string& path, const std::set<std::string>& folders) {
    for (std::string::size_type slash = path.rfind('/'); slash != std::string::npos;
         slash = slash == 0 ? std::string::npos : path.rfind('/', slash - 1))
        if (folders.count(path.substr(0, slash)) != 0) return true;
    return false;
}

// Whether the stored file still holds what the previous backup recorded for `local`.
bool Unchanged(const LocalEntry& local, const StoredEntry* stored, const ManifestEntry* last,
               const BackupSettings& options, const LocalHasher& hasher) {
    if (stored == nullptr || last == nullptr || last->type != EntryType::File) return false;
    // The listing's size must agree with the manifest: an object replaced behind the backup's
    // back is sent again.
    if (!stored->sizeValid || stored->size != local.size || last->size != local.size) return false;
    if (options.checksum) {
        const std::optional<std::string> hash = hasher(local);
        return hash && *hash == last->sha256;
    }
    return last->seconds == local.seconds && last->nanoseconds == local.nanoseconds;
}

}  // namespace

BackupPlan PlanBackup(const LocalTree& local, const StoredTree& stored, const Manifest& previous,
                      const BackupSettings& options, const LocalHasher& hasher) {
    // A name may be stored both as a file and as a folder (S3 keeps "x" and "x/" apart).
    std::map<std::pair<std::string, bool>, const StoredEntry*> storedByPath;
    for (const StoredEntry& entry : stored.entries)
        storedByPath[{entry.relative, entry.isFolder}] = &entry;
    auto find = [&](const std::string& path, bool folder) -> const StoredEntry* {
        const auto found = storedByPath.find({path, folder});
        return found == storedByPath.end() ? nullptr : found->second;
    };

    BackupPlan plan;
    // The stored entries that the local tree keeps, by name and type.
    std::set<std::pair<std::string, bool>> kept;
    std::set<std::string> localNames;
    for (const LocalEntry& entry : local.entries) {
        // A link stores nothing, so it replaces nothing: a folder stored where a link now is
        // goes only as an extra, with --delete.
        if (entry.type != EntryType::Link) localNames.insert(entry.relative);
        BackupStep step;
        step.local = &entry;
        if (entry.type == EntryType::Link) {
            // Kept in the manifest alone: nothing is stored for it.
            ++plan.links;
            plan.steps.push_back(step);
            continue;
        }
        const bool folder = entry.type == EntryType::Folder;
        const StoredEntry* there = find(entry.relative, folder);
        if (there != nullptr) kept.insert({entry.relative, folder});
        if (folder) {
            step.send = there == nullptr;
            if (step.send) ++plan.createFolders;
        } else {
            const ManifestEntry* last = previous.Find(entry.relative);
            step.send = !Unchanged(entry, there, last, options, hasher);
            if (step.send) {
                ++plan.sendFiles;
                plan.sendBytes += entry.size;
            } else {
                step.previous = *last;
                ++plan.unchangedFiles;
            }
        }
        plan.steps.push_back(std::move(step));
    }

    // Stored as the other type than the local entry of that name: replaced in any case. Stored
    // and gone locally: deleted with --delete. A folder's contents go with it.
    std::set<std::string> goneFolders;
    for (const StoredEntry& entry : stored.entries) {
        if (kept.count({entry.relative, entry.isFolder}) != 0) continue;
        if (Below(entry.relative, goneFolders)) {
            ++plan.deletedEntries;
            continue;
        }
        const bool replaced = localNames.count(entry.relative) != 0;
        if (!replaced && !options.deleteExtra) continue;
        plan.deletions.push_back({entry.relative, entry.isFolder, replaced});
        ++plan.deletedEntries;
        if (entry.isFolder) goneFolders.insert(entry.relative);
    }
    return plan;
}

void PrintPlan(const BackupPlan& plan, std::FILE* out) {
    for (const BackupStep& step : plan.steps) {
        if (!step.send) continue;
        const LocalEntry& entry = *step.local;
        if (entry.type == EntryType::Folder)
            std::fprintf(out, "would create folder: %s/\n", entry.relative.c_str());
        else
            std::fprintf(out, "would send: %s (%s)\n", entry.relative.c_str(),
                         FormatBytes(entry.size).c_str());
    }
    for (const BackupDeletion& deletion : plan.deletions)
        std::fprintf(out, "would delete: %s%s%s\n", deletion.relative.c_str(),
                     deletion.isFolder ? "/" : "",
                     deletion.replaced ? deletion.isFolder ? " (a file is stored in its place)"
                                                           : " (a folder is stored in its place)"
                                       : "");
}

}  // namespace plughost
