#include "Commands.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <list>

#include "Arguments.h"
#include "CommandContext.h"
#include "CommandTable.h"
#include "Probe.h"
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

int UsageError(Console& console, const std::string& message, const CommandSpec* command) {
    console.Line("plughost: " + message);
    if (command != nullptr) console.Line(UsageLine(*command));
    console.Line(std::string("Try 'plughost ") + (command != nullptr ? command->name : "") +
                 (command != nullptr ? " " : "") + "--help' for more information.");
    return ExitUsage;
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
    } else if (name == "get" || name == "restore" || name == "rm" || name == "rmdir") {
        index = 0;
        needKey = name != "restore";
    } else if (name == "backup" || name == "verify") {
        index = 1;
    } else if (name == "uploads" || name == "abort-uploads") {
        index = 0;
    }
    if (index < 0) return "";
    const std::string& operand = invocation.operands.at(index);
    if (path.empty()) path = NormalizeStoragePath(operand);
    if (path.empty() || (needKey && !HasKey(path)))
        return name + ": '" + operand + "' must name " +
               (needKey ? (name == "rmdir" ? "a folder below a bucket (a plug-in cannot delete "
                                             "buckets)"
                                           : "a file below a bucket")
                        : "a bucket or a folder in one");
    return "";
}

const char* FileSystemMeaning(std::int32_t type) {
    return type == 3 ? "object storage" : "unknown";
}
const char* CategoryMeaning(std::int32_t category) {
    return category == 4 ? "cloud storage" : "unknown";
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
    const int features = info->GetPluginFeatures();
    const std::int32_t type = info->GetFileSystemType();
    const std::int32_t category = info->GetCategory();
    std::printf("Plug-in:          %s\n", context.session.Library().Path().c_str());
    std::printf("Name:             %s\n", FromHostName(info->GetPluginName()).c_str());
    std::printf("Version:          %s\n", FromHostName(info->GetPluginVersion()).c_str());
    std::printf("Features:         %d (%s)\n", features,
                features == 0 ? "no optional host features" : "host feature bits");
    std::printf("File system type: %d (%s)\n", static_cast<int>(type), FileSystemMeaning(type));
    std::printf("Category:         %d (%s)\n", static_cast<int>(category),
                CategoryMeaning(category));
    std::printf("Seek supported:   %s\n", yesNo(info->IsSeekFileSupported()));
    std::printf("Move supported:   %s\n", yesNo(info->IsMoveFileSupported()));
    std::printf("Configurable:     %s\n", yesNo(info->IsConfigurable()));
    std::printf("Auth parameters:  %s\n", info->GetPluginAuthParams() ? "described" : "none");
    std::printf("Endpoint:         %s\n", endpoint ? endpoint->c_str() : "(not exported)");
    const KnownPlugin* known = FindKnownPlugin(FromHostName(info->GetPluginName()));
    if (known == nullptr) {
        std::printf("Parameters:       not known to plughost\n");
        return ExitOk;
    }
    std::printf("Parameters (read in this order):\n");
    for (const ParameterInfo& parameter : known->parameters)
        std::printf("  %-16s %-9s %s\n", parameter.key,
                    parameter.required ? "required" : "optional", parameter.meaning);
    std::string where;
    switch (known->endpoint) {
        case EndpointSource::ServerNameParameter:
            where = "the ServerName parameter";
            break;
        case EndpointSource::Fixed:
            where = "the host built into the plug-in, " +
                    ResolveEndpoint(*known, context.session.Parameters(), std::nullopt).configured;
            break;
        case EndpointSource::Exported:
            where = "the exported Endpoint (--endpoint); without http:// or https://, HTTPS";
            break;
        case EndpointSource::AwsRegional:
            where = "the SDK's endpoint of each bucket's region (AWS_ENDPOINT_URL_S3 moves it)";
            break;
    }
    std::printf("Requests go to:   %s\n", where.c_str());
    return ExitOk;
}

void PrintEntry(const std::string& name, bool isFolder, bool sizeValid, std::uint64_t size,
                bool timeValid, std::int64_t time) {
    const std::string sizeText = isFolder || !sizeValid ? "-" : FormatBytes(size);
    const std::string timeText = timeValid ? FormatTime(time) : "-";
    std::printf("%c %10s  %-19s  %s%s\n", isFolder ? 'd' : '-', sizeText.c_str(), timeText.c_str(),
                name.c_str(), isFolder ? "/" : "");
}

