// The host's table of files opened through a storage instance.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

namespace FileAccessMode {
enum ID : std::int32_t {
    Read = 0,
    Write = 1,
};
}  // namespace FileAccessMode

// Base class of everything an instance keeps for one open handle.
class OpenedFile {
  public:
    explicit OpenedFile(const FileAccessMode::ID& mode);
    virtual ~OpenedFile();

    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    FileAccessMode::ID GetMode() const { return mode_; }

  private:
    FileAccessMode::ID mode_;
};

// Handle table of one storage instance. `add` takes ownership of a heap-allocated file and
// returns a handle that no live entry uses; destroying the table releases every entry.
class AllOpenedFiles {
  public:
    AllOpenedFiles();
    ~AllOpenedFiles();

    AllOpenedFiles(const AllOpenedFiles&) = delete;
    AllOpenedFiles& operator=(const AllOpenedFiles&) = delete;

    unsigned int add(OpenedFile* file);

    std::map<unsigned int, std::shared_ptr<OpenedFile>> files;

  private:
    unsigned int nextHandle_;
};
