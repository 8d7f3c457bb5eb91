#include "Commands.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <list>
#include <map>

#include "Arguments.h"
#include "CommandTable.h"
#include "Progress.h"
#include "Report.h"
#include "Session.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

struct Context {
    const Invocation& invocation;
    Console& console;
    Session& session;
    Report& report;

    const std::string& Operand(std::size_t index) const { return invocation.operands.at(index); }
};

int UsageError(Console& console, const std::string& message, const CommandSpec* command) {
    console.Line("plughost: " + message);
    if (command != nullptr) console.Line(UsageLine(*command));
    console.Line(std::string("Try 'plughost ") + (command != nullptr ? command->name : "") +
                 (command != nullptr ? " " : "") + "--help' for more information.");
    return ExitUsage;
}

int Finish(const Context& context) {
    context.report.PrintList();
    return context.report.Ok() ? ExitOk : ExitFailed;
}

// Records a failed instance operation with what the plug-in logged since `mark`.
void FailOperation(Context& context, const std::string& path, const std::string& operation,
                   ResultCode result, std::size_t mark) {
    context.report.Fail({path, operation, operation + " returned " + ResultName(result),
                         context.session.Log().LinesSince(mark)});
}

std::string FormatTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

void PrintSummary(Context& context, const std::string& verb, const Progress& progress,
                  std::uint64_t folders, const std::string& extra = "") {
    const double seconds = progress.ElapsedSeconds();
    const std::uint64_t failures = context.report.Count();
    std::string line = "plughost: " + verb + ": " + std::to_string(progress.DoneFiles()) +
                       (progress.DoneFiles() == 1 ? " file, " : " files, ");
    if (folders > 0) line += std::to_string(folders) + (folders == 1 ? " folder, " : " folders, ");
    line += FormatBytes(progress.DoneBytes()) + " in " + Seconds(seconds) + " (" +
            FormatRate(progress.DoneBytes(), seconds) + "), " + extra + std::to_string(failures) +
            (failures == 1 ? " failure" : " failures");
    context.console.Line(line);
}

// The storage target of put: a trailing separator stands for the local file's own name.
std::string PutTarget(const Invocation& invocation) {
    std::string target = invocation.operands.at(1);
    if (!target.empty() && (target.back() == '/' || target.back() == '\\'))
        target += fs::path(invocation.operands.at(0)).filename().string();
    return NormalizeStoragePath(target);
}

// Checks the storage path operands before anything is loaded: what must name a file needs a
// key below its bucket, a tree's root at least a bucket. Returns a message, or "" when fine.
std::string OperandProblem(const Invocation& invocation) {
    const std::string name = invocation.command->name;
    int index = -1;
    bool needKey = false;
    std::string path;
    if (name == "put") {
        index = 1;
        needKey = true;
        path = PutTarget(invocation);
    } else if (name == "get" || name == "restore") {
        index = 0;
        needKey = name == "get";
    } else if (name == "backup" || name == "verify") {
        index = 1;
    }
    if (index < 0) return "";
    const std::string& operand = invocation.operands.at(index);
    if (path.empty()) path = NormalizeStoragePath(operand);
    if (path.empty() || (needKey && !HasKey(path)))
        return name + ": '" + operand + "' must name " +
               (needKey ? "a file below a bucket" : "a bucket or a folder in one");
    return "";
}

// The attributes of a storage path; reports a failure and returns false when there are none.
bool Attributes(Context& context, const std::string& path, const std::string& operation,
                CFileAttributes& attributes) {
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result =
        context.session.Reader().GetElementAttributes(ToHostPath(path), attributes);
    if (result == Success) return true;
    std::string detail =
        result == NotFound ? "not found" : "GetElementAttributes returned " + ResultName(result);
    if (result == NotFound && !HasKey(path))
        detail += " (a plug-in cannot create buckets: create it with the provider's tools)";
    context.report.Fail({path, operation, detail, context.session.Log().LinesSince(mark)});
    return false;
}