int List(Context& context) {
    const std::string path =
        context.invocation.operands.empty() ? "" : NormalizeStoragePath(context.Operand(0));
    if (context.invocation.recursive) {
        StoredTree tree = WalkStorage(context.Storage(), context.session.Log(), path);
        for (Failure& failure : tree.failures) context.Fail(std::move(failure));
        for (const StoredEntry& entry : tree.entries)
            PrintEntry(entry.relative, entry.isFolder, entry.sizeValid, entry.size, entry.timeValid,
                       entry.modificationTime);
        return context.Finish();
    }
    const std::size_t mark = context.session.Log().Mark();
    std::list<CFileInfo> entries;
    const ResultCode result = context.Storage().GetListing(ToHostPath(path), entries);
    if (result != Success) {
        context.FailCall(path.empty() ? "/" : path, "listing", "GetListing", result, mark);
        return context.Finish();
    }
    for (const CFileInfo& entry : entries)
        PrintEntry(FromHostName(entry.name), entry.IsDirectory(), entry.sizeValid, entry.size,
                   entry.timeValid, entry.modificationTime);
    return context.Finish();
}

int Stat(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "stat", attributes)) return context.Finish();
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
    return context.Finish();
}

int MakeFolder(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    if (!context.invocation.parents) {
        CreateFolder(context, path);
        return context.Finish();
    }
    const std::vector<std::string> parts = SplitStoragePath(path);
    std::string current = parts.empty() ? "" : parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        current = JoinStoragePath(current, parts[i]);
        if (!CreateFolder(context, current)) break;
    }
    if (parts.size() < 2) CreateFolder(context, path);
    return context.Finish();
}

int RemoveFile(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "rm", attributes)) return context.Finish();
    if (attributes.IsDirectory()) {
        context.report.Fail({path, "rm", "is a folder (use rmdir)", {}});
        return context.Finish();
    }
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.Storage().DeleteFile(ToHostPath(path));
    if (result != Success) {
        context.FailCall(path, "rm", "DeleteFile", result, mark);
        return context.Finish();
    }
    context.console.Line("plughost: removed '" + path + "'" +
                         (attributes.sizeValid ? " (" + FormatBytes(attributes.size) + ")" : ""));
    return context.Finish();
}

int RemoveFolder(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "rmdir", attributes)) return context.Finish();
    if (!attributes.IsDirectory()) {
        context.report.Fail({path, "rmdir", "is a file (use rm)", {}});
        return context.Finish();
    }
    // What goes with it, to say so afterwards.
    const StoredTree below = WalkStorage(context.Storage(), context.session.Log(), path);
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t bytes = 0;
    for (const StoredEntry& entry : below.entries) {
        if (entry.isFolder) {
            ++folders;
        } else {
            ++files;
            bytes += entry.size;
        }
    }
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.Storage().DeleteFolder(ToHostPath(path));
    if (result != Success) {
        context.FailCall(path, "rmdir", "DeleteFolder", result, mark);
        return context.Finish();
    }
    context.console.Line("plughost: removed '" + path +
                         "' and everything in it: " + Count(files, "file", "files") + " (" +
                         FormatBytes(bytes) + "), " + Count(folders, "folder", "folders") +
                         (below.failures.empty() ? "" : " as far as it could be listed"));
    return context.Finish();
}

int Put(Context& context) {
    const fs::path local = context.Operand(0);
    const std::string path = PutTarget(context.invocation);
    std::error_code failed;
    if (!fs::is_regular_file(local, failed)) {
        context.report.Fail({local.string(), "put", "not a regular file", {}});
        return context.Finish();
    }
    const std::uint64_t size = fs::file_size(local, failed);
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    const Watch watch(context, progress, "put");
    progress.Begin(1, size, Direction::Upload);
    progress.StartFile(path, size);
    std::optional<Failure> failure = transfer.Upload(context.Storage(), local, path);
    if (failure) {
        progress.FailFile();
        context.Fail(std::move(*failure));
    } else {
        progress.FinishFile();
        context.console.Detail("plughost: sent " + path + " (" + FormatBytes(size) + ")");
    }
    progress.End();
    context.console.Line(context.Summary("put", progress));
    return context.Finish();
}

