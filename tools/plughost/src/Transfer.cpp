#include "Transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "StoragePath.h"

namespace plughost {

namespace {

// A handle that is closed when its owner leaves without closing it (after the plug-in failed,
// when closing only ends what the plug-in already gave up), so the instance keeps no file open
// behind the tool's back, unless the owner abandons it: an upload whose data cannot all be
// read must not be closed, as closing would store what was written so far.
class OpenHandle {
  public:
    OpenHandle(Instance& instance, unsigned int handle) : instance_(instance), handle_(handle) {}
    ~OpenHandle() {
        if (open_) instance_.CloseFile(handle_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;

    unsigned int Get() const { return handle_; }
    ResultCode Close() {
        open_ = false;
        return instance_.CloseFile(handle_);
    }
    void Abandon() { open_ = false; }

  private:
    Instance& instance_;
    unsigned int handle_;
    bool open_ = true;
};

// A plug-in that answers Success without delivering bytes this many times in a row is taken
// to be stuck rather than slow.
constexpr int MaxEmptyReads = 16;

// The local file in host-sized blocks, read into the transfer's one buffer. Reading costs the
// kernel's copy into that buffer, but a buffer used again and again stays mapped, where a
// mapped window of the file has every page mapped anew and touched for the first time; on a
// virtual machine that first touch is what a large upload spent most of its time on.
class LocalReader {
  public:
    LocalReader(std::FILE* file, std::vector<unsigned char>& buffer)
        : file_(file), buffer_(buffer) {}

    // The next block (empty at the end); false on a read error, with errno set.
    bool Next(const unsigned char*& data, std::size_t& size) {
        size = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        data = buffer_.data();
        return size > 0 || !std::ferror(file_);
    }

  private:
    std::FILE* file_;
    std::vector<unsigned char>& buffer_;
};

}  // namespace

// Where the bytes of an upload come from: a local file or memory.
class Transfer::Source {
  public:
    virtual ~Source() = default;
    // The next block (empty at the end); false on a read error, with errno set.
    virtual bool Next(const unsigned char*& data, std::size_t& size) = 0;
    virtual std::string Name() const = 0;
};

namespace {

class FileSource final : public Transfer::Source {
  public:
    FileSource(std::FILE* file, std::vector<unsigned char>& buffer, std::string name)
        : reader_(file, buffer), name_(std::move(name)) {}
    bool Next(const unsigned char*& data, std::size_t& size) override {
        return reader_.Next(data, size);
    }
    std::string Name() const override { return name_; }

  private:
    LocalReader reader_;
    std::string name_;
};

class MemorySource final : public Transfer::Source {
  public:
    MemorySource(const std::string& data, std::size_t blockSize)
        : data_(data), blockSize_(blockSize) {}
    bool Next(const unsigned char*& data, std::size_t& size) override {
        size = std::min(blockSize_, data_.size() - at_);
        data = reinterpret_cast<const unsigned char*>(data_.data()) + at_;
        at_ += size;
        return true;
    }
    std::string Name() const override { return "(memory)"; }

