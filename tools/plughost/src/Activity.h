// What the command's threads are doing, as the monitor needs to know it: which plug-in calls
// are under way and since when (for the progress display and --timeout), which files are open
// for writing in the instances, and which partial download files exist. It is also the gate
// that keeps every thread out of the plug-in once the run is stopping:
// after an interruption no further call may reach the instance, least of all the CloseFile
// that would complete an upload with the data written so far.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace plughost {

// A file open for writing in the instance: its storage path, and when it was opened (seconds
// since 1970, UTC), which tells its multipart upload from older ones of the same key.
struct OpenWrite {
    std::string path;
    std::int64_t opened = 0;
    bool closing = false;  // its CloseFile is under way: the upload is being completed
};

class Activity {
  public:
    using Clock = std::chrono::steady_clock;

    // One plug-in call, from construction to destruction. When the run is stopping, the
    // constructor never returns: the thread waits for the process to end.
    class Call {
      public:
        Call(Activity& activity, const char* name);
        // A CloseFile of a file open for writing: past the gate, the upload is marked as being
        // completed, in one step, so that a stop sees it either parked or closing.
        Call(Activity& activity, const void* instance, unsigned int handle);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

      private:
        Activity& activity_;
    };

    // The call under way that began first, where several are.
    struct State {
        bool inCall = false;
        const char* name = "";
        double seconds = 0;  // how long the call has been under way
    };
    State Current() const;

    // Marks the run as stopping; false when it already was.
    bool BeginStop();
    bool Stopping() const;
    // The calling thread waits until the process ends.
    [[noreturn]] void Park();

    // Files open for writing in the instance, by handle, with their storage paths.
    // Files open for writing, by instance and handle (each instance numbers its own).
    void OpenedForWriting(const void* instance, unsigned int handle, const std::string& path);
    void Closed(const void* instance, unsigned int handle);
    bool HasOpenWrites(const void* instance) const;
    std::vector<OpenWrite> OpenWrites() const;
    // The incomplete uploads a key had before this run opened it (their ids), where they were
    // asked for: what a stop may not abort.
    void RememberEarlierUploads(const std::string& path, std::set<std::string> ids);
    std::optional<std::set<std::string>> EarlierUploads(const std::string& path) const;

    // Partial download files. Register refuses once the run is stopping; Commit renames the
    // partial file over its target unless the run is stopping (false with `error` then).
    bool RegisterPart(const std::filesystem::path& partial);
    void ForgetPart(const std::filesystem::path& partial);
    bool CommitPart(const std::filesystem::path& partial, const std::filesystem::path& target,
                    std::string& error);
    // The same, with `move` putting the partial file in place.
    bool CommitPart(const std::filesystem::path& partial,
                    const std::function<bool(std::string& error)>& move, std::string& error);
    // Deletes every registered partial file (the run is stopping); returns how many.
    std::size_t RemoveParts();

  private:
    mutable std::mutex mutex_;
    std::condition_variable never_;
    bool stopping_ = false;
    struct CallUnderWay {
        const char* name;
        Clock::time_point start;
    };
    std::map<std::thread::id, CallUnderWay> calls_;  // one per thread in a plug-in call
    std::map<std::pair<const void*, unsigned int>, OpenWrite> openWrites_;
    std::map<std::string, std::set<std::string>> earlierUploads_;
    std::set<std::filesystem::path> parts_;
};

}  // namespace plughost