int Get(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!Attributes(context, path, "get", attributes)) return context.Finish();
    if (attributes.IsDirectory()) {
        context.report.Fail({path, "get", "is a folder (use restore for a tree)", {}});
        return context.Finish();
    }
    const std::optional<std::uint64_t> expected =
        attributes.sizeValid ? std::optional<std::uint64_t>(attributes.size) : std::nullopt;

    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    const Watch watch(context, progress, "get");
    progress.Begin(1, expected.value_or(0), Direction::Download);
    progress.StartFile(path, expected.value_or(0));
    std::optional<Failure> failure;
    if (context.Operand(1) == "-") {
        StdoutSink sink;
        failure = transfer.Download(context.Storage(), path, expected, sink);
        std::fflush(stdout);
    } else {
        fs::path local = context.Operand(1);
        std::error_code failed;
        if (fs::is_directory(local, failed)) local /= LastComponent(path);
        FileSink sink(local, &context.activity);
        std::string error;
        if (!sink.Open(error)) {
            failure = Failure{local.string(), "get", error, {}};
        } else {
            failure = transfer.Download(context.Storage(), path, expected, sink);
            if (!failure && !sink.Commit(error))
                failure = Failure{local.string(), "get", error, {}};
        }
    }
    if (failure) {
        progress.FailFile();
        context.Fail(std::move(*failure));
    } else {
        progress.FinishFile();
    }
    progress.End();
    context.console.Line(context.Summary("get", progress));
    return context.Finish();
}

int Dispatch(Context& context) {
    const std::string name = context.invocation.command->name;
    if (name == "info") return Info(context);
    if (name == "ls") return List(context);
    if (name == "stat") return Stat(context);
    if (name == "mkdir") return MakeFolder(context);
    if (name == "rm") return RemoveFile(context);
    if (name == "rmdir") return RemoveFolder(context);
    if (name == "put") return Put(context);
    if (name == "get") return Get(context);
    if (name == "backup") return Backup(context);
    if (name == "restore") return Restore(context);
    if (name == "verify") return Verify(context);
    if (name == "uploads") return ListUploads(context);
    if (name == "abort-uploads") return AbortUploads(context);
    return UsageError(context.console, "unknown command '" + name + "'", nullptr);
}

// The cause named when --timeout gives up: the call, the endpoint, and what a connection
// attempt of plughost's own finds there.
std::string TimeoutCause(const Session& session, double seconds, const char* call) {
    const EndpointFacts& endpoint = session.Endpoint();
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", seconds);
    std::string where = endpoint.url.empty() ? endpoint.source : endpoint.url;
    std::string text =
        std::string("timeout: ") + call + " moved no data for " + limit + " s at " + where;
    const std::string probe = ProbeEndpoint(endpoint.url);
    if (!probe.empty()) text += " (" + probe + ")";
    return text + "; giving up as --timeout " + limit + " asks";
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
        std::puts("plughost 1.1");
        return ExitOk;
    }
    console.SetVerbosity(invocation.global.quiet     ? Verbosity::Quiet
                         : invocation.global.verbose ? Verbosity::Verbose
                                                     : Verbosity::Normal);
    const std::string problem = OperandProblem(invocation);
    if (!problem.empty()) return UsageError(console, problem, invocation.command);
    try {
        Activity activity;
        Monitor monitor(console, activity, invocation.global.timeout);
        monitor.Start();
        int exitCode = ExitOk;
        std::string error;
        std::unique_ptr<Session> session = Session::Open(
            invocation.global, invocation.command->instance, console, activity, exitCode, error);
        if (!session) {
            if (exitCode == ExitUsage) return UsageError(console, error, invocation.command);
            console.Line("plughost: error: " + error);
            return exitCode;
        }
        Report report(console);
        Context context{invocation, console, *session, report, monitor, activity, std::nullopt};
        monitor.SetTimeoutCause([&session](double seconds, const char* call) {
            return TimeoutCause(*session, seconds, call);
        });
        monitor.SetUploadReport([&context](const std::vector<std::string>& paths, bool closing) {
            ReportOpenUploads(context, paths, closing);
        });
        int result = ExitFailed;
        if (session->CreateInstance(invocation.command->instance, error)) {
            result = Dispatch(context);
        } else {
            console.Line("plughost: error: " + error);
        }
        std::fflush(stdout);
        // Taken away before what they use goes; waits here if a stop is under way.
        monitor.SetUploadReport({});
        monitor.SetTimeoutCause({});
        return result;
    } catch (const std::exception& exception) {
        console.Line(std::string("plughost: internal error: ") + exception.what());
    }
    return ExitFailed;
}

}  // namespace plughost
