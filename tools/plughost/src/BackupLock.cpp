#include "BackupLock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

#include "Sinks.h"
#include "StoragePath.h"

namespace plughost {

namespace {

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string HostName() {
    char host[256] = "";
    ::gethostname(host, sizeof host - 1);
    return host;
}

// The boot and the pid namespace of this process: a pid names the same process only where
// both agree.
std::string ProcessSpace() {
    std::string boot;
    std::getline(std::ifstream("/proc/sys/kernel/random/boot_id"), boot);
    char space[64] = "";
    const ssize_t length = ::readlink("/proc/self/ns/pid", space, sizeof space - 1);
    if (boot.empty() || length <= 0) return "";
    return boot + " " + std::string(space, static_cast<std::size_t>(length));
}

std::string Token() {
    std::random_device device;
    char text[33];
    std::snprintf(text, sizeof text, "%08x%08x%08x%08x", device(), device(), device(), device());
    return text;
}

}  // namespace

std::string LockRecord::Format() const {
    return "plughost-lock 1\n" + host + "\n" + std::to_string(pid) + "\n" +
           std::to_string(started) + "\n" + std::to_string(renewed) + "\n" + token + "\n" +
           processSpace + "\n";
}

bool LockRecord::Parse(const std::string& text, LockRecord& record) {
    std::istringstream in(text);
    std::string header, pid, started, renewed;
    if (!std::getline(in, header) || header != "plughost-lock 1" ||
        !std::getline(in, record.host) || !std::getline(in, pid) || !std::getline(in, started) ||
        !std::getline(in, renewed) || !std::getline(in, record.token) ||
        !std::getline(in, record.processSpace))
        return false;
    try {
        record.pid = std::stol(pid);
        record.started = std::stoll(started);
        record.renewed = std::stoll(renewed);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

BackupLock::BackupLock(Context& context, std::string root)
    : context_(context),
      silent_(context.console, ProgressMode::None),
      transfer_(context.session.Log(), silent_, 4096),
      path_(JoinStoragePath(root, LockName)) {}

std::optional<LockRecord> BackupLock::ReadStored(bool& unreadable) {
    MemorySink sink(4096);
    LockRecord record;
    unreadable = transfer_.Download(context_.Storage(), path_, std::nullopt, sink).has_value();
    if (unreadable || !LockRecord::Parse(sink.Data(), record)) return std::nullopt;
    return record;
}

bool BackupLock::Take(StoredTree& tree) {
    if (TakeEntry(tree, LockName)) {
        bool unreadable = false;
        const std::optional<LockRecord> other = ReadStored(unreadable);
        if (unreadable) {
            // It may be a live run's: refused, rather than taken over on a failed read.
            context_.report.Fail(
                {path_, "backup", "the lock of another backup is there and cannot be read", {}});
            return false;
        }
        // A lock that makes no sense is no run's.
        if (other) {
            const std::int64_t age = Now() - other->renewed;
            // A run of this host whose process is gone (killed, crashed) holds nothing.
            const bool gone = other->host == HostName() && other->pid > 0 &&
                              !other->processSpace.empty() &&
                              other->processSpace == ProcessSpace() &&
                              ::kill(static_cast<pid_t>(other->pid), 0) != 0 && errno == ESRCH;
            if (gone) {
                context_.console.Note(
                    "plughost: note: taking over the lock of a backup on this "
                    "host that ended without removing it (pid " +
                    std::to_string(other->pid) + ")");
            } else if (age < LockStaleAfter) {
                context_.report.Fail(
                    {path_,
                     "backup",
                     "another backup of this folder is under way (host " + other->host + ", pid " +
                         std::to_string(other->pid) + ", since " + FormatTime(other->started) +
                         " UTC); a lock not renewed for " + std::to_string(LockStaleAfter / 3600) +
                         " hours is taken over (remove it with 'rm " + path_ +
                         "' if that run is gone)",
                     {}});
                return false;
            } else {
                context_.console.Note(
                    "plughost: note: taking over the lock of a backup that "
                    "stopped renewing it " +
                    std::to_string(age / 3600) + " hours ago (host " + other->host + ", pid " +
                    std::to_string(other->pid) + ")");
            }
        }
    }
    record_.host = HostName();
    record_.pid = static_cast<long>(::getpid());
    record_.started = Now();
    record_.token = Token();
    record_.processSpace = ProcessSpace();
    if (!Write()) return false;
    // Two runs that start at once both write; the one whose lock the service kept goes on.
    bool unreadable = false;
    const std::optional<LockRecord> kept = ReadStored(unreadable);
    if (!kept || kept->token != record_.token) {
        context_.report.Fail({path_,
                              "backup",
                              "another backup of this folder started at the same moment and "
                              "holds the lock",
                              {}});
        return false;
    }
    held_ = true;
    return true;
}

bool BackupLock::Write() {
    record_.renewed = Now();
    const std::optional<Failure> failure =
        transfer_.UploadBytes(context_.Storage(), record_.Format(), path_);
    written_ = std::chrono::steady_clock::now();
    if (!failure) return true;
    context_.Fail(*failure);
    return false;
}

void BackupLock::Renew() {
    if (held_ && std::chrono::steady_clock::now() - written_ >= std::chrono::hours(1) &&
        StillOurs())
        Write();
}

bool BackupLock::StillOurs() {
    if (!held_) return false;
    bool unreadable = false;
    const std::optional<LockRecord> stored = ReadStored(unreadable);
    if (stored && stored->token == record_.token) return true;
    held_ = false;
    context_.report.Fail({path_,
                          "backup",
                          unreadable ? "the lock can no longer be read: deleting nothing"
                                     : "another run took the lock over: deleting nothing",
                          {}});
    return false;
}

void BackupLock::Release() {
    if (!held_) return;
    bool unreadable = false;
    const std::optional<LockRecord> stored = ReadStored(unreadable);
    held_ = false;
    // Another run's lock stays.
    if (!stored || stored->token != record_.token) return;
    const std::size_t mark = context_.session.Log().Mark();
    const ResultCode result = context_.Storage().DeleteFile(ToHostPath(path_));
    if (result != Success) context_.FailCall(path_, "unlock", "DeleteFile", result, mark);
}

}  // namespace plughost
