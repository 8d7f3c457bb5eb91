// The folder a restore writes into, reached without ever following a symbolic link below it:
// every path is opened one component at a time relative to the folder above (O_NOFOLLOW), so a
// link placed in the target beforehand, or restored by this run, cannot lead a file outside.
// Modes, owners and times are applied to open descriptors for the same reason.
#pragma once

#include <filesystem>
#include <string>

#include "Manifest.h"

namespace plughost {

// A file descriptor with one owner.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_ = -1;
};

// What to apply to a restored entry, and whether owners are restored at all (only as root).
struct Metadata {
    const ManifestEntry* entry = nullptr;  // mode, owner and time; null: only `seconds`
    std::int64_t seconds = 0;              // without an entry: the listed modification time
    bool timeKnown = false;
    bool owners = false;
};

// Owner (by name where the name exists here, else by number), then mode, then times, on an open
// descriptor: chown clears the setuid bit, so the mode comes after it. False with `error` set.
bool ApplyMetadata(int fd, const Metadata& metadata, std::string& error);

class LocalTarget {
  public:
    // Opens (creating it when missing) the target folder itself, which may be reached through
    // a link the operator named.
    bool Open(const std::filesystem::path& root, std::string& error);

    // The folder `relative` below the target ("" for the target itself), each component opened
    // without following links; with `create`, missing ones are made. Invalid with `error` set.
    UniqueFd OpenFolder(const std::string& relative, bool create, std::string& error) const;

    // Creates the symbolic link `relative` holding `target`, replacing a file or link of that
    // name (never a folder), with its owner and time.
    bool MakeLink(const std::string& relative, const ManifestEntry& entry, bool owners,
                  std::string& error) const;

    const std::filesystem::path& Root() const { return root_; }

  private:
    std::filesystem::path root_;
    UniqueFd fd_;
};

// The folder part and the name of a relative path ("a/b/c" -> "a/b", "c").
std::pair<std::string, std::string> SplitRelative(const std::string& relative);

}  // namespace plughost