  private:
    const std::string& data_;
    std::size_t blockSize_;
    std::size_t at_ = 0;
};

}  // namespace

Transfer::Transfer(HostLog& log, Progress& progress, std::size_t blockSize)
    : log_(log), progress_(progress), buffer_(blockSize) {}

Failure Transfer::Make(const std::string& path, const std::string& operation, std::string detail,
                       std::size_t mark) const {
    Failure failure{path, operation, std::move(detail), log_.LinesSince(mark)};
    failure.pluginCall = true;
    return failure;
}

std::optional<Failure> Transfer::Upload(Instance& instance, const std::filesystem::path& local,
                                        const std::string& storagePath, Sha256* hash) {
    FilePtr file(std::fopen(local.c_str(), "rb"));
    if (!file)
        return Failure{
            local.string(), "upload", std::string("cannot read: ") + std::strerror(errno), {}};
    return Upload(instance, file.get(), local.string(), storagePath, hash);
}

std::optional<Failure> Transfer::Upload(Instance& instance, std::FILE* file,
                                        const std::string& name, const std::string& storagePath,
                                        Sha256* hash) {
    FileSource source(file, buffer_, name);
    return Send(instance, source, storagePath, hash);
}

std::optional<Failure> Transfer::UploadBytes(Instance& instance, const std::string& data,
                                             const std::string& storagePath) {
    MemorySource source(data, buffer_.size());
    return Send(instance, source, storagePath, nullptr);
}

std::optional<Failure> Transfer::Send(Instance& instance, Source& source,
                                      const std::string& storagePath, Sha256* hash) {
    const std::size_t mark = log_.Mark();
    unsigned int handle = 0;
    const ResultCode opened =
        instance.OpenFile(ToHostPath(storagePath), FileAccessMode::Write, handle);
    if (opened != Success)
        return Make(storagePath, "upload", "OpenFile for writing returned " + ResultName(opened),
                    mark);
    OpenHandle open(instance, handle);

    std::uint64_t offset = 0;
    moved_ = 0;
    for (;;) {
        const unsigned char* data = nullptr;
        std::size_t got = 0;
        if (!source.Next(data, got)) {
            const std::string reason = std::strerror(errno);
            open.Abandon();
            return Failure{source.Name(),
                           "upload",
                           "read error at offset " + std::to_string(offset) + ": " + reason +
                               " (the upload is left open, so that nothing partial is stored)",
                           {}};
        }
        if (got == 0) break;
        if (hash != nullptr) hash->Update(data, got);
        unsigned int size = static_cast<unsigned int>(got);
        const ResultCode written = instance.WriteFile(data, size, open.Get());
        if (written != Success)
            return Make(storagePath, "upload",
                        "WriteFile at offset " + std::to_string(offset) + " returned " +
                            ResultName(written),
                        mark);
        if (size != got) {
            // Closing would store the bytes taken so far as the whole file.
            open.Abandon();
            return Make(storagePath, "upload",
                        "WriteFile at offset " + std::to_string(offset) + " took " +
                            std::to_string(size) + " of " + std::to_string(got) + " bytes",
                        mark);
        }
        offset += got;
        progress_.AddBytes(got);
    }
    moved_ = offset;

    // Closing is where the last data goes out and the object comes into being.
    const ResultCode closed = open.Close();
    if (closed != Success)
        return Make(storagePath, "upload",
                    "CloseFile returned " + ResultName(closed) + ": the upload did not complete",
                    mark);
    return std::nullopt;
}

std::optional<Failure> Transfer::Download(Instance& instance, const std::string& storagePath,
                                          std::optional<std::uint64_t> expectedSize, ByteSink& sink,
                                          Sha256* hash) {
    const std::size_t mark = log_.Mark();
    unsigned int handle = 0;
    const ResultCode opened =
        instance.OpenFile(ToHostPath(storagePath), FileAccessMode::Read, handle);
    if (opened != Success)
        return Make(storagePath, "download", "OpenFile for reading returned " + ResultName(opened),
                    mark);
    OpenHandle open(instance, handle);

    std::uint64_t offset = 0;
    moved_ = 0;
    int emptyReads = 0;
    for (;;) {
        unsigned int size = static_cast<unsigned int>(buffer_.size());
        const ResultCode read = instance.ReadFile(buffer_.data(), size, open.Get());
        if (read != Success && read != EndOfData)
            return Make(
                storagePath, "download",
                "ReadFile at offset " + std::to_string(offset) + " returned " + ResultName(read),
                mark);
        if (size > buffer_.size())
            return Make(storagePath, "download",
                        "ReadFile claimed " + std::to_string(size) + " bytes in a block of " +
                            std::to_string(buffer_.size()),
                        mark);
        if (size > 0) {
            if (hash != nullptr) hash->Update(buffer_.data(), size);
            std::string error;
            if (!sink.Accept(buffer_.data(), size, error))
                return Failure{storagePath, "download", error, {}};
            offset += size;
            progress_.AddBytes(size);
            emptyReads = 0;
        }
        moved_ = offset;
        if (read == EndOfData) break;
        if (size == 0 && ++emptyReads >= MaxEmptyReads)
            return Make(
                storagePath, "download",
                "ReadFile keeps answering Success with no data at offset " + std::to_string(offset),
                mark);
    }

    const ResultCode closed = open.Close();
    if (closed != Success)
        return Make(storagePath, "download", "CloseFile returned " + ResultName(closed), mark);
    if (expectedSize && *expectedSize != offset)
        return Make(storagePath, "download",
                    "the listing gives " + std::to_string(*expectedSize) + " bytes, but " +
                        std::to_string(offset) + " arrived",
                    mark);
    return std::nullopt;
}

}  // namespace plughost
