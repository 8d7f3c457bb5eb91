// put and get: one file between the local file system and storage.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "CommandContext.h"
#include "CommandHandlers.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "StoredManifest.h"
#include "Transfer.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

// Where get writes: into LOCAL, or under the stored name into a folder LOCAL names (an
// existing one, or one ending in a separator, made when missing).
fs::path GetDestination(const std::string& operand, const std::string& storagePath,
                        std::string& error) {
    fs::path local = operand;
    std::error_code failed;
    const bool folder = !operand.empty() && operand.back() == '/';
    if (folder || fs::is_directory(local, failed)) local /= LastComponent(storagePath);
    if (local.has_parent_path()) fs::create_directories(local.parent_path(), failed);
    if (failed) error = "cannot create '" + local.parent_path().string() + "': " + failed.message();
    return local;
}

}  // namespace

int Put(Context& context) {
    const std::string& operand = context.Operand(0);
    const bool standardInput = operand == "-";
    const std::string path = PutTargetPath(context.Operand(1), operand);
    std::error_code failed;
    if (!standardInput && !fs::is_regular_file(operand, failed)) {
        context.report.Fail({operand, "put", "not a regular file", {}});
        return context.Finish();
    }
    // Before a byte is read: the bucket must exist, and the name must not be a folder's.
    CFileAttributes attributes;
    if (!Attributes(context, SplitStoragePath(path)[0], "put", attributes)) return context.Finish();
    // (A name stored both ways has a file that the upload replaces.)
    if (context.Storage().GetElementAttributes(ToHostPath(path), attributes) == Success &&
        attributes.IsDirectory() && !AlsoNamed(context, path, false)) {
        context.report.Fail({path,
                             "put",
                             "is a folder; to store the file in it, end the path with '/' (put " +
                                 operand + " " + path + "/)",
                             {}});
        return context.Finish();
    }
    const std::uint64_t size = standardInput ? 0 : fs::file_size(operand, failed);
    if (standardInput || size >= MultipartCandidate) RememberEarlierUploads(context, path);
    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    const Watch watch(context, progress, "put");
    progress.Begin(1, size, Direction::Upload);
    progress.StartFile(path, size);
    std::optional<Failure> failure =
        standardInput ? transfer.Upload(context.Storage(), stdin, "standard input", path)
                      : transfer.Upload(context.Storage(), operand, path);
    if (failure) {
        progress.FailFile();
        context.Fail(std::move(*failure));
    } else {
        progress.FinishFile();
        context.console.Detail("plughost: sent " + path + " (" + FormatBytes(transfer.Moved()) +
                               ")");
    }
    progress.End();
    context.console.Line(context.Summary("put", progress));
    return context.Finish();
}

int Get(Context& context) {
    const std::string path = NormalizeStoragePath(context.Operand(0));
    CFileAttributes attributes;
    if (!FileAttributes(context, path, "get", "is a folder (use restore for a tree)", attributes))
        return context.Finish();
    // A file of a backup is checked against, and given, what its manifest recorded.
    const std::string folder = path.substr(0, path.rfind('/'));
    const FoundManifest found = FindManifest(context, folder, nullptr);
    const ManifestEntry* recorded = found.Find(LastComponent(path));
    if (recorded != nullptr && recorded->type != EntryType::File) recorded = nullptr;
    std::optional<std::uint64_t> expected;
    if (recorded != nullptr)
        expected = recorded->size;
    else if (attributes.sizeValid)
        expected = attributes.size;

    Progress progress(context.console, context.invocation.global.progress);
    Transfer transfer(context.session.Log(), progress, context.invocation.global.blockSize);
    const Watch watch(context, progress, "get");
    progress.Begin(1, expected.value_or(0), Direction::Download);
    progress.StartFile(path, expected.value_or(0));
    std::optional<Failure> failure;
    // Hashed only where the manifest recorded a hash to compare with: the SHA-256 was half the
    // user time of a large download over TLS.
    Sha256 hash;
    Sha256* const check = recorded != nullptr ? &hash : nullptr;
    auto differs = [&] {
        return recorded != nullptr && hash.HexDigest() != recorded->sha256
                   ? std::optional<Failure>(Failure{path,
                                                    "get",
                                                    "the stored content is not what the backup "
                                                    "recorded (its SHA-256 differs)",
                                                    {}})
                   : std::nullopt;
    };
    if (context.Operand(1) == "-") {
        StdoutSink sink;
        failure = transfer.Download(context.Storage(), path, expected, sink, check);
        std::fflush(stdout);
        if (!failure) failure = differs();
    } else {
        std::string error;
        const fs::path local = GetDestination(context.Operand(1), path, error);
        FileSink sink(local, &context.activity);
        if (!error.empty() || !sink.Open(error)) {
            failure = Failure{local.string(), "get", error, {}};
        } else {
            failure = transfer.Download(context.Storage(), path, expected, sink, check);
            if (!failure) failure = differs();
            Metadata metadata;
            metadata.entry = recorded;
            metadata.owners = ::geteuid() == 0;
            metadata.seconds = attributes.modificationTime;
            metadata.timeKnown = recorded == nullptr && attributes.timeValid;
            if (!failure && !sink.Commit(error, &metadata))
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

}  // namespace plughost