int Info(Context& context) {
    std::string error;
    PluginInfoPtr info = context.session.Library().GetPluginInfo(error);
    if (!info) {
        context.console.Line(
            "plughost: error: " +
            (error.empty() ? std::string("GetPluginInfo returned nothing") : error));
        return ExitFailed;
    }
    auto yesNo = [](bool value) { return value ? "yes" : "no"; };
    const std::optional<std::string> endpoint = context.session.Library().Endpoint();
    std::printf("Plug-in:          %s\n", context.session.Library().Path().c_str());
    std::printf("Name:             %s\n", FromHostName(info->GetPluginName()).c_str());
    std::printf("Version:          %s\n", FromHostName(info->GetPluginVersion()).c_str());
    std::printf("Features:         %d\n", info->GetPluginFeatures());
    std::printf("File system type: %d\n", static_cast<int>(info->GetFileSystemType()));
    std::printf("Category:         %d\n", static_cast<int>(info->GetCategory()));
    std::printf("Seek supported:   %s\n", yesNo(info->IsSeekFileSupported()));
    std::printf("Move supported:   %s\n", yesNo(info->IsMoveFileSupported()));
    std::printf("Configurable:     %s\n", yesNo(info->IsConfigurable()));
    std::printf("Auth parameters:  %s\n", info->GetPluginAuthParams() ? "described" : "none");
    std::printf("Endpoint:         %s\n", endpoint ? endpoint->c_str() : "(not exported)");
    return ExitOk;
}

void PrintEntry(const std::string& name, bool isFolder, bool sizeValid, std::uint64_t size,
                bool timeValid, std::int64_t time) {
    const std::string sizeText = isFolder || !sizeValid ? "-" : std::to_string(size);
    const std::string timeText = timeValid ? FormatTime(time) : "-";
    std::printf("%c %14s  %-19s  %s%s\n", isFolder ? 'd' : '-', sizeText.c_str(), timeText.c_str(),
                name.c_str(), isFolder ? "/" : "");
}

int List(Context& context) {
    const std::string path =
        context.invocation.operands.empty() ? "" : NormalizeStoragePath(context.Operand(0));
    if (context.invocation.recursive) {
        StoredTree tree = WalkStorage(context.session.Reader(), context.session.Log(), path);
        for (Failure& failure : tree.failures) context.report.Fail(std::move(failure));
        for (const StoredEntry& entry : tree.entries)
            PrintEntry(entry.relative, entry.isFolder, entry.sizeValid, entry.size, entry.timeValid,
                       entry.modificationTime);
        return Finish(context);
    }
    const std::size_t mark = context.session.Log().Mark();
    std::list<CFileInfo> entries;
    const ResultCode result = context.session.Reader().GetListing(ToHostPath(path), entries);
    if (result != Success) {
        FailOperation(context, path.empty() ? "/" : path, "GetListing", result, mark);
        return Finish(context);
    }
    for (const CFileInfo& entry : entries)
        PrintEntry(FromHostName(entry.name), entry.IsDirectory(), entry.sizeValid, entry.size,
                   entry.timeValid, entry.modificationTime);
    return Finish(context);
}

int Stat(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "stat", attributes)) return Finish(context);
    std::printf("Path:       %s\n", path.empty() ? "/" : path.c_str());
    std::printf("Type:       %s\n", attributes.IsDirectory() ? "folder" : "file");
    if (attributes.sizeValid)
        std::printf("Size:       %llu bytes\n", static_cast<unsigned long long>(attributes.size));
    else
        std::printf("Size:       unknown\n");
    std::printf("Modified:   %s\n", attributes.timeValid
                                        ? (FormatTime(attributes.modificationTime) + " UTC").c_str()
                                        : "unknown");
    std::printf("Attributes: 0x%02x\n", static_cast<unsigned>(attributes.attributes));
    return Finish(context);
}

bool CreateFolder(Context& context, const std::string& path) {
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.session.Writer().CreateFolder(ToHostPath(path));
    if (result == Success) return true;
    FailOperation(context, path, "CreateFolder", result, mark);
    return false;
}

