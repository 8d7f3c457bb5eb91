// verify: a stored tree read back and compared, byte for byte, with a local one and with what
// the backup's manifest recorded.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "BackupLock.h"
#include "CommandContext.h"
#include "CommandHandlers.h"
#include "Commands.h"
#include "LocalTarget.h"
#include "Parallel.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "StoredManifest.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

namespace fs = std::filesystem;

int Verify(Context& context) {
    const fs::path localRoot = context.Operand(0);
    const std::string root = NormalizeStoragePath(context.Operand(1));
    if (!IsLocalFolder(context, localRoot, "verify")) return context.Finish();
    CFileAttributes attributes;
    if (!Attributes(context, root, "verify", attributes)) return context.Finish();

    LocalTree local = ScanLocalTree(localRoot);
    Crew crew(context, InstanceKind::Reading);
    StoredTree stored = WalkStorage(crew, root);
    TakeEntry(stored, LockName);  // a backup under way; no part of the tree
    for (Failure& failure : local.failures) context.report.Fail(std::move(failure));
    for (Failure& failure : stored.failures) context.Fail(std::move(failure));
    // A sub-folder of a backup is checked against the backup's manifest, in the nearest folder
    // above that holds one.
    const FoundManifest found = FindManifest(context, root, &stored);
    if (found.state == ManifestState::Absent)
        context.console.Note("plughost: note: '" + root +
                             "' has no manifest: the stored files are compared with the local "
                             "tree only");
    const std::string note = ManifestNote(found,
                                          "the stored files are compared with the local "
                                          "tree only");
    if (!note.empty()) context.console.Note(note);
    const bool checkManifest = found.state == ManifestState::Read;
    if (checkManifest && !found.manifest.Complete())
        context.report.Fail({found.root,
                             "verify",
                             "the backup that wrote this manifest did not finish: it does not "
                             "hold the whole tree",
                             {}});

    std::map<std::string, std::pair<const LocalEntry*, const StoredEntry*>> both;
    for (const LocalEntry& entry : local.entries)
        if (entry.type != EntryType::Link) both[entry.relative].first = &entry;
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
        for (const auto& [path, entry] : found.manifest.Entries())
            if (const std::optional<std::string> below = found.Relative(path);
                below && entry.type == EntryType::File)
                both[*below];

    Progress progress(context.console, context.invocation.global.progress);
    std::atomic<std::uint64_t> differences{0};  // read by a stop's summary too
    const Watch watch(context, progress, "verify", [&differences] {
        return std::to_string(differences) +
               (differences == 1 ? " difference, " : " differences, ");
    });
    progress.Begin(files, bytes, Direction::Download);
    // Files are compared in parallel: the differences are printed at the end, in the order of
    // their paths, whatever order they were found in.
    std::mutex noted;
    std::vector<std::pair<std::string, std::string>> lines;
    auto differ = [&](const char* kind, const std::string& path, const std::string& detail) {
        const std::lock_guard<std::mutex> lock(noted);
        ++differences;
        lines.emplace_back(
            path, std::string(kind) + ": " + path + (detail.empty() ? "" : ": " + detail) + "\n");
    };
    // Nothing is stored for a link: the manifest holds it.
    for (const LocalEntry& entry : local.entries) {
        if (entry.type != EntryType::Link) continue;
        const ManifestEntry* recorded = found.Find(entry.relative);
        if (recorded == nullptr || recorded->type != EntryType::Link)
            differ("missing", entry.relative, "a symbolic link locally, not in the manifest");
        else if (recorded->linkTarget != entry.linkTarget)
            differ("content", entry.relative,
                   "the link points to '" + entry.linkTarget + "', the manifest records '" +
                       recorded->linkTarget + "'");
    }
    // The stored file against the manifest, by size, and by hash when it was read.
    auto checkRecorded = [&](const std::string& path, const StoredEntry& theirs,
                             std::optional<std::uint64_t> readBytes, const std::string& sha256) {
        if (!checkManifest) return;
        const ManifestEntry* recorded = found.Find(path);
        const std::uint64_t size = readBytes.value_or(theirs.size);
        if (recorded == nullptr || recorded->type != EntryType::File)
            differ("manifest", path, "stored, not in the manifest");
        else if (recorded->size != size)
            differ("manifest", path,
                   "stored " + std::to_string(size) + " bytes, the manifest records " +
                       std::to_string(recorded->size));
        else if (!sha256.empty() && sha256 != recorded->sha256)
            differ("manifest", path,
                   "the stored content's SHA-256 is not the one the manifest records");
    };
    // The files whose contents are compared.
    struct Compared {
        const LocalEntry* local;
        const StoredEntry* stored;
        std::string relative;
    };
    std::vector<Compared> compared;
    for (const auto& [relative, pair] : both) {
        const LocalEntry* mine = pair.first;
        const StoredEntry* theirs = pair.second;
        if (theirs == nullptr) {
            if (mine != nullptr) differ("missing", relative, "in the local folder, not stored");
            const ManifestEntry* recorded = found.Find(relative);
            if (recorded != nullptr && recorded->type == EntryType::File)
                differ("manifest", relative, "in the manifest, not stored");
            continue;
        }
        if (mine == nullptr) {
            differ("extra", relative, "stored, not in the local folder");
            if (!theirs->isFolder) checkRecorded(relative, *theirs, std::nullopt, "");
            continue;
        }
        if (mine->IsFolder() != theirs->isFolder) {
            differ("type", relative,
                   mine->IsFolder() ? "a folder locally, a file in storage"
                                    : "a file locally, a folder in storage");
            continue;
        }
        if (mine->IsFolder()) continue;
        if (theirs->sizeValid && theirs->size != mine->size) {
            differ("size", relative,
                   "local " + std::to_string(mine->size) + " bytes, stored " +
                       std::to_string(theirs->size) + " bytes");
            checkRecorded(relative, *theirs, std::nullopt, "");
            progress.StartFile(relative, theirs->size);
            progress.AddBytes(theirs->size);
            progress.FinishFile();
            continue;
        }
        compared.push_back({mine, theirs, relative});
    }
    // The contents, read back in parallel.
    std::vector<TransferJob> jobs;
    for (std::size_t index = 0; index < compared.size(); ++index)
        jobs.push_back(
            {index, compared[index].stored->size, SplitRelative(compared[index].relative).first});
    RunTransfers(
        crew, progress, jobs, [&](Lane& lane, const TransferJob& job) -> std::optional<Failure> {
            const Compared& pair = compared[job.index];
            const std::string& relative = pair.relative;
            progress.StartFile(relative, pair.stored->size);
            CompareSink sink(pair.local->full);
            std::string error;
            if (!sink.Open(error)) {
                progress.FailFile();
                return Failure{pair.local->full.string(), "verify", error, {}};
            }
            Sha256 hash;
            std::optional<Failure> failure = lane.transfer.Download(
                lane.storage, JoinStoragePath(root, relative), std::nullopt, sink, &hash);
            if (failure) {
                progress.FailFile();
                return failure;
            }
            sink.Finish();
            progress.FinishFile();
            if (sink.FirstDifference() >= 0)
                differ("content", relative,
                       "first difference at offset " + std::to_string(sink.FirstDifference()));
            else if (sink.StoredLonger())
                differ("size", relative,
                       "local " + std::to_string(pair.local->size) + " bytes, stored " +
                           std::to_string(sink.StoredBytes()) + " bytes read");
            else if (sink.LocalLonger())
                differ("size", relative,
                       "local " + std::to_string(pair.local->size) + " bytes, only " +
                           std::to_string(sink.StoredBytes()) + " bytes stored");
            checkRecorded(relative, *pair.stored, sink.StoredBytes(), hash.HexDigest());
            return std::nullopt;
        });
    progress.End();
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [path, line] : lines) std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    context.console.Line(context.Summary(
        "verify", progress,
        std::to_string(differences) + (differences == 1 ? " difference, " : " differences, ")));
    context.report.PrintList();
    return differences == 0 && context.report.Ok() ? ExitOk : ExitFailed;
}

}  // namespace plughost
