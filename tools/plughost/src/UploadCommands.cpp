// The multipart uploads that were begun and never completed or aborted. A plug-in cannot show
// them (its interface has no such notion), yet the service keeps their parts, so plughost asks
// with an S3 client of its own.
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

void ReportOpenUploads(Context& context, const std::vector<std::string>& paths, bool closing) {
    std::string error;
    std::unique_ptr<DirectClient> client = context.session.MakeDirectClient(true, error);
    for (const std::string& path : paths) {
        context.console.Line(
            closing ? "plughost: '" + path +
                          "' was being completed when the run stopped: it may or may not be stored"
                    : "plughost: the upload of '" + path +
                          "' was not completed: nothing of it is stored under that name");
        const Scope scope = ScopeOf(path);
        std::vector<IncompleteUpload> uploads;
        RequestError failure;
        if (!client || !client->ListUploads(scope.bucket, scope.key, uploads, failure)) {
            const std::string why =
                client ? DescribeRequestError(failure, context.session.Endpoint()) : error;
            context.console.Line(
                "plughost: whether the service keeps an incomplete upload of it is "
                "not known (" +
                why + "); look with: " + context.CommandPrefix() + " uploads s3://" + path);
            continue;
        }
        for (const IncompleteUpload& upload : uploads) {
            if (upload.key != scope.key) continue;
            context.console.Line("plughost: the service keeps its incomplete multipart upload " +
                                 upload.uploadId + " (begun " + FormatTime(upload.initiated) +
                                 " UTC); remove it with: " + context.CommandPrefix() +
                                 " abort-uploads --upload-id " + upload.uploadId + " s3://" + path);
        }
    }
}

}  // namespace plughost
