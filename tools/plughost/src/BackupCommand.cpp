// backup: the plan (BackupPlan.h) carried out. Folders are created and files sent in the local
// tree's order; what the plan deletes goes only after every one of them is stored, and not at
// all when anything in the run failed, so that a local error (a folder that cannot be read)
// never costs a stored copy. What is stored is recorded as it goes, in the journal and, when
// the run is stopped, in a partial manifest; the manifest at the end records whether the run
// finished.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "BackupLock.h"
#include "BackupPlan.h"
#include "CommandContext.h"
#include "CommandHandlers.h"
#include "DirectClient.h"
#include "Journal.h"
#include "LocalTarget.h"
#include "Parallel.h"
#include "StoragePath.h"
#include "StoredManifest.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

// The summary's counters past files, folders and bytes.
std::string BackupExtra(const Progress& progress) {
    return std::to_string(progress.Unchanged()) + " unchanged, " +
           std::to_string(progress.Deleted()) + " deleted, ";
}

ManifestEntry EntryOf(const LocalEntry& local) {
    ManifestEntry entry;
    entry.path = local.relative;
    entry.type = local.type;
    entry.mode = local.mode;
    entry.size = local.type == EntryType::File ? local.size : 0;
    entry.seconds = local.seconds;
    entry.nanoseconds = local.nanoseconds;
    entry.owner = local.owner;
    entry.linkTarget = local.linkTarget;
    return entry;
}

// Whether the local file still has the size and time it was scanned with.
bool ChangedSinceScan(const LocalEntry& entry) {
    struct stat status {};
    if (::lstat(entry.full.c_str(), &status) != 0) return true;
    return static_cast<std::uint64_t>(status.st_size) != entry.size ||
           status.st_mtim.tv_sec != entry.seconds ||
           static_cast<std::uint32_t>(status.st_mtim.tv_nsec) != entry.nanoseconds;
}

// What the run has stored so far: the manifest's entries, kept where the monitor's thread can
// read them when the run is stopped.
class StoredSoFar {
  public:
    StoredSoFar(const Manifest& previous, Journal& journal)
        : previous_(previous), journal_(journal) {}

    // `stored`: new on the service in this run, and so journaled.
    void Add(ManifestEntry entry, bool stored) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stored) journal_.Append(entry);
        run_.Add(std::move(entry));
    }
    // Everything is stored; what goes now are the deletions.
    void BeginDeleting() {
        std::lock_guard<std::mutex> lock(mutex_);
        phase_ = Phase::Deleting;
    }
    // The manifest the run ends with: its own entries alone when it ran cleanly, else merged
    // with the previous manifest and marked partial.
    Manifest Final(bool clean) {
        std::lock_guard<std::mutex> lock(mutex_);
        journal_.Sync();
        final_ = clean ? run_ : MergeManifests(previous_, run_);
        phase_ = Phase::Final;
        return final_;
    }
    // The final manifest is stored: the journal has served.
    void Written() {
        std::lock_guard<std::mutex> lock(mutex_);
        journal_.Remove();
        phase_ = Phase::Written;
    }
    // What a stop stores, whatever the run's thread is doing: while files are sent, what is
    // stored so far with the previous manifest's other entries; once deletions have begun, the
    // run's own entries (the previous manifest may name what they removed); once the final
    // manifest is made, that one; nothing once it is stored.
    std::optional<Manifest> OnStop() {
        std::lock_guard<std::mutex> lock(mutex_);
        journal_.Sync();
        switch (phase_) {
            case Phase::Storing:
                return MergeManifests(previous_, run_);
            case Phase::Deleting: {
                Manifest partial = run_;
                partial.SetComplete(false);
                return partial;
            }
            case Phase::Final:
                return final_;
            case Phase::Written:
                break;
        }
        return std::nullopt;
    }

  private:
    enum class Phase { Storing, Deleting, Final, Written };
    std::mutex mutex_;
    const Manifest& previous_;
    Journal& journal_;
    Manifest run_;
    Manifest final_;
    Phase phase_ = Phase::Storing;
};

