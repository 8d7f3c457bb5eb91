// mkdir, rm and rmdir: folders created and elements deleted (a folder's files side by side).
#include "CommandContext.h"
#include "CommandHandlers.h"
#include "Parallel.h"
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
    // What goes with it, to say so afterwards. Its files are deleted side by side first (over a
    // network each delete is a round trip); the folder's own call then deletes what is left: the
    // folder markers, and any name a listing does not show.
    Crew crew(context, InstanceKind::Writing);
    const StoredTree below = WalkStorage(crew, path);
    std::uint64_t folders = 0;
    std::uint64_t bytes = 0;
    std::vector<StoredDeletion> files;
    for (const StoredEntry& entry : below.entries) {
        if (entry.isFolder) {
            ++folders;
        } else {
            files.push_back({JoinStoragePath(path, entry.relative), false});
            bytes += entry.size;
        }
    }
    if (!DeleteOnCrew(crew, files, "rmdir", true, [](std::size_t) {})) return context.Finish();
    const std::size_t mark = context.session.Log().Mark();
    const ResultCode result = context.Storage().DeleteFolder(ToHostPath(path));
    if (result != Success) {
        context.FailCall(path, "rmdir", "DeleteFolder", result, mark);
        return context.Finish();
    }
    context.console.Line("plughost: removed '" + path +
                         "' and everything in it: " + Count(files.size(), "file", "files") + " (" +
                         FormatBytes(bytes) + "), " + Count(folders, "folder", "folders") +
                         (below.failures.empty() ? "" : " as far as it could be listed"));
    return context.Finish();
}

}  // namespace plughost