int MakeFolder(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    if (!context.invocation.parents) {
        CreateFolder(context, path);
        return Finish(context);
    }
    const std::vector<std::string> parts = SplitStoragePath(path);
    std::string current = parts.empty() ? "" : parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        current = JoinStoragePath(current, parts[i]);
        if (!CreateFolder(context, current)) break;
    }
    if (parts.size() < 2) CreateFolder(context, path);
    return Finish(context);
}

int Remove(Context& context, bool folder) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    const std::size_t mark = context.session.Log().Mark();
    IBackupDataWrite& writer = context.session.Writer();
    const ResultCode result =
        folder ? writer.DeleteFolder(ToHostPath(path)) : writer.DeleteFile(ToHostPath(path));
    if (result != Success)
        FailOperation(context, path, folder ? "DeleteFolder" : "DeleteFile", result, mark);
    return Finish(context);
}

int Put(Context& context) {
    const fs::path local = context.Operand(0);
    const std::string path = PutTarget(context.invocation);
    std::error_code failed;
    if (!fs::is_regular_file(local, failed)) {
        context.report.Fail({local.string(), "put", "not a regular file", {}});
        return Finish(context);
    }
    const std::uint64_t size = fs::file_size(local, failed);
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    progress.Begin(1, size);
    progress.StartFile(path);
    std::optional<Failure> failure = transfer.Upload(context.session.Writer(), local, path);
    if (failure)
        context.report.Fail(std::move(*failure));
    else
        progress.FinishFile();
    progress.End();
    PrintSummary(context, "put", progress, 0);
    return Finish(context);
}

int Get(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "get", attributes)) return Finish(context);
    if (attributes.IsDirectory()) {
        context.report.Fail({path, "get", "is a folder (use restore for a tree)", {}});
        return Finish(context);
    }
    const std::optional<std::uint64_t> expected =
        attributes.sizeValid ? std::optional<std::uint64_t>(attributes.size) : std::nullopt;

    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    progress.Begin(1, expected.value_or(0));
    progress.StartFile(path);
    std::optional<Failure> failure;
    if (context.Operand(1) == "-") {
        StdoutSink sink;
        failure = transfer.Download(context.session.Reader(), path, expected, sink);
        std::fflush(stdout);
    } else {
        fs::path local = context.Operand(1);
        std::error_code failed;
        if (fs::is_directory(local, failed)) local /= LastComponent(path);
        FileSink sink(local);
        std::string error;
        if (!sink.Open(error)) {
            failure = Failure{local.string(), "get", error, {}};
        } else {
            failure = transfer.Download(context.session.Reader(), path, expected, sink);
            if (!failure && !sink.Commit(error))
                failure = Failure{local.string(), "get", error, {}};
        }
    }
    if (failure)
        context.report.Fail(std::move(*failure));
    else
        progress.FinishFile();
    progress.End();
    PrintSummary(context, "get", progress, 0);
    return Finish(context);
}

std::uint64_t LocalBytes(const LocalTree& tree, std::uint64_t& files) {
    std::uint64_t bytes = 0;
    files = 0;
    for (const LocalEntry& entry : tree.entries) {
        if (entry.isFolder) continue;
        bytes += entry.size;
        ++files;
    }
    return bytes;
}

int Backup(Context& context) {
    const fs::path localRoot = context.Operand(0);
    const std::string root = NormalizeStoragePath(context.Operand(1));
    std::error_code failed;
    if (!fs::is_directory(localRoot, failed)) {
        context.report.Fail({localRoot.string(), "backup", "not a folder", {}});
        return Finish(context);
    }
    const std::vector<std::string> parts = SplitStoragePath(root);
    CFileAttributes bucket;
    if (!Attributes(context, parts[0], "backup", bucket)) return Finish(context);

    LocalTree tree = ScanLocalTree(localRoot);
    for (Failure& failure : tree.failures) context.report.Fail(std::move(failure));
    for (const std::string& skipped : tree.skipped)
        context.console.Line("plughost: skipped (not a regular file or folder): " + skipped);

    // The folders leading to the backup's root, then the tree itself.
    std::string prefix = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        prefix = JoinStoragePath(prefix, parts[i]);
        CreateFolder(context, prefix);
    }
    std::uint64_t files = 0;
    const std::uint64_t bytes = LocalBytes(tree, files);
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    progress.Begin(files, bytes);
    std::uint64_t folders = 0;
    for (const LocalEntry& entry : tree.entries) {
        const std::string path = JoinStoragePath(root, entry.relative);
        if (entry.isFolder) {
            if (CreateFolder(context, path)) ++folders;
            continue;
        }
        progress.StartFile(entry.relative);
        std::optional<Failure> failure =
            transfer.Upload(context.session.Writer(), entry.full, path);
        if (failure)
            context.report.Fail(std::move(*failure));
        else
            progress.FinishFile();
    }
    progress.End();
    PrintSummary(context, "backup", progress, folders);
    return Finish(context);
}

