#include "RestorePlan.h"

#include <map>
#include <set>

namespace plughost {

namespace {

// Whether the local file is the one the backup holds (by size and time, or by hash).
bool SameAsBackup(const RestoreInputs& inputs, const RestoreSettings& options,
                  const std::string& relative, const LocalFile& local,
                  const std::optional<ManifestEntry>& recorded, const StoredEntry& stored) {
    if (!local.regular) return false;
    if (recorded) {
        if (local.size != recorded->size) return false;
        if (options.checksum) {
            const std::optional<std::string> hash = inputs.hasher(relative);
            return hash && *hash == recorded->sha256;
        }
        return local.seconds == recorded->seconds && local.nanoseconds == recorded->nanoseconds;
    }
    // Without an entry, what the listing says: the size and the time to the second.
    return stored.sizeValid && stored.timeValid && local.size == stored.size &&
           local.seconds == stored.modificationTime && !options.checksum;
}

}  // namespace

RestorePlan PlanRestore(const RestoreInputs& inputs, const RestoreSettings& options) {
    RestorePlan plan;
    std::map<std::pair<std::string, bool>, const StoredEntry*> stored;
    for (const StoredEntry& entry : inputs.stored->entries)
        stored[{entry.relative, entry.isFolder}] = &entry;
    auto find = [&](const std::string& path, bool folder) -> const StoredEntry* {
        const auto found = stored.find({path, folder});
        return found == stored.end() ? nullptr : found->second;
    };

    // The entries to restore, by path: the manifest's where there is one, then what is stored
    // beyond it.
    std::map<std::string, RestoreStep> steps;
    std::vector<RestoreStep> links;
    std::set<std::pair<std::string, bool>> covered;
    for (const ManifestEntry& entry : inputs.recorded) {
        RestoreStep step;
        step.relative = entry.path;
        step.recorded = entry;
        if (entry.type == EntryType::Link) {
            step.action = RestoreAction::MakeLink;
            links.push_back(step);
            continue;
        }
        const bool folder = entry.type == EntryType::Folder;
        step.stored = find(entry.path, folder);
        covered.insert({entry.path, folder});
        if (folder) {
            step.action = RestoreAction::MakeFolder;
        } else if (step.stored == nullptr) {
            plan.missing.push_back(entry.path);
            continue;
        }
        steps[entry.path] = step;
    }
    for (const StoredEntry& entry : inputs.stored->entries) {
        if (covered.count({entry.relative, entry.isFolder}) != 0) continue;
        if (steps.count(entry.relative) != 0) {
            // The backup says which of the two this name is; the other is no part of it.
            if (inputs.haveManifest) continue;
            plan.clashes.push_back(entry.relative);
            steps.erase(entry.relative);
            continue;
        }
        RestoreStep step;
        step.relative = entry.relative;
        step.stored = &entry;
        step.action = entry.isFolder ? RestoreAction::MakeFolder : RestoreAction::Download;
        if (!entry.isFolder && inputs.haveManifest) plan.extra.push_back(entry.relative);
        steps[entry.relative] = step;
    }
    // A name both ways with no manifest to decide is restored as neither, nor anything below.
    for (const std::string& clash : plan.clashes)
        for (auto it = steps.lower_bound(clash + "/");
             it != steps.end() && it->first.compare(0, clash.size() + 1, clash + "/") == 0;)
            it = steps.erase(it);

    for (auto& [path, step] : steps) {
        if (step.action == RestoreAction::Download) {
            const std::optional<LocalFile> local = inputs.local(path);
            const bool same =
                local && options.overwrite != Overwrite::Always &&
                SameAsBackup(inputs, options, path, *local, step.recorded, *step.stored);
            if (same)
                step.action = RestoreAction::Keep;
            else if (local && options.overwrite == Overwrite::Never)
                step.action = RestoreAction::Leave;
            if (step.action == RestoreAction::Download) {
                ++plan.downloadFiles;
                plan.downloadBytes += step.stored->size;
            }
        }
        plan.steps.push_back(std::move(step));
    }
    for (RestoreStep& link : links) {
        // --overwrite never keeps whatever is there, a link restored over it included.
        if (options.overwrite == Overwrite::Never && inputs.local(link.relative))
            link.action = RestoreAction::Leave;
        plan.steps.push_back(std::move(link));
    }
    return plan;
}

}  // namespace plughost
