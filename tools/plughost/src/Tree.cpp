#include "Tree.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <list>
#include <map>
#include <regex>

#include "StoragePath.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

// The names of owners and groups, each looked up once per scan.
class OwnerNames {
  public:
    Owner Of(uid_t uid, gid_t gid) {
        Owner owner;
        owner.uid = uid;
        owner.gid = gid;
        owner.known = true;
        auto user = users_.find(uid);
        if (user == users_.end()) {
            const passwd* entry = ::getpwuid(uid);
            user = users_.emplace(uid, entry != nullptr ? entry->pw_name : "").first;
        }
        auto group = groups_.find(gid);
        if (group == groups_.end()) {
            const struct group* entry = ::getgrgid(gid);
            group = groups_.emplace(gid, entry != nullptr ? entry->gr_name : "").first;
        }
        owner.user = user->second;
        owner.group = group->second;
        return owner;
    }

  private:
    std::map<uid_t, std::string> users_;
    std::map<gid_t, std::string> groups_;
};

std::string ReadLinkTarget(const fs::path& path, std::size_t size) {
    std::string target(size == 0 ? 4096 : size + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return "";
    target.resize(static_cast<std::size_t>(length));
    return target;
}

void ScanFolder(const fs::path& folder, const std::string& relative, OwnerNames& names,
                LocalTree& tree) {
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
        entry.owner = names.Of(status.st_uid, status.st_gid);
        if (S_ISDIR(status.st_mode)) {
            entry.type = EntryType::Folder;
            tree.entries.push_back(entry);
            ScanFolder(child.path(), path, names, tree);
        } else if (S_ISLNK(status.st_mode)) {
            // Kept as what it says, never followed: it may point anywhere, or nowhere.
            entry.type = EntryType::Link;
            entry.linkTarget =
                ReadLinkTarget(child.path(), static_cast<std::size_t>(status.st_size));
            if (entry.linkTarget.empty()) {
                tree.failures.push_back(
                    {child.path().string(),
                     "scan",
                     "cannot read the symbolic link: " +
                         std::error_code(errno, std::generic_category()).message(),
                     {}});
                continue;
            }
            tree.entries.push_back(entry);
        } else if (S_ISREG(status.st_mode)) {
            entry.size = static_cast<std::uint64_t>(status.st_size);
            tree.entries.push_back(entry);
        } else {
            tree.skipped.push_back(path);
        }
    }
}

}  // namespace

LocalTree ScanLocalTree(const fs::path& root) {
    LocalTree tree;
    OwnerNames names;
    ScanFolder(root, "", names, tree);
    return tree;
}

bool TakeEntry(StoredTree& tree, const std::string& relative) {
    const auto found = std::find_if(
        tree.entries.begin(), tree.entries.end(),
        [&](const StoredEntry& entry) { return !entry.isFolder && entry.relative == relative; });
    if (found == tree.entries.end()) return false;
    tree.entries.erase(found);
    return true;
}

FolderListing ListStoredFolder(Instance& instance, HostLog& log, const std::string& root,
                               const std::string& relative) {
    FolderListing result;
    const std::string path = relative.empty() ? root : JoinStoragePath(root, relative);
    const std::size_t mark = log.Mark();
    std::list<CFileInfo> listing;
    const ResultCode listed = instance.GetListing(ToHostPath(path), listing);
    if (listed != Success) {
        result.failures.push_back(
            {path, "listing", "GetListing returned " + ResultName(listed), log.LinesSince(mark)});
        return result;
    }
    for (const CFileInfo& info : listing) {
        const std::string name = FromHostName(info.name);
        const std::string problem = ComponentProblem(name);
        if (!problem.empty()) {
            result.failures.push_back({JoinStoragePath(path, name), "listing", problem, {}});
            continue;
        }
        StoredEntry entry;
        entry.relative = relative.empty() ? name : relative + "/" + name;
        entry.isFolder = info.IsDirectory();
        entry.size = info.size;
        entry.sizeValid = info.sizeValid;
        entry.modificationTime = info.modificationTime;
        entry.timeValid = info.timeValid;
        result.entries.push_back(std::move(entry));
    }
    // The plug-in logs what it leaves out of a folder's listing when it first lists it.
    static const std::regex notShown(": ([0-9]{1,18}) entries not shown");
    for (const std::string& line : log.LinesSince(mark)) {
        std::smatch count;
        if (std::regex_search(line, count, notShown)) result.hidden += std::stoull(count[1]);
    }
    std::sort(result.entries.begin(), result.entries.end(),
              [](const StoredEntry& a, const StoredEntry& b) { return a.relative < b.relative; });
    return result;
}

StoredTree WalkLevels(const ListLevel& listLevel) {
    // The folders of each depth are listed together; the tree is then put in its order (each
    // folder before its contents, names in byte order), failures where the serial walk meets
    // them.
    std::map<std::string, FolderListing> listed;
    std::vector<std::string> level{""};
    while (!level.empty()) {
        std::vector<FolderListing> listings(level.size());
        listLevel(level, listings);
        std::vector<std::string> next;
        for (std::size_t i = 0; i < level.size(); ++i) {
            for (const StoredEntry& entry : listings[i].entries)
                if (entry.isFolder) next.push_back(entry.relative);
            listed.emplace(level[i], std::move(listings[i]));
        }
        level = std::move(next);
    }
    StoredTree tree;
    // The name by value: it lies in `tree.entries`, which grows below.
    const std::function<void(std::string)> emit = [&](std::string relative) {
        FolderListing& folder = listed[relative];
        for (Failure& failure : folder.failures) tree.failures.push_back(std::move(failure));
        if (folder.hidden > 0) tree.hidden.emplace_back(relative, folder.hidden);
        for (StoredEntry& entry : folder.entries) {
            const bool isFolder = entry.isFolder;
            tree.entries.push_back(std::move(entry));
            if (isFolder) emit(tree.entries.back().relative);
        }
    };
    emit("");
    return tree;
}

std::vector<std::string> HiddenNotes(const std::string& root, const StoredTree& tree) {
    std::vector<std::string> notes;
    for (const auto& [relative, count] : tree.hidden)
        notes.push_back("plughost: note: '" +
                        (relative.empty() ? root : JoinStoragePath(root, relative)) +
                        "': " + std::to_string(count) +
                        (count == 1 ? " stored object is" : " stored objects are") +
                        " not shown by the plug-in (a name that is empty, '.' or '..', or holds "
                        "'\\', is no host's file name), and left out here");
    return notes;
}

StoredTree WalkStorage(Instance& instance, HostLog& log, const std::string& root) {
    return WalkLevels(
        [&](const std::vector<std::string>& folders, std::vector<FolderListing>& listings) {
            for (std::size_t i = 0; i < folders.size(); ++i)
                listings[i] = ListStoredFolder(instance, log, root, folders[i]);
        });
}

}  // namespace plughost
