#include "Activity.h"

#include <ctime>

#include "Sinks.h"

namespace plughost {

Activity::Call::Call(Activity& activity, const char* name) : activity_(activity) {
    std::unique_lock<std::mutex> lock(activity_.mutex_);
    while (activity_.stopping_) activity_.never_.wait(lock);
    activity_.calls_[std::this_thread::get_id()] = {name, Clock::now()};
}

Activity::Call::Call(Activity& activity, const void* instance, unsigned int handle)
    : activity_(activity) {
    std::unique_lock<std::mutex> lock(activity_.mutex_);
    while (activity_.stopping_) activity_.never_.wait(lock);
    activity_.calls_[std::this_thread::get_id()] = {"CloseFile", Clock::now()};
    const auto found = activity_.openWrites_.find({instance, handle});
    if (found != activity_.openWrites_.end()) found->second.closing = true;
}

Activity::Call::~Call() {
    std::lock_guard<std::mutex> lock(activity_.mutex_);
    activity_.calls_.erase(std::this_thread::get_id());
}

Activity::State Activity::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    State state;
    const CallUnderWay* first = nullptr;
    for (const auto& [thread, call] : calls_)
        if (first == nullptr || call.start < first->start) first = &call;
    if (first == nullptr) return state;
    state.inCall = true;
    state.name = first->name;
    state.seconds = std::chrono::duration<double>(Clock::now() - first->start).count();
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

void Activity::OpenedForWriting(const void* instance, unsigned int handle,
                                const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    openWrites_[{instance, handle}] = {path, static_cast<std::int64_t>(std::time(nullptr))};
}

void Activity::Closed(const void* instance, unsigned int handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    openWrites_.erase({instance, handle});
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

bool Activity::HasOpenWrites(const void* instance) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, write] : openWrites_)
        if (key.first == instance) return true;
    return false;
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
