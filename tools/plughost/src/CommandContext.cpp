#include "CommandContext.h"

#include <cstdio>
#include <ctime>
#include <list>

#include "Causes.h"
#include "Commands.h"
#include "StoragePath.h"

namespace plughost {

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string Quoted(const std::string& text) {
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789@%+=:,./_-") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

Watch::Watch(Context& context, Progress& progress, const std::string& verb,
             std::function<std::string()> extra)
    : monitor_(context.monitor) {
    monitor_.SetProgress(&progress);
    monitor_.SetSummary([&context, &progress, verb, extra] {
        return context.Summary(verb + " (stopped)", progress, extra ? extra() : "");
    });
}

Watch::~Watch() {
    monitor_.SetSummary({});
    monitor_.SetProgress(nullptr);
}

// The attributes of a storage path; reports a failure and returns false when there are none.
bool Attributes(Context& context, const std::string& path, const std::string& operation,
                CFileAttributes& attributes) {
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.Storage().GetElementAttributes(ToHostPath(path), attributes);
    if (result == Success) return true;
    std::string detail;
    if (result == NotFound) {
        detail = "not found";
        if (!HasKey(path))
            detail += " (a plug-in cannot create buckets: create it with the provider's tools)";
    } else if (HasKey(path) && context.session.Log().LinesSince(mark).empty() &&
               context.session.CreationCause().empty() &&
               context.BucketExists(SplitStoragePath(path)[0]).value_or(false)) {
        // Without a word from the plug-in, in a bucket that is there: a folder on the way is
        // missing, so the path is not there either.
        detail = "not found";
        for (std::string parent = path.substr(0, path.rfind('/')); HasKey(parent);
             parent = parent.substr(0, parent.rfind('/'))) {
            CFileAttributes ignored;
            if (context.Storage().GetElementAttributes(ToHostPath(parent), ignored) == Success)
                break;
            detail = "not found (there is no folder '" + parent + "')";
        }
    }
    if (detail.empty()) {
        context.FailCall(path, operation, "GetElementAttributes", result, mark);
        return false;
    }
    context.report.Fail({path, operation, detail, context.session.Log().LinesSince(mark)});
    return false;
}

std::optional<CFileAttributes> AlsoNamed(Context& context, const std::string& path, bool folder) {
    if (!HasKey(path)) return std::nullopt;
    std::list<CFileInfo> entries;
    if (context.Storage().GetListing(ToHostPath(path.substr(0, path.rfind('/'))), entries) !=
        Success)
        return std::nullopt;
    const std::string name = LastComponent(path);
    for (const CFileInfo& entry : entries)
        if (entry.IsDirectory() == folder && FromHostName(entry.name) == name) return entry;
    return std::nullopt;
}

bool FileAttributes(Context& context, const std::string& path, const std::string& operation,
                    const std::string& asFolder, CFileAttributes& attributes) {
    if (!Attributes(context, path, operation, attributes)) return false;
    if (!attributes.IsDirectory()) return true;
    const std::optional<CFileAttributes> file = AlsoNamed(context, path, false);
    if (!file) {
        context.report.Fail({path, operation, asFolder, {}});
        return false;
    }
    attributes = *file;
    return true;
}

bool IsLocalFolder(Context& context, const std::filesystem::path& path, const char* operation) {
    std::error_code failed;
    if (std::filesystem::is_directory(path, failed)) return true;
    context.report.Fail({path.string(), operation, "not a folder", {}});
    return false;
}

bool CreateFolder(Context& context, const std::string& path) {
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.Storage().CreateFolder(ToHostPath(path));
    if (result == Success) return true;
    context.FailCall(path, "CreateFolder", "CreateFolder", result, mark);
    return false;
}

std::string Count(std::uint64_t number, const char* singular, const char* plural) {
    return std::to_string(number) + " " + (number == 1 ? singular : plural);
}

std::string FormatTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

void Context::Fail(Failure failure, Instance* via) {
    std::lock_guard<std::recursive_mutex> lock(serial);
    std::string cause = DescribeLoggedCause(failure.logLines, session.Endpoint());
    if (cause.empty() && failure.pluginCall && !session.CreationCause().empty())
        cause = "the bucket list could not be read: " + session.CreationCause();
    if (cause.empty() && failure.pluginCall && !failure.path.empty() && failure.path != "/") {
        // The plug-in says nothing when a bucket is not there; the root listing tells.
        const std::string bucket = SplitStoragePath(NormalizeStoragePath(failure.path)).at(0);
        if (!BucketExists(bucket, via).value_or(true))
            cause = "bucket '" + bucket + "' not found at " +
                    (session.Endpoint().url.empty() ? session.Endpoint().source
                                                    : session.Endpoint().url);
    }
    if (!cause.empty()) failure.detail = cause + "; " + failure.detail;
    report.Fail(std::move(failure));
}

std::optional<bool> Context::BucketExists(const std::string& bucket, Instance* via) {
    std::lock_guard<std::recursive_mutex> lock(serial);
    if (!buckets) {
        std::list<CFileInfo> entries;
        if ((via != nullptr ? *via : Storage()).GetListing(L"", entries) != Success)
            return std::nullopt;
        buckets.emplace();
        for (const CFileInfo& entry : entries) buckets->insert(FromHostName(entry.name));
    }
    return buckets->count(bucket) != 0;
}

void Context::FailCall(const std::string& path, const std::string& operation, const char* call,
                       ResultCode result, std::size_t mark) {
    Failure failure{path, operation, std::string(call) + " returned " + ResultName(result),
                    session.Log().LinesSince(mark)};
    failure.pluginCall = true;
    Fail(std::move(failure));
}

int Context::Finish() {
    report.PrintList();
    return report.Ok() ? ExitOk : ExitFailed;
}

std::string Context::Summary(const std::string& verb, const Progress& progress,
                             const std::string& extra) const {
    const double seconds = progress.ElapsedSeconds();
    const std::uint64_t failures = report.Count();
    const std::uint64_t bytes = progress.DoneBytes();
    const std::uint64_t folders = progress.Folders();
    std::string line =
        "plughost: " + verb + ": " + Count(progress.DoneFiles(), "file", "files") + ", ";
    if (folders > 0) line += Count(folders, "folder", "folders") + ", ";
    line += FormatBytes(bytes) + " in " + Seconds(seconds) + " (" + FormatRate(bytes, seconds) +
            "), " + extra + Count(failures, "failure", "failures");
    return line;
}

std::string Context::CommandPrefix() const {
    const GlobalOptions& global = invocation.global;
    std::string text = "plughost -P " + Quoted(global.plugin);
    if (!global.parametersFile.empty()) text += " --params " + Quoted(global.parametersFile);
    for (const std::string& assignment : global.parameters) {
        const std::string key = assignment.substr(0, assignment.find('='));
        const std::string value = assignment.find('=') == std::string::npos
                                      ? ""
                                      : assignment.substr(assignment.find('=') + 1);
        if (ParameterSet::HoldsSecret(key) && value.compare(0, 5, "@env:") != 0)
            text += " -p " + Quoted(key + "=SECRET");
        else
            text += " -p " + Quoted(assignment);
    }
    if (global.endpoint) text += " --endpoint " + Quoted(*global.endpoint);
    return text;
}

}  // namespace plughost
