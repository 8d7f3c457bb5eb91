// mkdir, rm and rmdir: folders created and elements deleted, one call each.
#include "CommandContext.h"
#include "CommandHandlers.h"
#include "StoragePath.h"
#include "Tree.h"

namespace plughost {

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
    if (!FileAttributes(context, path, "rm", "is a folder (use rmdir)", attributes))
        return context.Finish();
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
    if (!attributes.IsDirectory() && !AlsoNamed(context, path, true)) {
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

}  // namespace plughost
