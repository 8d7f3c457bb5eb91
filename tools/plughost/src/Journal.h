// The local record of what a backup has stored so far, so that a run ended by SIGKILL, a crash
// or a power cut, which writes no manifest, is resumed rather than sent again. One file per
// endpoint and storage path under $XDG_STATE_HOME/plughost/ (default ~/.local/state/plughost/);
// each stored file is appended as a manifest line and handed to the kernel at once (a crash or
// SIGKILL loses none), and the file is flushed to disk with the first entry five seconds after
// the last flush and at the end (a power cut loses what came since the last flush). A
// rerun takes an entry only where the stored object's size agrees with it; the journal is
// removed once a manifest holds everything it recorded.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Manifest.h"
#include "Sinks.h"

namespace plughost {

class Journal {
  public:
    // The journal's file for backups of `storagePath` through `endpoint`.
    static std::filesystem::path PathFor(const std::string& endpoint,
                                         const std::string& storagePath);

    explicit Journal(std::filesystem::path path);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Reads the entries of an earlier run (a torn last line is ignored) into `recorded`.
    void Read(Manifest& recorded) const;
    // Starts a new journal holding `carried` (entries of an earlier run still to be recorded);
    // false with `error` set when the file cannot be written (the backup goes on without).
    bool Begin(const Manifest& carried, std::string& error);
    void Append(const ManifestEntry& entry);
    // Flushes what was appended to disk.
    void Sync();
    // The manifest holds everything: the journal goes.
    void Remove();

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
    FilePtr file_;
    std::chrono::steady_clock::time_point lastSync_;
};

}  // namespace plughost
