#include "LocalTarget.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace plughost {

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// By name where the name exists here (the reentrant look-ups: files are restored on several
// threads), else by number.
uid_t UserId(const Owner& owner) {
    if (!owner.user.empty()) {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwnam_r(owner.user.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr)
            return found->pw_uid;
    }
    return owner.uid;
}

gid_t GroupId(const Owner& owner) {
    if (!owner.group.empty()) {
        group entry{};
        group* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getgrnam_r(owner.group.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr)
            return found->gr_gid;
    }
    return owner.gid;
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

bool ApplyMetadata(int fd, const Metadata& metadata, std::string& error) {
    const ManifestEntry* entry = metadata.entry;
    if (entry != nullptr && metadata.owners && entry->owner.known &&
        ::fchown(fd, UserId(entry->owner), GroupId(entry->owner)) != 0) {
        error = SystemError("cannot set the owner");
        return false;
    }
    if (entry != nullptr && ::fchmod(fd, static_cast<mode_t>(entry->mode)) != 0) {
        error = SystemError("cannot set the mode");
        return false;
    }
    if (entry == nullptr && !metadata.timeKnown) return true;
    const timespec times[2] = {
        {0, UTIME_OMIT},
        entry != nullptr
            ? timespec{static_cast<time_t>(entry->seconds), static_cast<long>(entry->nanoseconds)}
            : timespec{static_cast<time_t>(metadata.seconds), 0}};
    if (::futimens(fd, times) != 0) {
        error = SystemError("cannot set the modification time");
        return false;
    }
    return true;
}

std::pair<std::string, std::string> SplitRelative(const std::string& relative) {
    const std::string::size_type slash = relative.rfind('/');
    if (slash == std::string::npos) return {"", relative};
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

bool LocalTarget::Open(const std::filesystem::path& root, std::string& error) {
    std::error_code failed;
    std::filesystem::create_directories(root, failed);
    if (failed) {
        error = failed.message();
        return false;
    }
    root_ = root;
    fd_ = UniqueFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd_.Valid()) {
        error = SystemError("cannot open the folder");
        return false;
    }
    return true;
}

UniqueFd LocalTarget::OpenFolder(const std::string& relative, bool create,
                                 std::string& error) const {
    UniqueFd current(::dup(fd_.Get()));
    std::string walked;
    std::string::size_type start = 0;
    while (start < relative.size()) {
        std::string::size_type end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string name = relative.substr(start, end - start);
        if (name.empty() || name == "." || name == "..") {
            error = "'" + relative + "' leads out of the target folder: not restored";
            return UniqueFd();
        }
        walked += (walked.empty() ? "" : "/") + name;
        start = end + 1;
        int fd =
            ::openat(current.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.Get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                error = SystemError("cannot create '" + (root_ / walked).string() + "'");
                return UniqueFd();
            }
            fd = ::openat(current.Get(), name.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            struct stat status {};
            const bool link =
                (errno == ELOOP || errno == ENOTDIR) &&
                ::fstatat(current.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(status.st_mode);
            error = link
                        ? "'" + (root_ / walked).string() +
                              "' is a symbolic link, which a restore never follows"
                        : SystemError("cannot open the folder '" + (root_ / walked).string() + "'");
            return UniqueFd();
        }
        current = UniqueFd(fd);
    }
    return current;
}

bool LocalTarget::MakeLink(const std::string& relative, const ManifestEntry& entry, bool owners,
                           std::string& error) const {
    const auto [folderPath, name] = SplitRelative(relative);
    if (name.empty() || name == "." || name == "..") {
        error = "'" + relative + "' leads out of the target folder: not restored";
        return false;
    }
    const UniqueFd folder = OpenFolder(folderPath, true, error);
    if (!folder.Valid()) return false;
    struct stat status {};
    if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(status.st_mode)) {
        error = "a folder is in the way";
        return false;
    }
    // Made under a temporary name and renamed over whatever file or link is there.
    const std::string temporary = ".plughost-" + std::to_string(::getpid()) + ".link";
    ::unlinkat(folder.Get(), temporary.c_str(), 0);
    if (::symlinkat(entry.linkTarget.c_str(), folder.Get(), temporary.c_str()) != 0) {
        error = SystemError("cannot create the link");
        return false;
    }
    if (owners && entry.owner.known &&
        ::fchownat(folder.Get(), temporary.c_str(), UserId(entry.owner), GroupId(entry.owner),
                   AT_SYMLINK_NOFOLLOW) != 0) {
        error = SystemError("cannot set the link's owner");
        ::unlinkat(folder.Get(), temporary.c_str(), 0);
        return false;
    }
    const timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(entry.seconds), static_cast<long>(entry.nanoseconds)}};
    if (::utimensat(folder.Get(), temporary.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::renameat(folder.Get(), temporary.c_str(), folder.Get(), name.c_str()) != 0) {
        error = SystemError("cannot put the link in place");
        ::unlinkat(folder.Get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace plughost
