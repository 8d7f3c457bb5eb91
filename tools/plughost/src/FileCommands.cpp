// put and get: one file between the local file system and storage.
#include <cstdio>
#include <filesystem>

#include "CommandContext.h"
#include "CommandHandlers.h"
#include "Sinks.h"
#include "StoragePath.h"
#include "Transfer.h"

namespace plughost {

namespace fs = std::filesystem;

int Put(Context& context) {
    const fs::path local = context.Operand(0);
    const std::string path = PutTargetPath(context.Operand(1), context.Operand(0));
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

}  // namespace plughost
