// backup, restore and verify: a local folder tree and a stored one, with the manifest that
// keeps what the plug-ins cannot (modes, modification times, content hashes).
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "CommandContext.h"
#include "Commands.h"
#include "Manifest.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

// Larger than any manifest of a tree that fits a backup.
constexpr std::size_t ManifestLimit = 256u << 20;

// The summary's counters past files, folders and bytes.
std::string BackupExtra(const Progress& progress) {
    return std::to_string(progress.Unchanged()) + " unchanged, " +
           std::to_string(progress.Deleted()) + " deleted, ";
}

enum class ManifestState { Absent, Read, Unreadable };

// Takes the manifest out of the stored tree's listing and reads it.
ManifestState ReadManifest(Context& context, const std::string& root, StoredTree& tree,
                           Manifest& manifest, std::string& problem) {
    const auto found = std::find_if(
        tree.entries.begin(), tree.entries.end(),
        [](const StoredEntry& e) { return !e.isFolder && e.relative == ManifestName; });
    if (found == tree.entries.end()) return ManifestState::Absent;
    tree.entries.erase(found);
    Progress silent(context.console, ProgressMode::None);
    Transfer transfer(context.session.Log(), silent, 1 << 20);
    MemorySink sink(ManifestLimit);
    const std::optional<Failure> failure = transfer.Download(
        context.Storage(), JoinStoragePath(root, ManifestName), std::nullopt, sink);
    if (failure) {
        context.Fail(*failure);
        problem = "it could not be read";
        return ManifestState::Unreadable;
    }
    problem = Manifest::Parse(sink.Data(), manifest);
    if (!problem.empty()) {
        manifest = Manifest();
        return ManifestState::Unreadable;
    }
    return ManifestState::Read;
}

ManifestEntry EntryOf(const LocalEntry& local, const std::string& sha256) {
    ManifestEntry entry;
    entry.path = local.relative;
    entry.isFolder = local.isFolder;
    entry.mode = local.mode;
    entry.size = local.isFolder ? 0 : local.size;
    entry.seconds = local.seconds;
    entry.nanoseconds = local.nanoseconds;
    entry.sha256 = local.isFolder ? "" : sha256;
    return entry;
}

// True when `path` lies below one of `folders`.
bool Below(const std::string& path, const std::set<std::string>& folders) {
    for (std::string::size_type slash = path.rfind('/'); slash != std::string::npos;
         slash = slash == 0 ? std::string::npos : path.rfind('/', slash - 1))
        if (folders.count(path.substr(0, slash)) != 0) return true;
    return false;
}

bool Delete(Context& context, const std::string& path, bool folder) {
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = folder ? context.Storage().DeleteFolder(ToHostPath(path))
                                     : context.Storage().DeleteFile(ToHostPath(path));
    if (result == Success) return true;
    context.FailCall(path, "delete", folder ? "DeleteFolder" : "DeleteFile", result, mark);
    return false;
}

// Reports a failure when `path` is not a local folder.
bool IsLocalFolder(Context& context, const fs::path& path, const char* operation) {
    std::error_code failed;
    if (fs::is_directory(path, failed)) return true;
    context.report.Fail({path.string(), operation, "not a folder", {}});
    return false;
}

void ApplyMetadata(Context& context, const fs::path& local, const ManifestEntry& entry) {
    const timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(entry.seconds), static_cast<long>(entry.nanoseconds)}};
    if (::chmod(local.c_str(), static_cast<mode_t>(entry.mode)) != 0 ||
        ::utimensat(AT_FDCWD, local.c_str(), times, 0) != 0)
        context.report.Fail({local.string(),
                             "restore",
                             std::string("cannot set the mode and time: ") + std::strerror(errno),
                             {}});
}

}  // namespace

