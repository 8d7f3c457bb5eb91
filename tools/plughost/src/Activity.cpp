#include "Activity.h"

#include <ctime>

#include "Sinks.h"

namespace plughost {

Activity::Call::Call(Activity& activity, const char* name) : activity_(activity) {
    std::unique_lock<std::mutex> lock(activity_.mutex_);
    while (activity_.stopping_) activity_.never_.wait(lock);
    activity_.inCall_ = true;
    activity_.callName_ = name;
    activity_.callStart_ = Clock::now();
}

Activity::Call::~Call() {
    std::lock_guard<std::mutex> lock(activity_.mutex_);
    activity_.inCall_ = false;
}

Activity::State Activity::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    State state;
    state.inCall = inCall_;
    state.name = callName_;
    if (inCall_) state.seconds = std::chrono::duration<double>(Clock::now() - callStart_).count();
    return state;
}

bool Activity::BeginStop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    stopping_ = true;
    return true;
}

bool Activity::Stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void Activity::Park() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) never_.wait(lock);
}

void Activity::OpenedForWriting(unsigned int handle, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    openWrites_[handle] = {path, static_cast<std::int64_t>(std::time(nullptr))};
}

void Activity::Closed(unsigned int handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    openWrites_.erase(handle);
}

void Activity::RememberEarlierUploads(const std::string& path, std::set<std::string> ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    earlierUploads_[path] = std::move(ids);
}

std::optional<std::set<std::string>> Activity::EarlierUploads(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = earlierUploads_.find(path);
    if (found == earlierUploads_.end()) return std::nullopt;
    return found->second;
}

std::vector<OpenWrite> Activity::OpenWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<OpenWrite> writes;
    for (const auto& [handle, write] : openWrites_) writes.push_back(write);
    return writes;
}

bool Activity::RegisterPart(const std::filesystem::path& partial) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    parts_.insert(partial);
    return true;
}

void Activity::ForgetPart(const std::filesystem::path& partial) {
    std::lock_guard<std::mutex> lock(mutex_);
    parts_.erase(partial);
}

bool Activity::CommitPart(const std::filesystem::path& partial, const std::filesystem::path& target,
                          std::string& error) {
    return CommitPart(
        partial, [&](std::string& failure) { return MoveInto(partial, target, failure); }, error);
}

bool Activity::CommitPart(const std::filesystem::path& partial,
                          const std::function<bool(std::string& error)>& move, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        error = "interrupted";
        return false;
    }
    if (!move(error)) return false;
    parts_.erase(partial);
    return true;
}

std::size_t Activity::RemoveParts() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t removed = 0;
    for (const std::filesystem::path& partial : parts_) {
        std::error_code ignored;
        if (std::filesystem::remove(partial, ignored)) ++removed;
    }
    parts_.clear();
    return removed;
}

}  // namespace plughost
