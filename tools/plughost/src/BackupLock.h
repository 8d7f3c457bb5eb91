// One backup of a storage path at a time. Two runs of one target at once (an overlapping cron
// job) would each write their own manifest, the last one winning, and one run's --delete would
// remove what the other stored. So a backup keeps a lock object in the backup's root while it
// runs, naming the host, process and start time, and a second run refuses to start while it is
// there. A lock left by a run that died is taken over once it is older than LockStaleAfter; a
// running backup renews its lock every hour, so that a long run keeps it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "CommandContext.h"
#include "Transfer.h"
#include "Tree.h"

namespace plughost {

constexpr char LockName[] = ".plughost-lock";
constexpr std::int64_t LockStaleAfter = 6 * 3600;  // seconds without renewal

// The lock's text: "plughost-lock 1", then host, pid, start and renewal times (seconds since
// 1970), a token unique to the run, and where the pid means something (the boot and the pid
// namespace: containers may share a host name), one per line.
struct LockRecord {
    std::string host;
    long pid = 0;
    std::int64_t started = 0;
    std::int64_t renewed = 0;
    std::string token;
    std::string processSpace;

    std::string Format() const;
    static bool Parse(const std::string& text, LockRecord& record);
};

class BackupLock {
  public:
    BackupLock(Context& context, std::string root);

    // Takes the lock, given the listing of the root (whose lock entry is taken out of it).
    // False with a failure reported when another run holds it, or it cannot be written.
    bool Take(StoredTree& tree);
    // Renews the lock when an hour has passed since it was written, if it is still this run's.
    void Renew();
    // Whether the stored lock is still this run's (read back); reports a failure when another
    // run has taken it over, so that this one deletes nothing.
    bool StillOurs();
    // Removes the lock if it is still this run's; a failure is reported.
    void Release();
    bool Held() const { return held_; }
    const std::string& Path() const { return path_; }

  private:
    bool Write();
    // The stored lock; nullopt when it cannot be read or makes no sense.
    std::optional<LockRecord> ReadStored(bool& unreadable);

    Context& context_;
    Progress silent_;
    Transfer transfer_;
    std::string path_;
    LockRecord record_;
    std::atomic<bool> held_{false};
    std::chrono::steady_clock::time_point written_;
};

}  // namespace plughost
