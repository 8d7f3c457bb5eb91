// Where the bytes of a download go: a local file, standard output, or a comparison with a
// local file that keeps nothing but one block in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LocalTarget.h"

namespace plughost {

class Activity;

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Takes the next bytes. Returns false with `error` set when they cannot be taken.
    virtual bool Accept(const unsigned char* data, std::size_t size, std::string& error) = 0;
};

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Renames `partial` over `target`; false with `error` set when that fails.
bool MoveInto(const std::filesystem::path& partial, const std::filesystem::path& target,
              std::string& error);

// Writes into a hidden file with a short name (".plughost-PID-N.part", so that a target name of
// 255 bytes still has one) beside the target and renames it over the target at Commit, so that
// a failed download never leaves a truncated file under the real name. With an `activity`, the
// partial file is registered there, so that an interrupted run can remove it.
class FileSink final : public ByteSink {
  public:
    // `target` as the operator named it (get): its folder is opened by path, and a device or a
    // pipe there (/dev/null, a fifo), or a link to one, is written as it is.
    explicit FileSink(std::filesystem::path target, Activity* activity = nullptr);
    // `name` in the open `folder` (restore), shown as `target`; a link of that name is
    // replaced, never followed.
    FileSink(UniqueFd folder, std::string name, std::filesystem::path target, Activity* activity);
    ~FileSink() override;

    bool Open(std::string& error);
    bool Accept(const unsigned char* data, std::size_t size, std::string& error) override;
    // Puts the file in place, with `metadata` applied to it first where given.
    bool Commit(std::string& error, const Metadata* metadata = nullptr);

    const std::filesystem::path& Target() const { return target_; }

  private:
    std::filesystem::path target_;
    UniqueFd folder_;
    std::string name_;
    std::string partialName_;
    std::filesystem::path partial_;  // for the activity and messages
    Activity* activity_;
    bool followLinks_;
    FilePtr file_;
    bool committed_ = false;
    bool direct_ = false;  // the target is no regular file and is written as it is
};

// Keeps the bytes in memory, up to a limit (a small object such as the manifest).
class MemorySink final : public ByteSink {
  public:
    explicit MemorySink(std::size_t limit) : limit_(limit) {}
    bool Accept(const unsigned char* data, std::size_t size, std::string& error) override;
    const std::string& Data() const { return data_; }

  private:
    std::size_t limit_;
    std::string data_;
};

class StdoutSink final : public ByteSink {
  public:
    bool Accept(const unsigned char* data, std::size_t size, std::string& error) override;
};

// Compares the stored bytes with a local file as they arrive.
class CompareSink final : public ByteSink {
  public:
    explicit CompareSink(std::filesystem::path local);

    bool Open(std::string& error);
    bool Accept(const unsigned char* data, std::size_t size, std::string& error) override;
    // After the last block: whether the local file has bytes that the stored one lacks.
    void Finish();

    bool Differs() const { return firstDifference_ >= 0 || storedLonger_ || localLonger_; }
    // Offset of the first byte that differs, -1 when the bytes they share are equal.
    std::int64_t FirstDifference() const { return firstDifference_; }
    bool StoredLonger() const { return storedLonger_; }
    bool LocalLonger() const { return localLonger_; }
    std::uint64_t StoredBytes() const { return offset_; }

  private:
    std::filesystem::path local_;
    FilePtr file_;
    std::vector<unsigned char> block_;
    std::uint64_t offset_ = 0;
    std::int64_t firstDifference_ = -1;
    bool storedLonger_ = false;
    bool localLonger_ = false;
};

}  // namespace plughost
