// restore: the plan (RestorePlan.h) carried out inside a target folder that is never left
// through a link. Each file is hashed as it arrives and put in place only when it is the file
// the backup recorded; a file of the backup that is not stored, or arrives other than
// recorded, is named and fails the run, as does a backup that did not finish.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "BackupLock.h"
#include "CommandContext.h"
#include "CommandHandlers.h"
#include "LocalTarget.h"
#include "Parallel.h"
#include "RestorePlan.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "StoredManifest.h"
#include "Transfer.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

std::string RestoreExtra(const Progress& progress) {
    return std::to_string(progress.Unchanged()) + " unchanged, ";
}

// What the target holds at `relative`, looked at without following links.
std::optional<LocalFile> LocalAt(const LocalTarget& target, const std::string& relative) {
    const auto [folderPath, name] = SplitRelative(relative);
    std::string ignored;
    const UniqueFd folder = target.OpenFolder(folderPath, false, ignored);
    if (!folder.Valid()) return std::nullopt;
    struct stat status {};
    if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    LocalFile file;
    file.regular = S_ISREG(status.st_mode);
    file.size = static_cast<std::uint64_t>(status.st_size);
    file.seconds = status.st_mtim.tv_sec;
    file.nanoseconds = static_cast<std::uint32_t>(status.st_mtim.tv_nsec);
    return file;
}

std::optional<std::string> HashAt(const LocalTarget& target, const std::string& relative) {
    const auto [folderPath, name] = SplitRelative(relative);
    std::string error;
    const UniqueFd folder = target.OpenFolder(folderPath, false, error);
    if (!folder.Valid()) return std::nullopt;
    const UniqueFd file(::openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.Valid()) return std::nullopt;
    return HashFile(fs::path("/proc/self/fd") / std::to_string(file.Get()), error);
}

Metadata MetadataOf(const RestoreStep& step, bool owners) {
    Metadata metadata;
    metadata.owners = owners;
    if (step.recorded) {
        metadata.entry = &*step.recorded;
    } else if (step.stored != nullptr && step.stored->timeValid) {
        metadata.seconds = step.stored->modificationTime;
        metadata.timeKnown = true;
    }
    return metadata;
}

// Downloads one file into the target: nullopt when it is in place, else what failed.
std::optional<Failure> RestoreFile(Context& context, Lane& lane, Progress& progress,
                                   const LocalTarget& target, const std::string& storagePath,
                                   const RestoreStep& step, bool owners) {
    const StoredEntry& stored = *step.stored;
    progress.StartFile(step.relative, stored.sizeValid ? stored.size : 0);
    const fs::path shown = target.Root() / fs::path(step.relative);
    const auto [folderPath, name] = SplitRelative(step.relative);
    std::string error;
    UniqueFd folder = target.OpenFolder(folderPath, true, error);
    FileSink sink(std::move(folder), name, shown, &context.activity);
    if (!error.empty() || !sink.Open(error)) {
        progress.FailFile();
        return Failure{shown.string(), "restore", error, {}};
    }
    // The backup's size where it has one: an object that is not that size is not the file.
    std::optional<std::uint64_t> expected;
    if (step.recorded)
        expected = step.recorded->size;
    else if (stored.sizeValid)
        expected = stored.size;
    Sha256 hash;
    std::optional<Failure> failure =
        lane.transfer.Download(lane.storage, storagePath, expected, sink, &hash);
    if (!failure && step.recorded && hash.HexDigest() != step.recorded->sha256)
        failure = Failure{storagePath,
                          "restore",
                          "the stored content is not what the backup recorded (its SHA-256 "
                          "differs); not restored",
                          {}};
    const Metadata metadata = MetadataOf(step, owners);
    if (!failure && !sink.Commit(error, &metadata))
        failure = Failure{shown.string(), "restore", error, {}};
    if (failure) {
        progress.FailFile();
        return failure;
    }
    progress.FinishFile();
    context.console.Detail("plughost: restored: " + step.relative);
    return std::nullopt;
}

bool AnyOwner(const std::vector<ManifestEntry>& entries) {
    return std::any_of(entries.begin(), entries.end(),
                       [](const ManifestEntry& entry) { return entry.owner.known; });
}

}  // namespace