int Backup(Context& context) {
    const Invocation& invocation = context.invocation;
    const fs::path localRoot = context.Operand(0);
    const std::string root = NormalizeStoragePath(context.Operand(1));
    if (!IsLocalFolder(context, localRoot, "backup")) return context.Finish();
    const std::vector<std::string> parts = SplitStoragePath(root);
    CFileAttributes attributes;
    if (!Attributes(context, parts[0], "backup", attributes)) return context.Finish();

    // What the last backup left: the stored tree and its manifest.
    bool rootStored = !HasKey(root);
    if (!rootStored) {
        const ResultCode result =
            context.Storage().GetElementAttributes(ToHostPath(root), attributes);
        rootStored = result == Success;
        if (rootStored && !attributes.IsDirectory()) {
            context.report.Fail({root, "backup", "is a file in storage, not a folder", {}});
            return context.Finish();
        }
    }
    StoredTree stored;
    Manifest previous;
    if (rootStored) {
        stored = WalkStorage(context.Storage(), context.session.Log(), root);
        for (Failure& failure : stored.failures) context.Fail(std::move(failure));
        std::string problem;
        if (ReadManifest(context, root, stored, previous, problem) == ManifestState::Unreadable)
            context.console.Note("plughost: note: the manifest in '" + root + "' is of no use (" +
                                 problem + "): every file is sent");
    }
    std::map<std::string, const StoredEntry*> storedByPath;
    for (const StoredEntry& entry : stored.entries) storedByPath[entry.relative] = &entry;

    LocalTree tree = ScanLocalTree(localRoot);
    for (Failure& failure : tree.failures) context.report.Fail(std::move(failure));
    for (const std::string& skipped : tree.skipped)
        context.console.Note("plughost: skipped (not a regular file or folder): " + skipped);
    tree.entries.erase(
        std::remove_if(tree.entries.begin(), tree.entries.end(),
                       [&](const LocalEntry& entry) {
                           if (entry.relative != ManifestName) return false;
                           context.report.Fail(
                               {entry.full.string(), "backup", "the name is the manifest's", {}});
                           return true;
                       }),
        tree.entries.end());

    // What to do with each entry.
    struct Step {
        const LocalEntry* local = nullptr;
        bool send = false;     // a file to upload, or a folder to create
        bool replace = false;  // stored as the other type: delete that first
        std::string sha256;    // known already for a file that is not sent
    };
    std::vector<Step> steps;
    std::set<std::string> localPaths;
    std::uint64_t sendFiles = 0;
    std::uint64_t sendBytes = 0;
    for (const LocalEntry& entry : tree.entries) {
        localPaths.insert(entry.relative);
        Step step;
        step.local = &entry;
        const auto found = storedByPath.find(entry.relative);
        const StoredEntry* there = found == storedByPath.end() ? nullptr : found->second;
        step.replace = there != nullptr && there->isFolder != entry.isFolder;
        if (entry.isFolder) {
            step.send = there == nullptr || step.replace;
        } else {
            const ManifestEntry* last = previous.Find(entry.relative);
            bool same = there != nullptr && !step.replace && there->sizeValid &&
                        there->size == entry.size && last != nullptr && !last->isFolder &&
                        last->size == entry.size;
            if (same && invocation.checksum) {
                std::string error;
                const std::optional<std::string> hash = HashFile(entry.full, error);
                same = hash && *hash == last->sha256;
            } else if (same) {
                same = last->seconds == entry.seconds && last->nanoseconds == entry.nanoseconds;
            }
            step.send = !same;
            if (same) step.sha256 = last->sha256;
            if (step.send) {
                ++sendFiles;
                sendBytes += entry.size;
            }
        }
        steps.push_back(step);
    }
    // With --delete: what is stored and gone locally, each subtree once.
    std::vector<const StoredEntry*> extras;
    if (invocation.deleteExtra) {
        std::set<std::string> goneFolders;
        for (const StoredEntry& entry : stored.entries) {
            if (localPaths.count(entry.relative) != 0 || Below(entry.relative, goneFolders))
                continue;
            extras.push_back(&entry);
            if (entry.isFolder) goneFolders.insert(entry.relative);
        }
    }

    if (invocation.dryRun) {
        std::uint64_t folders = 0;
        std::uint64_t unchanged = 0;
        for (const Step& step : steps) {
            const LocalEntry& entry = *step.local;
            if (step.replace)
                std::printf("would delete: %s%s (to store a %s there)\n", entry.relative.c_str(),
                            entry.isFolder ? "" : "/", entry.isFolder ? "folder" : "file");
            if (!step.send) {
                unchanged += entry.isFolder ? 0 : 1;
                continue;
            }
            if (entry.isFolder) {
                ++folders;
                std::printf("would create folder: %s/\n", entry.relative.c_str());
            } else {
                std::printf("would send: %s (%s)\n", entry.relative.c_str(),
                            FormatBytes(entry.size).c_str());
            }
        }
        for (const StoredEntry* extra : extras)
            std::printf("would delete: %s%s\n", extra->relative.c_str(),
                        extra->isFolder ? "/" : "");
        std::fflush(stdout);
        context.console.Line("plughost: backup (dry run, nothing sent): would send " +
                             Count(sendFiles, "file", "files") + " (" + FormatBytes(sendBytes) +
                             "), create " + Count(folders, "folder", "folders") + ", delete " +
                             std::to_string(extras.size()) + "; " + std::to_string(unchanged) +
                             " unchanged, " + Count(context.report.Count(), "failure", "failures"));
        return context.Finish();
    }

    // The folders leading to the backup's root, then the tree itself.
    if (!rootStored) {
        std::string prefix = parts[0];
        for (std::size_t i = 1; i < parts.size(); ++i) {
            prefix = JoinStoragePath(prefix, parts[i]);
            CreateFolder(context, prefix);
        }
    }
    Progress progress(context.console, invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, invocation.global.blockSize);
    const Watch watch(context, progress, "backup", [&progress] { return BackupExtra(progress); });
    progress.Begin(sendFiles, sendBytes, Direction::Upload);
    Manifest manifest;
    for (const Step& step : steps) {
        const LocalEntry& entry = *step.local;
        const std::string path = JoinStoragePath(root, entry.relative);
        if (step.replace && !Delete(context, path, !entry.isFolder)) continue;
        if (entry.isFolder) {
            if (!step.send || CreateFolder(context, path)) {
                manifest.Add(EntryOf(entry, ""));
                if (step.send) progress.AddFolder();
            }
            continue;
        }
        if (!step.send) {
            progress.AddUnchanged();
            context.console.Detail("plughost: unchanged: " + entry.relative);
            manifest.Add(EntryOf(entry, step.sha256));
            continue;
        }
        progress.StartFile(entry.relative, entry.size);
        Sha256 hash;
        std::optional<Failure> failure =
            transfer.Upload(context.Storage(), entry.full, path, &hash);
        if (failure) {
            // Left out of the manifest, so that the next backup sends it again.
            progress.FailFile();
            context.Fail(std::move(*failure));
            continue;
        }
        progress.FinishFile();
        context.console.Detail("plughost: sent: " + entry.relative + " (" +
                               FormatBytes(entry.size) + ")");
        manifest.Add(EntryOf(entry, hash.HexDigest()));
    }
    // Deleted after the new copies are in, so that a stopped run has lost nothing.
    for (const StoredEntry* extra : extras) {
        if (!Delete(context, JoinStoragePath(root, extra->relative), extra->isFolder)) continue;
        progress.AddDeleted();
        context.console.Detail("plughost: deleted: " + extra->relative);
    }
    const std::optional<Failure> written = transfer.UploadBytes(
        context.Storage(), manifest.Format(), JoinStoragePath(root, ManifestName));
    if (written) context.Fail(*written);
    progress.End();
    context.console.Line(context.Summary("backup", progress, BackupExtra(progress)));
    return context.Finish();
}

