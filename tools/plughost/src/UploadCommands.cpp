// The multipart uploads that were begun and never completed or aborted. A plug-in cannot show
// them (its interface has no such notion), yet the service keeps their parts, so plughost asks
// with an S3 client of its own.
#include <algorithm>
#include <cstdio>

#include "CommandContext.h"
#include "Commands.h"
#include "DirectClient.h"
#include "StoragePath.h"

namespace plughost {

namespace {

struct Scope {
    std::string bucket;
    std::string key;  // "" for the whole bucket
};

Scope ScopeOf(const std::string& path) {
    const std::string normalized = NormalizeStoragePath(path);
    const std::string::size_type slash = normalized.find('/');
    if (slash == std::string::npos) return {normalized, ""};
    return {normalized.substr(0, slash), normalized.substr(slash + 1)};
}

// The key itself, or a key in the folder it names.
bool InScope(const Scope& scope, const std::string& key) {
    if (scope.key.empty()) return true;
    return key == scope.key || key.compare(0, scope.key.size() + 1, scope.key + "/") == 0;
}

// The uploads under the scope; false with the failure reported.
bool Find(Context& context, DirectClient& client, const Scope& scope,
          std::vector<IncompleteUpload>& uploads, const std::string& operation) {
    RequestError error;
    std::vector<IncompleteUpload> all;
    if (!client.ListUploads(scope.bucket, scope.key, all, error)) {
        context.report.Fail({scope.key.empty() ? scope.bucket : scope.bucket + "/" + scope.key,
                             operation,
                             DescribeRequestError(error, context.session.Endpoint()),
                             {}});
        return false;
    }
    for (const IncompleteUpload& upload : all)
        if (InScope(scope, upload.key)) uploads.push_back(upload);
    return true;
}

std::unique_ptr<DirectClient> Client(Context& context, bool quick, const std::string& operation) {
    std::string error;
    std::unique_ptr<DirectClient> client = context.session.MakeDirectClient(quick, error);
    if (!client) context.report.Fail({context.Operand(0), operation, error, {}});
    return client;
}

}  // namespace

int ListUploads(Context& context) {
    const Scope scope = ScopeOf(context.Operand(0));
    std::unique_ptr<DirectClient> client = Client(context, false, "uploads");
    std::vector<IncompleteUpload> uploads;
    if (!client || !Find(context, *client, scope, uploads, "uploads")) return context.Finish();
    for (const IncompleteUpload& upload : uploads)
        std::printf("%s  %s  %s\n", FormatTime(upload.initiated).c_str(), upload.uploadId.c_str(),
                    JoinStoragePath(scope.bucket, upload.key).c_str());
    std::fflush(stdout);
    context.console.Line(
        "plughost: uploads: " + Count(uploads.size(), "incomplete upload", "incomplete uploads") +
        " under '" + NormalizeStoragePath(context.Operand(0)) + "'");
    return context.Finish();
}

int AbortUploads(Context& context) {
    const Scope scope = ScopeOf(context.Operand(0));
    std::unique_ptr<DirectClient> client = Client(context, false, "abort-uploads");
    std::vector<IncompleteUpload> uploads;
    if (!client || !Find(context, *client, scope, uploads, "abort-uploads"))
        return context.Finish();
    const std::string& only = context.invocation.uploadId;
    std::uint64_t aborted = 0;
    for (const IncompleteUpload& upload : uploads) {
        if (!only.empty() && upload.uploadId != only) continue;
        const std::string path = JoinStoragePath(scope.bucket, upload.key);
        RequestError error;
        if (!client->Abort(scope.bucket, upload.key, upload.uploadId, error)) {
            context.report.Fail({path,
                                 "abort of upload " + upload.uploadId,
                                 DescribeRequestError(error, context.session.Endpoint()),
                                 {}});
            continue;
        }
        ++aborted;
        context.console.Line("plughost: aborted the upload of '" + path + "' (upload id " +
                             upload.uploadId + ", begun " + FormatTime(upload.initiated) + " UTC)");
    }
    if (!only.empty() && aborted == 0 && context.report.Ok())
        context.report.Fail({NormalizeStoragePath(context.Operand(0)),
                             "abort-uploads",
                             "no incomplete upload with id " + only,
                             {}});
    context.console.Line("plughost: abort-uploads: " + Count(aborted, "upload", "uploads") +
                         " aborted, " + Count(context.report.Count(), "failure", "failures"));
    return context.Finish();
}

namespace {

// How far the service's clock may be behind ours when telling this run's upload of a key from
// one begun earlier.
constexpr std::int64_t ClockSkew = 300;

std::vector<IncompleteUpload> OfKey(std::vector<IncompleteUpload> uploads, const std::string& key) {
    uploads.erase(std::remove_if(uploads.begin(), uploads.end(),
                                 [&](const IncompleteUpload& upload) { return upload.key != key; }),
                  uploads.end());
    return uploads;
}

}  // namespace

void RememberEarlierUploads(Context& context, const std::string& path) {
    // Asked from every thread that moves files; one client serves them in turn.
    std::lock_guard<std::recursive_mutex> lock(context.serial);
    std::string error;
    if (!context.direct) context.direct = context.session.MakeDirectClient(false, error);
    if (!context.direct) return;
    const Scope scope = ScopeOf(path);
    std::vector<IncompleteUpload> uploads;
    RequestError failure;
    // Unknown, the stop goes by the uploads' start times instead.
    if (!context.direct->ListUploads(scope.bucket, scope.key, uploads, failure)) return;
    std::set<std::string> ids;
    for (const IncompleteUpload& upload : OfKey(uploads, scope.key)) ids.insert(upload.uploadId);
    context.activity.RememberEarlierUploads(path, std::move(ids));
}

void ReportOpenUploads(Context& context, const std::vector<OpenWrite>& writes) {
    std::string error;
    std::unique_ptr<DirectClient> client = context.session.MakeDirectClient(true, error);
    for (const OpenWrite& write : writes) {
        const std::string& path = write.path;
        const bool closing = write.closing;
        const Scope scope = ScopeOf(path);
        const std::string look = context.CommandPrefix() + " uploads s3://" + path;
        context.console.Line(
            closing ? "plughost: '" + path +
                          "' was being completed when the run stopped: it may or may not be stored"
                    : "plughost: the upload of '" + path +
                          "' was not completed: nothing of it is stored under that name");
        std::vector<IncompleteUpload> uploads;
        RequestError failure;
        if (!client || !client->ListUploads(scope.bucket, scope.key, uploads, failure)) {
            const std::string why =
                client ? DescribeRequestError(failure, context.session.Endpoint()) : error;
            context.console.Line(
                "plughost: whether the service keeps an incomplete upload of it "
                "is not known (" +
                why + "); look with: " + look);
            continue;
        }
        // This run's upload is aborted, unless its completion was under way: the service may be
        // joining its parts, and the object may yet appear.
        const std::optional<std::set<std::string>> earlier = context.activity.EarlierUploads(path);
        auto ours = [&](const IncompleteUpload& upload) {
            return earlier ? earlier->count(upload.uploadId) == 0
                           : upload.initiated >= write.opened - ClockSkew;
        };
        bool abortFailed = false;
        for (const IncompleteUpload& upload : OfKey(uploads, scope.key)) {
            if (closing || !ours(upload)) continue;
            if (!client->Abort(scope.bucket, upload.key, upload.uploadId, failure)) {
                abortFailed = true;
                context.console.Line(
                    "plughost: could not abort its incomplete upload " + upload.uploadId + " (" +
                    DescribeRequestError(failure, context.session.Endpoint()) + ")");
            }
        }
        std::vector<IncompleteUpload> left;
        if (!client->ListUploads(scope.bucket, scope.key, left, failure)) {
            context.console.Line("plughost: whether its incomplete upload is gone is not known (" +
                                 DescribeRequestError(failure, context.session.Endpoint()) +
                                 "); look with: " + look);
            continue;
        }
        left = OfKey(std::move(left), scope.key);
        if (left.empty()) {
            if (!closing) context.console.Line("plughost: no incomplete upload of it is left");
            continue;
        }
        for (const IncompleteUpload& upload : left) {
            const bool ours = upload.initiated >= write.opened - ClockSkew;
            context.console.Line(
                "plughost: the service keeps " + std::string(ours ? "its" : "an earlier") +
                " incomplete multipart upload " + upload.uploadId + " (begun " +
                FormatTime(upload.initiated) + " UTC)" +
                (ours && (abortFailed || closing)
                     ? "; remove it with: " + context.CommandPrefix() +
                           " abort-uploads --upload-id " + upload.uploadId + " s3://" + path
                     : ""));
        }
    }
}

}  // namespace plughost
