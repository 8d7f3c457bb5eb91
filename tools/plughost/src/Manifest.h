// What the plug-ins cannot keep: each entry's mode, modification time and content hash. A
// backup stores them as one text object, the manifest, in the folder it backs up to; a
// restore applies them, a verify checks the stored contents against them, and the next backup
// compares the local tree with them to send only what changed.
//
// The format, one entry per line after the header, fields separated by one tab:
//
//   plughost-manifest 1
//   f	0644	23	1700000000.123456789	<64 hex digits>	docs/notes.txt
//   d	0755	0	1700000000.000000000	-	docs
//
// type ('f' file, 'd' folder), permission bits in octal, size in bytes, modification time as
// seconds.nanoseconds since 1970 (UTC), SHA-256 of the content in lower-case hex ('-' for a
// folder), and the path relative to the backup's root with '/' separators, in which '%', tab,
// line feed, carriage return and the other control characters are written as %XX.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace plughost {

// The name of the manifest object in the backup's root folder.
constexpr char ManifestName[] = ".plughost-manifest";

struct ManifestEntry {
    std::string path;
    bool isFolder = false;
    unsigned mode = 0;  // permission bits, 07777 at most
    std::uint64_t size = 0;
    std::int64_t seconds = 0;  // modification time
    std::uint32_t nanoseconds = 0;
    std::string sha256;  // empty for a folder
};

class Manifest {
  public:
    void Add(ManifestEntry entry);
    const ManifestEntry* Find(const std::string& path) const;
    const std::map<std::string, ManifestEntry>& Entries() const { return entries_; }
    bool Empty() const { return entries_.empty(); }

    std::string Format() const;
    // Reads `text` into `manifest`; returns "line N: what is wrong", or "" when it is whole.
    static std::string Parse(const std::string& text, Manifest& manifest);

  private:
    std::map<std::string, ManifestEntry> entries_;
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

// The SHA-256 of a local file; nullopt with `error` set when it cannot be read.
std::optional<std::string> HashFile(const std::filesystem::path& path, std::string& error);

}  // namespace plughost
