// What the plug-ins cannot keep: each entry's type, mode, owner, modification time and content
// hash, and the symbolic links, for which nothing is stored. A backup stores them as one text
// object, the manifest, in the folder it backs up to; a restore applies them, a verify checks
// the stored contents against them, and the next backup compares the local tree with them to
// send only what changed.
//
// Version 2, written now: a header, a state line, then one entry per line, fields separated
// by one tab:
//
//   plughost-manifest 2
//   state	complete
//   f	0644	23	1700000000.123456789	<64 hex digits>	1000	1000	ann	staff
//   docs/a.txt d	0755	0	1700000000.000000000	-	0	0 root	root
//   docs l	0777	0	1700000000.000000000	-	1000	1000	ann staff
//   ../a.txt	docs/latest
//
// type ('f' file, 'd' folder, 'l' symbolic link), permission bits in octal, size in bytes,
// modification time as seconds.nanoseconds since 1970 (UTC), SHA-256 of the content in
// lower-case hex ('-' but for a file), owner and group numbers, owner and group names ('-'
// when the number has no name here), the link's target (empty but for a link), and the path
// relative to the backup's root with '/' separators. In the names, the target and the path,
// '%', tab, line feed, carriage return and the other control characters are written as %XX.
// The state is "complete" when the backup ran to its end, "partial" when it was stopped or
// could not read all of the tree: such a manifest lists what is stored and known to be whole.
//
// Version 1 (still read) has no state line (its backups always ran to the end) and six
// fields: type ('f' or 'd'), mode, size, time, SHA-256 and path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace plughost {

// The name of the manifest object in the backup's root folder.
constexpr char ManifestName[] = ".plughost-manifest";

enum class EntryType { File, Folder, Link };

// Who owns an entry; the names are empty where the number has none.
struct Owner {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::string user;
    std::string group;
    bool known = false;  // false in a version-1 manifest
};

struct ManifestEntry {
    std::string path;
    EntryType type = EntryType::File;
    unsigned mode = 0;  // permission bits, 07777 at most
    std::uint64_t size = 0;
    std::int64_t seconds = 0;  // modification time
    std::uint32_t nanoseconds = 0;
    std::string sha256;  // empty but for a file
    Owner owner;
    std::string linkTarget;  // a symbolic link's target
};

class Manifest {
  public:
    void Add(ManifestEntry entry);
    const ManifestEntry* Find(const std::string& path) const;
    const std::map<std::string, ManifestEntry>& Entries() const { return entries_; }
    bool Empty() const { return entries_.empty(); }
    // Whether the backup that wrote it ran to its end.
    bool Complete() const { return complete_; }
    void SetComplete(bool complete) { complete_ = complete; }

    std::string Format() const;
    // Reads `text` into `manifest`; returns "line N: what is wrong", or "" when it is whole.
    static std::string Parse(const std::string& text, Manifest& manifest);
    // One entry as a line of the current version (with its line feed), and back (without).
    static std::string FormatEntry(const ManifestEntry& entry);
    static std::string ParseEntry(const std::string& line, ManifestEntry& entry);

  private:
    std::map<std::string, ManifestEntry> entries_;
    bool complete_ = true;
};

// SHA-256 over data given in pieces.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest in lower-case hex; the object is spent afterwards.
    std::string HexDigest();

  private:
    void* context_;
};

// What a backup that did not run cleanly to its end (stopped, or with a failure) records:
// the entries of this run, and every entry of the previous manifest that this run did not
// replace, since such a run deleted nothing and its object is still stored as the previous
// backup left it. The result is marked partial.
Manifest MergeManifests(const Manifest& previous, const Manifest& run);

// The SHA-256 of a local file; nullopt with `error` set when it cannot be read.
std::optional<std::string> HashFile(const std::filesystem::path& path, std::string& error);

}  // namespace plughost