// Downloads one stored file to a local path.
void RestoreFile(Context& context, Transfer& transfer, Progress& progress, const std::string& path,
                 const StoredEntry& entry, const fs::path& local) {
    progress.StartFile(entry.relative);
    FileSink sink(local);
    std::string error;
    if (!sink.Open(error)) {
        context.report.Fail({local.string(), "restore", error, {}});
        return;
    }
    const std::optional<std::uint64_t> expected =
        entry.sizeValid ? std::optional<std::uint64_t>(entry.size) : std::nullopt;
    std::optional<Failure> failure =
        transfer.Download(context.session.Reader(), path, expected, sink);
    if (!failure && !sink.Commit(error)) failure = Failure{local.string(), "restore", error, {}};
    if (failure) {
        context.report.Fail(std::move(*failure));
        return;
    }
    progress.FinishFile();
}

int Restore(Context& context) {
    const std::string root = NormalizeStoragePath(context.Operand(0));
    const fs::path localRoot = context.Operand(1);
    CFileAttributes attributes;
    if (!Attributes(context, root, "restore", attributes)) return Finish(context);
    std::error_code failed;
    fs::create_directories(localRoot, failed);
    if (failed) {
        context.report.Fail({localRoot.string(), "restore", failed.message(), {}});
        return Finish(context);
    }

    StoredTree tree;
    std::string base = root;
    if (attributes.IsDirectory()) {
        tree = WalkStorage(context.session.Reader(), context.session.Log(), root);
    } else {
        // A single file is restored into the folder under its own name.
        StoredEntry entry;
        entry.relative = LastComponent(root);
        entry.size = attributes.size;
        entry.sizeValid = attributes.sizeValid;
        tree.entries.push_back(entry);
        base = root.substr(0, root.size() - entry.relative.size() - 1);
    }
    for (Failure& failure : tree.failures) context.report.Fail(std::move(failure));

    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const StoredEntry& entry : tree.entries) {
        if (entry.isFolder) continue;
        ++files;
        bytes += entry.size;
    }
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    progress.Begin(files, bytes);
    std::uint64_t folders = 0;
    for (const StoredEntry& entry : tree.entries) {
        const fs::path local = localRoot / fs::path(entry.relative);
        if (entry.isFolder) {
            fs::create_directory(local, failed);
            if (failed)
                context.report.Fail({local.string(), "restore", failed.message(), {}});
            else
                ++folders;
            continue;
        }
        RestoreFile(context, transfer, progress, JoinStoragePath(base, entry.relative), entry,
                    local);
    }
    progress.End();
    PrintSummary(context, "restore", progress, folders);
    return Finish(context);
}