namespace {

// Downloads one stored file to a local path; true when it is in place.
bool RestoreFile(Context& context, Transfer& transfer, Progress& progress, const std::string& path,
                 const StoredEntry& entry, const fs::path& local) {
    progress.StartFile(entry.relative, entry.sizeValid ? entry.size : 0);
    FileSink sink(local, &context.activity);
    std::string error;
    if (!sink.Open(error)) {
        progress.FailFile();
        context.report.Fail({local.string(), "restore", error, {}});
        return false;
    }
    const std::optional<std::uint64_t> expected =
        entry.sizeValid ? std::optional<std::uint64_t>(entry.size) : std::nullopt;
    std::optional<Failure> failure = transfer.Download(context.Storage(), path, expected, sink);
    if (!failure && !sink.Commit(error)) failure = Failure{local.string(), "restore", error, {}};
    if (failure) {
        progress.FailFile();
        context.Fail(std::move(*failure));
        return false;
    }
    progress.FinishFile();
    context.console.Detail("plughost: restored: " + entry.relative);
    return true;
}

}  // namespace

int Restore(Context& context) {
    const std::string root = NormalizeStoragePath(context.Operand(0));
    const fs::path localRoot = context.Operand(1);
    CFileAttributes attributes;
    if (!Attributes(context, root, "restore", attributes)) return context.Finish();
    std::error_code failed;
    fs::create_directories(localRoot, failed);
    if (failed) {
        context.report.Fail({localRoot.string(), "restore", failed.message(), {}});
        return context.Finish();
    }

    StoredTree tree;
    std::string base = root;
    Manifest manifest;
    ManifestState state = ManifestState::Absent;
    std::string problem;
    if (attributes.IsDirectory()) {
        tree = WalkStorage(context.Storage(), context.session.Log(), root);
        state = ReadManifest(context, root, tree, manifest, problem);
    } else {
        // A single file is restored into the folder under its own name.
        StoredEntry entry;
        entry.relative = LastComponent(root);
        entry.size = attributes.size;
        entry.sizeValid = attributes.sizeValid;
        tree.entries.push_back(entry);
        base = root.substr(0, root.size() - entry.relative.size() - 1);
    }
    for (Failure& failure : tree.failures) context.Fail(std::move(failure));
    if (attributes.IsDirectory() && state == ManifestState::Absent)
        context.console.Note("plughost: note: '" + root +
                             "' has no manifest (it was stored by another host): modes and "
                             "modification times are not known, so the files get default modes "
                             "and the current time");
    else if (state == ManifestState::Unreadable)
        context.console.Note("plughost: note: the manifest in '" + root + "' is of no use (" +
                             problem + "): modes and modification times are not restored");

    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const StoredEntry& entry : tree.entries) {
        if (entry.isFolder) continue;
        ++files;
        bytes += entry.size;
    }
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    const Watch watch(context, progress, "restore");
    progress.Begin(files, bytes, Direction::Download);
    std::vector<std::pair<fs::path, const ManifestEntry*>> restored;
    std::uint64_t unknown = 0;
    for (const StoredEntry& entry : tree.entries) {
        const fs::path local = localRoot / fs::path(entry.relative);
        bool inPlace = false;
        if (entry.isFolder) {
            fs::create_directory(local, failed);
            if (failed)
                context.report.Fail({local.string(), "restore", failed.message(), {}});
            else
                progress.AddFolder();
            inPlace = !failed;
        } else {
            inPlace = RestoreFile(context, transfer, progress,
                                  JoinStoragePath(base, entry.relative), entry, local);
        }
        if (!inPlace || state != ManifestState::Read) continue;
        const ManifestEntry* recorded = manifest.Find(entry.relative);
        if (recorded == nullptr || recorded->isFolder != entry.isFolder)
            ++unknown;
        else
            restored.emplace_back(local, recorded);
    }
    // Contents before their folders: writing into a folder changes its time, and its mode may
    // forbid writing.
    for (auto it = restored.rbegin(); it != restored.rend(); ++it)
        ApplyMetadata(context, it->first, *it->second);
    if (unknown > 0)
        context.console.Note("plughost: note: " + Count(unknown, "entry is", "entries are") +
                             " not in the manifest; they keep default modes and the current time");
    progress.End();
    context.console.Line(context.Summary("restore", progress));
    return context.Finish();
}

