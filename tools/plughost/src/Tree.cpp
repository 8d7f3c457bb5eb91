#include "Tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <list>

#include "StoragePath.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

void ScanFolder(const fs::path& folder, const std::string& relative, LocalTree& tree) {
    std::error_code failed;
    fs::directory_iterator iterator(folder, failed);
    if (failed) {
        tree.failures.push_back(
            {folder.string(), "scan", "cannot read the folder: " + failed.message(), {}});
        return;
    }
    std::vector<fs::directory_entry> children;
    for (const fs::directory_entry& child : iterator) children.push_back(child);
    std::sort(children.begin(), children.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) {
                  return a.path().filename().string() < b.path().filename().string();
              });
    for (const fs::directory_entry& child : children) {
        const std::string name = child.path().filename().string();
        const std::string path = relative.empty() ? name : relative + "/" + name;
        const std::string problem = ComponentProblem(name);
        if (!problem.empty()) {
            tree.failures.push_back({child.path().string(), "scan", problem, {}});
            continue;
        }
        struct stat status {};
        if (::lstat(child.path().c_str(), &status) != 0) {
            tree.failures.push_back({child.path().string(),
                                     "scan",
                                     std::error_code(errno, std::generic_category()).message(),
                                     {}});
            continue;
        }
        LocalEntry entry;
        entry.relative = path;
        entry.full = child.path();
        entry.mode = static_cast<unsigned>(status.st_mode & 07777);
        entry.seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
        entry.nanoseconds = static_cast<std::uint32_t>(status.st_mtim.tv_nsec);
        if (S_ISDIR(status.st_mode)) {
            entry.isFolder = true;
            tree.entries.push_back(entry);
            ScanFolder(child.path(), path, tree);
        } else if (S_ISREG(status.st_mode)) {
            entry.size = static_cast<std::uint64_t>(status.st_size);
            tree.entries.push_back(entry);
        } else {
            tree.skipped.push_back(path);
        }
    }
}

void ListFolder(Instance& instance, HostLog& log, const std::string& root,
                const std::string& relative, StoredTree& tree) {
    const std::string path = relative.empty() ? root : JoinStoragePath(root, relative);
    const std::size_t mark = log.Mark();
    std::list<CFileInfo> listing;
    const ResultCode listed = instance.GetListing(ToHostPath(path), listing);
    if (listed != Success) {
        tree.failures.push_back(
            {path, "listing", "GetListing returned " + ResultName(listed), log.LinesSince(mark)});
        return;
    }
    std::vector<std::pair<std::string, const CFileInfo*>> children;
    for (const CFileInfo& info : listing) children.emplace_back(FromHostName(info.name), &info);
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, info] : children) {
        const std::string child = relative.empty() ? name : relative + "/" + name;
        const std::string problem = ComponentProblem(name);
        if (!problem.empty()) {
            tree.failures.push_back({JoinStoragePath(path, name), "listing", problem, {}});
            continue;
        }
        StoredEntry entry;
        entry.relative = child;
        entry.isFolder = info->IsDirectory();
        entry.size = info->size;
        entry.sizeValid = info->sizeValid;
        entry.modificationTime = info->modificationTime;
        entry.timeValid = info->timeValid;
        tree.entries.push_back(entry);
        if (entry.isFolder) ListFolder(instance, log, root, child, tree);
    }
}

}  // namespace

LocalTree ScanLocalTree(const fs::path& root) {
    LocalTree tree;
    ScanFolder(root, "", tree);
    return tree;
}

StoredTree WalkStorage(Instance& instance, HostLog& log, const std::string& root) {
    StoredTree tree;
    ListFolder(instance, log, root, "", tree);
    return tree;
}

}  // namespace plughost