int Verify(Context& context) {
    const fs::path localRoot = context.Operand(0);
    const std::string root = NormalizeStoragePath(context.Operand(1));
    std::error_code failed;
    if (!fs::is_directory(localRoot, failed)) {
        context.report.Fail({localRoot.string(), "verify", "not a folder", {}});
        return Finish(context);
    }
    CFileAttributes attributes;
    if (!Attributes(context, root, "verify", attributes)) return Finish(context);

    LocalTree local = ScanLocalTree(localRoot);
    StoredTree stored = WalkStorage(context.session.Reader(), context.session.Log(), root);
    for (Failure& failure : local.failures) context.report.Fail(std::move(failure));
    for (Failure& failure : stored.failures) context.report.Fail(std::move(failure));

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

    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    progress.Begin(files, bytes);
    std::uint64_t differences = 0;
    auto differ = [&](const char* kind, const std::string& path, const std::string& detail) {
        ++differences;
        std::printf("%s: %s%s%s\n", kind, path.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        std::fflush(stdout);
    };
    for (const auto& [relative, pair] : both) {
        const LocalEntry* mine = pair.first;
        const StoredEntry* theirs = pair.second;
        if (theirs == nullptr) {
            differ("missing", relative, "in the local folder, not stored");
            continue;
        }
        if (mine == nullptr) {
            differ("extra", relative, "stored, not in the local folder");
            continue;
        }
        if (mine->isFolder != theirs->isFolder) {
            differ("type", relative,
                   mine->isFolder ? "a folder locally, a file in storage"
                                  : "a file locally, a folder in storage");
            continue;
        }
        if (mine->isFolder) continue;
        progress.StartFile(relative);
        if (theirs->sizeValid && theirs->size != mine->size) {
            differ("size", relative,
                   "local " + std::to_string(mine->size) + " bytes, stored " +
                       std::to_string(theirs->size) + " bytes");
            progress.AddBytes(theirs->size);
            progress.FinishFile();
            continue;
        }
        CompareSink sink(mine->full);
        std::string error;
        if (!sink.Open(error)) {
            context.report.Fail({mine->full.string(), "verify", error, {}});
            continue;
        }
        std::optional<Failure> failure = transfer.Download(
            context.session.Reader(), JoinStoragePath(root, relative), std::nullopt, sink);
        if (failure) {
            context.report.Fail(std::move(*failure));
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
    }
    progress.End();
    PrintSummary(
        context, "verify", progress, 0,
        std::to_string(differences) + (differences == 1 ? " difference, " : " differences, "));
    context.report.PrintList();
    return differences == 0 && context.report.Ok() ? ExitOk : ExitFailed;
}

int Dispatch(Context& context) {
    const std::string name = context.invocation.command->name;
    if (name == "info") return Info(context);
    if (name == "ls") return List(context);
    if (name == "stat") return Stat(context);
    if (name == "mkdir") return MakeFolder(context);
    if (name == "rm") return Remove(context, false);
    if (name == "rmdir") return Remove(context, true);
    if (name == "put") return Put(context);
    if (name == "get") return Get(context);
    if (name == "backup") return Backup(context);
    if (name == "restore") return Restore(context);
    if (name == "verify") return Verify(context);
    return UsageError(context.console, "unknown command '" + name + "'", nullptr);
}

}  // namespace

int RunPlughost(const std::vector<std::string>& arguments, Console& console) {
    const ParsedArguments parsed = ParseArguments(arguments);
    const Invocation& invocation = parsed.invocation;
    if (!parsed.error.empty()) return UsageError(console, parsed.error, invocation.command);
    if (invocation.help) {
        const std::string text =
            invocation.command != nullptr ? CommandHelp(*invocation.command) : GeneralHelp();
        std::fputs(text.c_str(), stdout);
        return ExitOk;
    }
    if (invocation.version) {
        std::puts("plughost 1.0");
        return ExitOk;
    }
    const std::string problem = OperandProblem(invocation);
    if (!problem.empty()) return UsageError(console, problem, invocation.command);
    try {
        int exitCode = ExitOk;
        std::string error;
        std::unique_ptr<Session> session = Session::Open(
            invocation.global, invocation.command->instance, console, exitCode, error);
        if (!session) {
            if (exitCode == ExitUsage) return UsageError(console, error, invocation.command);
            console.Line("plughost: error: " + error);
            return exitCode;
        }
        Report report(console);
        Context context{invocation, console, *session, report};
        const int result = Dispatch(context);
        std::fflush(stdout);
        return result;
    } catch (const std::exception& exception) {
        console.Line(std::string("plughost: internal error: ") + exception.what());
    }
    return ExitFailed;
}

}  // namespace plughost