// The bucket and key of a storage path below a bucket.
std::pair<std::string, std::string> BucketAndKey(const std::string& path) {
    const std::string::size_type slash = path.find('/');
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// While it lives, a stop writes the partial manifest and removes the lock with plughost's own
// client, since the instance stays parked in the call it was in.
class ManifestOnStop {
  public:
    ManifestOnStop(Context& context, const std::string& root, StoredSoFar& stored,
                   const BackupLock& lock)
        : monitor_(context.monitor) {
        monitor_.SetStopWork([&context, root, &stored, &lock] {
            const std::optional<Manifest> partial = stored.OnStop();
            std::string error;
            std::unique_ptr<DirectClient> client = context.session.MakeDirectClient(true, error);
            RequestError failure;
            const auto [bucket, key] = BucketAndKey(JoinStoragePath(root, ManifestName));
            if (!partial) {
                // The run's own manifest is stored already.
            } else if (client && client->Put(bucket, key, partial->Format(), failure)) {
                context.console.Line("plughost: wrote the manifest of what is stored so far (" +
                                     Count(partial->Entries().size(), "entry", "entries") +
                                     "): the next backup sends only the rest");
            } else {
                context.console.Line(
                    "plughost: could not write the manifest of what is stored so far (" +
                    (client ? DescribeRequestError(failure, context.session.Endpoint()) : error) +
                    "); the journal keeps it for the next backup on this machine");
            }
            const auto [lockBucket, lockKey] = BucketAndKey(lock.Path());
            if (client && lock.Held() && !client->Delete(lockBucket, lockKey, failure))
                context.console.Line("plughost: could not remove the lock " + lock.Path() +
                                     "; the next backup on this host takes it over, one "
                                     "elsewhere after " +
                                     std::to_string(LockStaleAfter / 3600) + " hours");
        });
    }
    ~ManifestOnStop() { monitor_.SetStopWork({}); }
    ManifestOnStop(const ManifestOnStop&) = delete;
    ManifestOnStop& operator=(const ManifestOnStop&) = delete;

  private:
    Monitor& monitor_;
};

// The entries that an interrupted run recorded in the journal and the service still holds as
// recorded (a file by its listed size), added to `previous` and to `carried`; returns how many
// files.
std::uint64_t Resume(const Manifest& journaled, const StoredTree& stored, Manifest& previous,
                     Manifest& carried) {
    std::map<std::pair<std::string, bool>, const StoredEntry*> byPath;
    for (const StoredEntry& entry : stored.entries)
        byPath[{entry.relative, entry.isFolder}] = &entry;
    std::uint64_t files = 0;
    for (const auto& [path, entry] : journaled.Entries()) {
        if (entry.type == EntryType::Link) {
            previous.Add(entry);
            carried.Add(entry);
            continue;
        }
        const bool folder = entry.type == EntryType::Folder;
        const auto found = byPath.find({path, folder});
        if (found == byPath.end()) continue;
        if (!folder && (!found->second->sizeValid || found->second->size != entry.size)) continue;
        previous.Add(entry);
        carried.Add(entry);
        files += folder ? 0 : 1;
    }
    return files;
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
    Crew crew(context, InstanceKind::Writing);
    StoredTree stored;
    FoundManifest last;
    if (rootStored) {
        stored = WalkStorage(crew, root);
        for (Failure& failure : stored.failures) context.Fail(std::move(failure));
        last = ReadTreeManifest(context, root, stored);
        // Without it, this run's manifest would replace it with one that knows only what this
        // run sent.
        if (last.downloadFailed) {
            context.report.Fail({JoinStoragePath(root, ManifestName),
                                 "backup",
                                 "the manifest of the last backup is there but could not be "
                                 "read: nothing is sent (run the backup again)",
                                 {}});
            return context.Finish();
        }
        const std::string note = ManifestNote(last, "every file is sent");
        if (!note.empty()) context.console.Note(note);
    }
    BackupLock lock(context, root);
    if (!invocation.dryRun && !lock.Take(stored)) return context.Finish();
    TakeEntry(stored, LockName);
    Manifest previous = last.manifest;
    const EndpointFacts& endpoint = context.session.Endpoint();
    Journal journal(Journal::PathFor(context.session.DisplayName() + "\n" +
                                         (endpoint.url.empty() ? endpoint.source : endpoint.url),
                                     root));
    Manifest journaled;
    journal.Read(journaled);
    Manifest carried;
    const std::uint64_t resumed = Resume(journaled, stored, previous, carried);
    if (resumed > 0)
        context.console.Note(
            "plughost: resuming an interrupted backup: " + Count(resumed, "file", "files") +
            " it stored are not sent again (journal " + journal.Path().string() + ")");

    LocalTree tree = ScanLocalTree(localRoot);
    for (Failure& failure : tree.failures) context.report.Fail(std::move(failure));
    for (const std::string& skipped : tree.skipped)
        context.console.Note("plughost: skipped (not a regular file, folder or link): " + skipped);
    tree.entries.erase(
        std::remove_if(tree.entries.begin(), tree.entries.end(),
                       [&](const LocalEntry& entry) {
                           if (entry.relative != ManifestName && entry.relative != LockName)
                               return false;
                           context.report.Fail(
                               {entry.full.string(),
                                "backup",
                                "the name is plughost's own (" + entry.relative + ")",
                                {}});
                           return true;
                       }),
        tree.entries.end());

    const BackupPlan plan =
        PlanBackup(tree, stored, previous, {invocation.checksum, invocation.deleteExtra},
                   [](const LocalEntry& entry) {
                       std::string error;
                       return HashFile(entry.full, error);
                   });
    const bool overLimit = invocation.maxDelete && plan.deletedEntries > *invocation.maxDelete;

    if (invocation.dryRun) {
        PrintPlan(plan, stdout);
        std::fflush(stdout);
        context.console.Line(
            "plughost: backup (dry run, nothing sent): would send " +
            Count(plan.sendFiles, "file", "files") + " (" + FormatBytes(plan.sendBytes) +
            "), create " + Count(plan.createFolders, "folder", "folders") + ", delete " +
            std::to_string(plan.deletedEntries) + "; " + std::to_string(plan.unchangedFiles) +
            " unchanged, " + Count(context.report.Count(), "failure", "failures"));
        if (plan.deletedEntries > 0 && !context.report.Ok())
            context.console.Line(
                "plughost: a run would delete nothing: the tree was not read "
                "whole");
        if (overLimit)
            context.console.Line(
                "plughost: a run would delete nothing: " + std::to_string(plan.deletedEntries) +
                " deletions exceed --max-delete " + std::to_string(*invocation.maxDelete));
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
    std::string error;
    if (!journal.Begin(carried, error))
        context.console.Note("plughost: note: " + error + ": an interrupted run would start over");
    StoredSoFar storedSoFar(previous, journal);
    const ManifestOnStop onStop(context, root, storedSoFar, lock);
    Progress progress(context.console, invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, invocation.global.blockSize);
    const Watch watch(context, progress, "backup", [&progress] { return BackupExtra(progress); });
    progress.Begin(plan.sendFiles, plan.sendBytes, Direction::Upload);
    // Folders, links and what is unchanged first, in the tree's order; then the files, in
    // parallel.
    std::vector<TransferJob> jobs;
    for (std::size_t index = 0; index < plan.steps.size(); ++index) {
        const BackupStep& step = plan.steps[index];
        const LocalEntry& entry = *step.local;
        if (entry.type != EntryType::File) {
            if (!step.send || CreateFolder(context, JoinStoragePath(root, entry.relative))) {
                storedSoFar.Add(EntryOf(entry), step.send || entry.type == EntryType::Link);
                if (step.send) progress.AddFolder();
            }
        } else if (!step.send) {
            progress.AddUnchanged();
            context.console.Detail("plughost: unchanged: " + entry.relative);
            ManifestEntry kept = EntryOf(entry);
            kept.sha256 = step.previous->sha256;
            storedSoFar.Add(std::move(kept), false);
        } else {
            jobs.push_back({index, entry.size, SplitRelative(entry.relative).first});
        }
    }
    RunTransfers(crew, progress, jobs,
                 [&](Lane& lane, const TransferJob& job) -> std::optional<Failure> {
                     // The lock is renewed through the session's own instance, on its thread.
                     if (&lane.storage == &context.Storage()) lock.Renew();
                     const LocalEntry& entry = *plan.steps[job.index].local;
                     const std::string path = JoinStoragePath(root, entry.relative);
                     if (entry.size >= MultipartCandidate) RememberEarlierUploads(context, path);
                     progress.StartFile(entry.relative, entry.size);
                     Sha256 hash;
                     std::optional<Failure> failure =
                         lane.transfer.Upload(lane.storage, entry.full, path, &hash);
                     if (failure) {
                         // Left out of this run's entries: the next backup sends it again.
                         progress.FailFile();
                         return failure;
                     }
                     progress.FinishFile();
                     context.console.Detail("plughost: sent: " + entry.relative + " (" +
                                            FormatBytes(lane.transfer.Moved()) + ")");
                     // The entry describes what was sent. A file written to while it was read
                     // keeps the time it was scanned with, so that the next run, seeing a
                     // newer one, sends it again.
                     ManifestEntry sent = EntryOf(entry);
                     sent.size = lane.transfer.Moved();
                     sent.sha256 = hash.HexDigest();
                     if (ChangedSinceScan(entry))
                         context.console.Line("plughost: " + entry.relative +
                                              ": changed while it was read; stored as read, and "
                                              "sent again by the next backup");
                     storedSoFar.Add(std::move(sent), true);
                     return std::nullopt;
                 });

    // Whether the tree was read whole and everything in it stored: the manifest is complete
    // then, whatever becomes of the deletions.
    const bool storedWhole = context.report.Ok();
    // Deletions last, only after a run in which everything else succeeded, and only while the
    // lock is still this run's.
    lock.Renew();
    if (plan.deletedEntries > 0) {
        if (!context.report.Ok()) {
            context.console.Line("plughost: deleted nothing: " +
                                 Count(context.report.Count(), "failure", "failures") +
                                 " in this run (a backup deletes only after everything else is "
                                 "stored)");
        } else if (overLimit) {
            context.report.Fail({root,
                                 "delete",
                                 Count(plan.deletedEntries, "stored entry", "stored entries") +
                                     " would be deleted, more than --max-delete " +
                                     std::to_string(*invocation.maxDelete) + ": deleted nothing",
                                 {}});
        } else if (lock.StillOurs()) {
            storedSoFar.BeginDeleting();
            std::vector<StoredDeletion> deletions;
            for (const BackupDeletion& deletion : plan.deletions)
                deletions.push_back({JoinStoragePath(root, deletion.relative), deletion.isFolder});
            DeleteOnCrew(crew, deletions, "delete", false, [&](std::size_t i) {
                progress.AddDeleted();
                context.console.Detail("plughost: deleted: " + plan.deletions[i].relative);
            });
        }
    }
    lock.Renew();
    const Manifest manifest = storedSoFar.Final(storedWhole);
    const std::optional<Failure> written = transfer.UploadBytes(
        context.Storage(), manifest.Format(), JoinStoragePath(root, ManifestName));
    if (written)
        context.Fail(*written);
    else
        storedSoFar.Written();
    lock.Release();
    progress.End();
    context.console.Line(context.Summary("backup", progress, BackupExtra(progress)));
    return context.Finish();
}

}  // namespace plughost
