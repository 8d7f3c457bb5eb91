#include "Sinks.h"

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

FileSink::FileSink(std::filesystem::path target, Activity* activity)
    : target_(std::move(target)),
      partial_(target_.parent_path() / ("." + target_.filename().string() + ".plughost-part")),
      activity_(activity) {}

FileSink::~FileSink() {
    if (committed_ || direct_) return;
    file_.reset();
    std::error_code ignored;
    std::filesystem::remove(partial_, ignored);
    if (activity_ != nullptr) activity_->ForgetPart(partial_);
}

bool FileSink::Open(std::string& error) {
    // A device or a pipe (/dev/null, a fifo) is written as it is: renaming a file over it
    // would replace it.
    std::error_code ignored;
    const auto status = std::filesystem::status(target_, ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        if (std::filesystem::is_directory(status)) {
            error = "'" + target_.string() + "' is a folder";
            return false;
        }
        direct_ = true;
        file_.reset(std::fopen(target_.c_str(), "wb"));
        if (!file_) {
            error = SystemError("cannot open", target_);
            return false;
        }
        return true;
    }
    if (activity_ != nullptr && !activity_->RegisterPart(partial_)) {
        error = "interrupted";
        return false;
    }
    file_.reset(std::fopen(partial_.c_str(), "wb"));
    if (!file_) {
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

bool FileSink::Commit(std::string& error) {
    if (std::fclose(file_.release()) != 0) {
        error = SystemError("cannot write", direct_ ? target_ : partial_);
        return false;
    }
    if (direct_) return true;
    if (activity_ != nullptr ? !activity_->CommitPart(partial_, target_, error)
                             : !MoveInto(partial_, target_, error))
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