int Restore(Context& context) {
    const std::string root = NormalizeStoragePath(context.Operand(0));
    const fs::path localRoot = context.Operand(1);
    CFileAttributes attributes;
    if (!Attributes(context, root, "restore", attributes)) return context.Finish();
    LocalTarget target;
    std::string error;
    if (!target.Open(localRoot, error)) {
        context.report.Fail({localRoot.string(), "restore", error, {}});
        return context.Finish();
    }

    Crew crew(context, InstanceKind::Reading);
    StoredTree tree;
    std::string base = root;
    FoundManifest found;
    if (attributes.IsDirectory()) {
        tree = WalkStorage(crew, root);
        TakeEntry(tree, LockName);  // a backup under way; no part of the tree
        found = FindManifest(context, root, &tree);
    } else {
        // A single file is restored into the folder under its own name.
        StoredEntry entry;
        entry.relative = LastComponent(root);
        entry.size = attributes.size;
        entry.sizeValid = attributes.sizeValid;
        entry.modificationTime = attributes.modificationTime;
        entry.timeValid = attributes.timeValid;
        tree.entries.push_back(entry);
        base = root.substr(0, root.size() - entry.relative.size() - 1);
        found = FindManifest(context, base, nullptr);
    }
    for (Failure& failure : tree.failures) context.Fail(std::move(failure));

    RestoreInputs inputs;
    inputs.stored = &tree;
    inputs.haveManifest = found.state == ManifestState::Read;
    if (inputs.haveManifest) {
        for (const auto& [path, entry] : found.manifest.Entries()) {
            const std::optional<std::string> below = found.Relative(path);
            if (!below) continue;
            ManifestEntry relative = entry;
            relative.path = *below;
            // A single file restores its own entry only.
            if (!attributes.IsDirectory() && relative.path != tree.entries[0].relative) continue;
            inputs.recorded.push_back(std::move(relative));
        }
    }
    inputs.local = [&target](const std::string& relative) { return LocalAt(target, relative); };
    inputs.hasher = [&target](const std::string& relative) { return HashAt(target, relative); };
    const RestorePlan plan =
        PlanRestore(inputs, {context.invocation.overwrite, context.invocation.checksum});

    if (found.state == ManifestState::Absent && attributes.IsDirectory())
        context.console.Note("plughost: note: '" + root +
                             "' has no manifest (it was stored by another host): files get "
                             "default modes and the modification times the listing gives");
    const std::string note = ManifestNote(found, "modes and modification times are not restored");
    if (!note.empty()) context.console.Note(note);
    const bool owners = ::geteuid() == 0;
    if (!owners && AnyOwner(inputs.recorded))
        context.console.Note(
            "plughost: note: owners are not restored (only a run as root can "
            "give files to other users)");
    for (const std::string& path : plan.missing)
        context.report.Fail({JoinStoragePath(base, path),
                             "restore",
                             "in the backup's manifest, but not stored: not restored",
                             {}});
    for (const std::string& path : plan.clashes)
        context.report.Fail({JoinStoragePath(base, path),
                             "restore",
                             "stored both as a file and as a folder, with no manifest to tell "
                             "which: not restored",
                             {}});
    for (const std::string& path : plan.extra)
        context.console.Note("plughost: extra (stored, not in the backup's manifest; restored): " +
                             path);

    Progress progress(context.console, context.invocation.global.progress);
    const Watch watch(context, progress, "restore", [&progress] { return RestoreExtra(progress); });
    progress.Begin(plan.downloadFiles, plan.downloadBytes, Direction::Download);
    // Folders, what stays and the links in the plan's order, the files in parallel between.
    std::vector<const RestoreStep*> folders;
    std::vector<TransferJob> jobs;
    std::vector<const RestoreStep*> links;
    for (std::size_t index = 0; index < plan.steps.size(); ++index) {
        const RestoreStep& step = plan.steps[index];
        const fs::path shown = target.Root() / fs::path(step.relative);
        switch (step.action) {
            case RestoreAction::MakeFolder: {
                const UniqueFd folder = target.OpenFolder(step.relative, true, error);
                if (!folder.Valid()) {
                    context.report.Fail({shown.string(), "restore", error, {}});
                    break;
                }
                progress.AddFolder();
                folders.push_back(&step);
                break;
            }
            case RestoreAction::Download:
                jobs.push_back({index, step.stored->size, SplitRelative(step.relative).first});
                break;
            case RestoreAction::Keep: {
                // Its content is the backup's; its mode and owner are made so too.
                progress.AddUnchanged();
                context.console.Detail("plughost: unchanged: " + step.relative);
                const Metadata metadata = MetadataOf(step, owners);
                if (metadata.entry == nullptr) break;
                const auto [folderPath, name] = SplitRelative(step.relative);
                const UniqueFd folder = target.OpenFolder(folderPath, false, error);
                const UniqueFd file(folder.Valid() ? ::openat(folder.Get(), name.c_str(),
                                                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                                                   : -1);
                if (!file.Valid() || !ApplyMetadata(file.Get(), metadata, error))
                    context.report.Fail({shown.string(),
                                         "restore",
                                         file.Valid() ? error : "cannot open it again",
                                         {}});
                break;
            }
            case RestoreAction::Leave:
                context.console.Note("plughost: left as it is (--overwrite never): " +
                                     step.relative);
                break;
            case RestoreAction::MakeLink:
                links.push_back(&step);
                break;
        }
    }
    RunTransfers(crew, progress, jobs, [&](Lane& lane, const TransferJob& job) {
        const RestoreStep& step = plan.steps[job.index];
        return RestoreFile(context, lane, progress, target, JoinStoragePath(base, step.relative),
                           step, owners);
    });
    for (const RestoreStep* link : links)
        if (!target.MakeLink(link->relative, *link->recorded, owners, error))
            context.report.Fail({(target.Root() / link->relative).string(), "restore", error, {}});
    // Folders last and deepest first: writing into a folder changes its time, and its mode
    // may forbid writing.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        const Metadata metadata = MetadataOf(**it, owners);
        if (metadata.entry == nullptr && !metadata.timeKnown) continue;
        const UniqueFd folder = target.OpenFolder((*it)->relative, false, error);
        if (!folder.Valid() || !ApplyMetadata(folder.Get(), metadata, error))
            context.report.Fail({(target.Root() / (*it)->relative).string(), "restore", error, {}});
    }
    if (inputs.haveManifest && !found.manifest.Complete())
        context.report.Fail({found.root,
                             "restore",
                             "the backup that wrote this manifest did not finish: what it had "
                             "stored is restored, the rest of its tree is not in it",
                             {}});
    progress.End();
    context.console.Line(context.Summary("restore", progress, RestoreExtra(progress)));
    return context.Finish();
}

}  // namespace plughost
