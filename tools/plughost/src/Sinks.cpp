#include "Sinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "Activity.h"

namespace plughost {

namespace {
std::string SystemError(const std::string& what, const std::filesystem::path& path) {
    return what + " '" + path.string() + "': " + std::strerror(errno);
}
}  // namespace

bool MoveInto(const std::filesystem::path& partial, const std::filesystem::path& target,
              std::string& error) {
    std::error_code failed;
    std::filesystem::rename(partial, target, failed);
    if (!failed) return true;
    error = "cannot rename '" + partial.string() + "' to '" + target.string() +
            "': " + failed.message();
    return false;
}

namespace {
std::string PartialName() {
    static std::atomic<unsigned> sequence{0};
    return ".plughost-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence) + ".part";
}
}  // namespace

FileSink::FileSink(std::filesystem::path target, Activity* activity)
    : target_(std::move(target)),
      name_(target_.filename().string()),
      activity_(activity),
      followLinks_(true) {}

FileSink::FileSink(UniqueFd folder, std::string name, std::filesystem::path target,
                   Activity* activity)
    : target_(std::move(target)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      activity_(activity),
      followLinks_(false) {}

FileSink::~FileSink() {
    if (committed_ || direct_ || partialName_.empty()) return;
    file_.reset();
    ::unlinkat(folder_.Get(), partialName_.c_str(), 0);
    if (activity_ != nullptr) activity_->ForgetPart(partial_);
}

bool FileSink::Open(std::string& error) {
    if (!folder_.Valid()) {
        const std::filesystem::path parent =
            target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
        folder_ = UniqueFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_.Valid()) {
            error = SystemError("cannot open the folder", parent);
            return false;
        }
    }
    struct stat status {};
    if (::fstatat(folder_.Get(), name_.c_str(), &status, followLinks_ ? 0 : AT_SYMLINK_NOFOLLOW) ==
        0) {
        if (S_ISDIR(status.st_mode)) {
            error = "'" + target_.string() + "' is a folder";
            return false;
        }
        // A device or a pipe is written as it is: renaming a file over it would replace it.
        if (followLinks_ && !S_ISREG(status.st_mode)) {
            direct_ = true;
            const int fd = ::openat(folder_.Get(), name_.c_str(), O_WRONLY | O_CLOEXEC);
            file_.reset(fd < 0 ? nullptr : ::fdopen(fd, "wb"));
            if (!file_) {
                if (fd >= 0) ::close(fd);
                error = SystemError("cannot open", target_);
                return false;
            }
            return true;
        }
    }
    partialName_ = PartialName();
    partial_ = target_.parent_path() / partialName_;
    if (activity_ != nullptr && !activity_->RegisterPart(partial_)) {
        partialName_.clear();
        error = "interrupted";
        return false;
    }
    const int fd = ::openat(folder_.Get(), partialName_.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    file_.reset(fd < 0 ? nullptr : ::fdopen(fd, "wb"));
    if (!file_) {
        if (fd >= 0) ::close(fd);
        error = SystemError("cannot create", partial_);
        return false;
    }
    return true;
}

bool FileSink::Accept(const unsigned char* data, std::size_t size, std::string& error) {
    if (std::fwrite(data, 1, size, file_.get()) != size) {
        error = SystemError("cannot write", direct_ ? target_ : partial_);
        return false;
    }
    return true;
}

bool FileSink::Commit(std::string& error, const Metadata* metadata) {
    if (std::fflush(file_.get()) != 0) {
        error = SystemError("cannot write", direct_ ? target_ : partial_);
        return false;
    }
    if (!direct_ && metadata != nullptr && !ApplyMetadata(fileno(file_.get()), *metadata, error)) {
        error = target_.string() + ": " + error;
        return false;
    }
    if (std::fclose(file_.release()) != 0) {
        error = SystemError("cannot write", direct_ ? target_ : partial_);
        return false;
    }
    if (direct_) return true;
    auto move = [this](std::string& failure) {
        if (::renameat(folder_.Get(), partialName_.c_str(), folder_.Get(), name_.c_str()) == 0)
            return true;
        failure = SystemError("cannot rename '" + partial_.string() + "' to", target_);
        return false;
    };
    if (activity_ != nullptr ? !activity_->CommitPart(partial_, move, error) : !move(error))
        return false;
    committed_ = true;
    return true;
}

bool MemorySink::Accept(const unsigned char* data, std::size_t size, std::string& error) {
    if (data_.size() + size > limit_) {
        error = "larger than the " + std::to_string(limit_) + " bytes expected";
        return false;
    }
    data_.append(reinterpret_cast<const char*>(data), size);
    return true;
}

bool StdoutSink::Accept(const unsigned char* data, std::size_t size, std::string& error) {
    if (std::fwrite(data, 1, size, stdout) != size) {
        error = std::string("cannot write to standard output: ") + std::strerror(errno);
        return false;
    }
    return true;
}

CompareSink::CompareSink(std::filesystem::path local) : local_(std::move(local)) {}

bool CompareSink::Open(std::string& error) {
    file_.reset(std::fopen(local_.c_str(), "rb"));
    if (!file_) {
        error = SystemError("cannot read", local_);
        return false;
    }
    return true;
}

bool CompareSink::Accept(const unsigned char* data, std::size_t size, std::string& error) {
    if (storedLonger_) {
        offset_ += size;
        return true;
    }
    block_.resize(size);
    const std::size_t got = std::fread(block_.data(), 1, size, file_.get());
    if (got < size && std::ferror(file_.get())) {
        error = SystemError("cannot read", local_);
        return false;
    }
    if (firstDifference_ < 0) {
        for (std::size_t i = 0; i < got; ++i) {
            if (block_[i] != data[i]) {
                firstDifference_ = static_cast<std::int64_t>(offset_ + i);
                break;
            }
        }
    }
    if (got < size) storedLonger_ = true;
    offset_ += size;
    return true;
}

void CompareSink::Finish() {
    if (storedLonger_) return;
    localLonger_ = std::fgetc(file_.get()) != EOF;
}

}  // namespace plughost