int Verify(Context& context) {
    const fs::path localRoot = context.Operand(0);
    const std::string root = NormalizeStoragePath(context.Operand(1));
    if (!IsLocalFolder(context, localRoot, "verify")) return context.Finish();
    CFileAttributes attributes;
    if (!Attributes(context, root, "verify", attributes)) return context.Finish();

    LocalTree local = ScanLocalTree(localRoot);
    StoredTree stored = WalkStorage(context.Storage(), context.session.Log(), root);
    for (Failure& failure : local.failures) context.report.Fail(std::move(failure));
    for (Failure& failure : stored.failures) context.Fail(std::move(failure));
    Manifest manifest;
    std::string problem;
    const ManifestState state = ReadManifest(context, root, stored, manifest, problem);
    if (state == ManifestState::Absent)
        context.console.Note("plughost: note: '" + root +
                             "' has no manifest: the stored files are compared with the local "
                             "tree only");
    else if (state == ManifestState::Unreadable)
        context.console.Note("plughost: note: the manifest in '" + root + "' is of no use (" +
                             problem + ")");
    const bool checkManifest = state == ManifestState::Read;

    std::map<std::string, std::pair<const LocalEntry*, const StoredEntry*>> both;
    for (const LocalEntry& entry : local.entries) both[entry.relative].first = &entry;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const StoredEntry& entry : stored.entries) {
        both[entry.relative].second = &entry;
        if (!entry.isFolder) {
            ++files;
            bytes += entry.size;
        }
    }
    if (checkManifest)
        for (const auto& [path, entry] : manifest.Entries())
            if (!entry.isFolder) both[path];

    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    std::uint64_t differences = 0;
    const Watch watch(context, progress, "verify", [&differences] {
        return std::to_string(differences) +
               (differences == 1 ? " difference, " : " differences, ");
    });
    progress.Begin(files, bytes, Direction::Download);
    auto differ = [&](const char* kind, const std::string& path, const std::string& detail) {
        ++differences;
        std::printf("%s: %s%s%s\n", kind, path.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        std::fflush(stdout);
    };
    // The stored file against the manifest, by size, and by hash when it was read.
    auto checkRecorded = [&](const std::string& path, const StoredEntry& theirs,
                             std::optional<std::uint64_t> readBytes, const std::string& sha256) {
        if (!checkManifest) return;
        const ManifestEntry* recorded = manifest.Find(path);
        const std::uint64_t size = readBytes.value_or(theirs.size);
        if (recorded == nullptr || recorded->isFolder)
            differ("manifest", path, "stored, not in the manifest");
        else if (recorded->size != size)
            differ("manifest", path,
                   "stored " + std::to_string(size) + " bytes, the manifest records " +
                       std::to_string(recorded->size));
        else if (!sha256.empty() && sha256 != recorded->sha256)
            differ("manifest", path,
                   "the stored content's SHA-256 is not the one the manifest records");
    };
    for (const auto& [relative, pair] : both) {
        const LocalEntry* mine = pair.first;
        const StoredEntry* theirs = pair.second;
        if (theirs == nullptr) {
            if (mine != nullptr) differ("missing", relative, "in the local folder, not stored");
            const ManifestEntry* recorded = checkManifest ? manifest.Find(relative) : nullptr;
            if (recorded != nullptr && !recorded->isFolder)
                differ("manifest", relative, "in the manifest, not stored");
            continue;
        }
        if (mine == nullptr) {
            differ("extra", relative, "stored, not in the local folder");
            if (!theirs->isFolder) checkRecorded(relative, *theirs, std::nullopt, "");
            continue;
        }
        if (mine->isFolder != theirs->isFolder) {
            differ("type", relative,
                   mine->isFolder ? "a folder locally, a file in storage"
                                  : "a file locally, a folder in storage");
            continue;
        }
        if (mine->isFolder) continue;
        progress.StartFile(relative, theirs->size);
        if (theirs->sizeValid && theirs->size != mine->size) {
            differ("size", relative,
                   "local " + std::to_string(mine->size) + " bytes, stored " +
                       std::to_string(theirs->size) + " bytes");
            checkRecorded(relative, *theirs, std::nullopt, "");
            progress.AddBytes(theirs->size);
            progress.FinishFile();
            continue;
        }
        CompareSink sink(mine->full);
        std::string error;
        if (!sink.Open(error)) {
            progress.FailFile();
            context.report.Fail({mine->full.string(), "verify", error, {}});
            continue;
        }
        Sha256 hash;
        std::optional<Failure> failure = transfer.Download(
            context.Storage(), JoinStoragePath(root, relative), std::nullopt, sink, &hash);
        if (failure) {
            progress.FailFile();
            context.Fail(std::move(*failure));
            continue;
        }
        sink.Finish();
        progress.FinishFile();
        if (sink.FirstDifference() >= 0)
            differ("content", relative,
                   "first difference at offset " + std::to_string(sink.FirstDifference()));
        else if (sink.StoredLonger())
            differ("size", relative,
                   "local " + std::to_string(mine->size) + " bytes, stored " +
                       std::to_string(sink.StoredBytes()) + " bytes read");
        else if (sink.LocalLonger())
            differ("size", relative,
                   "local " + std::to_string(mine->size) + " bytes, only " +
                       std::to_string(sink.StoredBytes()) + " bytes stored");
        checkRecorded(relative, *theirs, sink.StoredBytes(), hash.HexDigest());
    }
    progress.End();
    context.console.Line(context.Summary(
        "verify", progress,
        std::to_string(differences) + (differences == 1 ? " difference, " : " differences, ")));
    context.report.PrintList();
    return differences == 0 && context.report.Ok() ? ExitOk : ExitFailed;
}

}  // namespace plughost
