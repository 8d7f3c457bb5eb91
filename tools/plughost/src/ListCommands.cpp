// ls and stat: what the instance lists and what it says of one element.
#include <cstdio>
#include <list>

#include "CommandContext.h"
#include "CommandHandlers.h"
#include "StoragePath.h"
#include "Tree.h"

namespace plughost {

namespace {

void PrintEntry(const std::string& name, bool isFolder, bool sizeValid, std::uint64_t size,
                bool timeValid, std::int64_t time) {
    const std::string sizeText = isFolder || !sizeValid ? "-" : FormatBytes(size);
    const std::string timeText = timeValid ? FormatTime(time) : "-";
    std::printf("%c %10s  %-19s  %s%s\n", isFolder ? 'd' : '-', sizeText.c_str(), timeText.c_str(),
                name.c_str(), isFolder ? "/" : "");
}

void PrintAttributes(const std::string& path, const CFileAttributes& attributes);

}  // namespace

int List(Context& context) {
    const std::string path =
        context.invocation.operands.empty() ? "" : NormalizeStoragePath(context.Operand(0));
    if (context.invocation.recursive) {
        StoredTree tree = WalkStorage(context.Storage(), context.session.Log(), path);
        for (Failure& failure : tree.failures) context.Fail(std::move(failure));
        for (const std::string& note : HiddenNotes(path, tree)) context.console.Note(note);
        for (const StoredEntry& entry : tree.entries)
            PrintEntry(entry.relative, entry.isFolder, entry.sizeValid, entry.size, entry.timeValid,
                       entry.modificationTime);
        return context.Finish();
    }
    const std::size_t mark = context.session.Log().Mark();
    std::list<CFileInfo> entries;
    const ResultCode result = context.Storage().GetListing(ToHostPath(path), entries);
    if (result != Success) {
        // The plug-in says nothing when the path is no folder: a file is listed as itself, as
        // `ls FILE` does, and a path that is not there is said to be missing.
        CFileAttributes attributes;
        if (HasKey(path) && context.session.Log().LinesSince(mark).empty()) {
            const ResultCode found =
                context.Storage().GetElementAttributes(ToHostPath(path), attributes);
            if (found == Success && !attributes.IsDirectory()) {
                PrintEntry(LastComponent(path), false, attributes.sizeValid, attributes.size,
                           attributes.timeValid, attributes.modificationTime);
                return context.Finish();
            }
            if (found == NotFound ||
                (found != Success &&
                 context.BucketExists(SplitStoragePath(path)[0]).value_or(false))) {
                context.report.Fail({path, "listing", "not found", {}});
                return context.Finish();
            }
        }
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
    PrintAttributes(path, attributes);
    // A name stored both as a file and as a folder is shown both ways.
    const std::optional<CFileAttributes> other =
        AlsoNamed(context, path, !attributes.IsDirectory());
    if (other) {
        std::printf("\n");
        PrintAttributes(path, *other);
    }
    return context.Finish();
}

namespace {
void PrintAttributes(const std::string& path, const CFileAttributes& attributes) {
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
}
}  // namespace

}  // namespace plughost
