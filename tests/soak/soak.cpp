// A long run of backups and restores through several plug-in instances at once, against a
// local S3 server behind the fault proxy (a moto_server of its own, or with --server rgw the
// Ceph RADOS Gateway that tests/harness/rgw.sh started and its variables name), with faults
// chosen at random from a seed. Like a host,
// it retries an operation that reported Failure a bounded number of times. Every file that was
// reported backed up must read back byte for byte; a Success with wrong data, a crash or a hang
// fails the run (exit status 1, 2 for a hang).
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultAction;
using testhost::FaultRule;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Options {
    std::uint64_t seed = 1;
    std::uint64_t files = 10000;
    std::uint64_t smallMax = 256 * 1024;  // small files are 0..smallMax bytes
    std::uint64_t bigFiles = 2;
    std::uint64_t bigSize = 2048 * kMiB;
    int instancesPerPlugin = 2;  // of libMardel and of libRuvast, one thread each
    int attempts = 4;            // tries of one backup or restore before giving up
    int faultEveryMs = 250;      // a new random fault rule this often; 0: no faults
    int hangSeconds = 300;       // no finished operation for this long: a hang
    int faultKind = -1;          // 0..8: only that kind of fault (see RandomRule); -1: any
    std::string faultMethod;     // only requests of that method; empty: a random one
    std::string server = "moto";  // "moto": a moto_server of its own; "rgw": the run's gateway
};

// The keys the instances sign with.
struct Keys {
    std::string accessKey = "AKIDSOAK";
    std::string secretKey = "soak-secret";
};

// File contents: byte i of content `seed` depends on i and the seed only, so the writer and the
// checker produce any stretch of it without keeping the file.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

void FillContent(std::uint64_t seed, std::uint64_t offset, unsigned char* out, std::size_t size) {
    for (std::size_t i = 0; i < size;) {
        const std::uint64_t at = offset + i;
        const std::uint64_t word = Mix(seed * 0x100000001B3ull ^ (at / 8));
        for (std::uint64_t b = at % 8; b < 8 && i < size; ++b, ++i) {
            out[i] = static_cast<unsigned char>(word >> (8 * b));
        }
    }
}

// 64-bit FNV-1a, continued from `hash`.
std::uint64_t Hash(const unsigned char* data, std::size_t size, std::uint64_t hash) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}
constexpr std::uint64_t kHashStart = 0xCBF29CE484222325ull;

std::uint64_t ContentHash(std::uint64_t seed, std::uint64_t size) {
    std::vector<unsigned char> block(8 * kMiB);
    std::uint64_t hash = kHashStart;
    for (std::uint64_t at = 0; at < size; at += block.size()) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - at));
        FillContent(seed, at, block.data(), n);
        hash = Hash(block.data(), n, hash);
    }
    return hash;
}

struct FileSpec {
    std::string key;
    std::uint64_t contentSeed = 0;
    std::uint64_t size = 0;
    bool backedUp = false;
    std::string backupLog;  // what the plug-in logged while backing it up, for a failure report
};

struct Counters {
    std::atomic<std::uint64_t> filesBackedUp{0}, bytesBackedUp{0};
    std::atomic<std::uint64_t> filesRestored{0}, bytesRestored{0};
    std::atomic<std::uint64_t> operations{0};  // host calls made
    std::atomic<std::uint64_t> failuresSeen{0}, retries{0};
    std::atomic<std::uint64_t> backupsGivenUp{0};
    std::atomic<std::uint64_t> soakFailures{0};
    std::atomic<std::uint64_t> faultsInjected{0}, rulesAdded{0};
    std::atomic<long long> lastProgressMs{0};
};

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::mutex printMutex;
void Report(const char* format, const std::string& a, const std::string& b = "") {
    std::lock_guard<std::mutex> lock(printMutex);
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fflush(stderr);
}

struct InstanceDeleter {
    void operator()(IBackupDataWrite* instance) const { instance->Destroy(); }
};
using Instance = std::unique_ptr<IBackupDataWrite, InstanceDeleter>;

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

// One plug-in instance with its own log and parameters, used by one thread only.
class Worker {
  public:
    Worker(const testhost::PluginLibrary& lib, const std::string& name, const std::string& url,
           const Keys& keys, const Options& options, Counters& counters)
        : options_(options), counters_(counters) {
        if (name == "Ruvast") {
            link_.Set(L"UserName", Wide(keys.accessKey));
            link_.Set(L"Password", Wide(keys.secretKey));
        } else {
            link_.Set(L"AccessKeyID", Wide(keys.accessKey));
            link_.Set(L"SecretAccessKey", Wide(keys.secretKey));
            link_.Set(L"ServerName", Wide(url));
            link_.Set(L"Region", L"us-east-1");
        }
        instance_.reset(lib.GetBackupDataWrite(&log_, &link_));
    }

    bool Ready() const { return instance_ != nullptr; }

    void BackUp(std::vector<FileSpec*>& files, const std::string& bucket) {
        for (FileSpec* file : files) {
            log_.Clear();
            for (int attempt = 1; attempt <= options_.attempts; ++attempt) {
                if (attempt > 1) counters_.retries++;
                if (WriteOnce(*file, bucket)) {
                    file->backedUp = true;
                    file->backupLog = LogText();
                    counters_.filesBackedUp++;
                    counters_.bytesBackedUp += file->size;
                    break;
                }
                counters_.failuresSeen++;
            }
            if (!file->backedUp) {
                counters_.backupsGivenUp++;
                std::string last = LogText();
                if (last.size() > 2000) last = "    ...\n" + last.substr(last.size() - 2000);
                Report("given up backing up %s after all attempts; logged:\n%s", file->key, last);
            }
            counters_.lastProgressMs = NowMs();
        }
    }

    void Restore(std::vector<FileSpec*>& files, const std::string& bucket,
                 testhost::S3Admin& admin) {
        for (FileSpec* file : files) {
            if (!file->backedUp) continue;
            const std::uint64_t expected = ContentHash(file->contentSeed, file->size);
            bool restored = false;
            log_.Clear();
            for (int attempt = 1; attempt <= options_.attempts && !restored; ++attempt) {
                if (attempt > 1) counters_.retries++;
                std::uint64_t hash = 0, size = 0;
                if (!ReadOnce(*file, bucket, hash, size)) {
                    counters_.failuresSeen++;
                    continue;
                }
                if (hash != expected || size != file->size) {
                    counters_.soakFailures++;
                    Report("SOAK FAILURE: %s read back with Success but wrong data (%s)\n",
                           file->key,
                           "got " + std::to_string(size) + " bytes, expected " +
                               std::to_string(file->size));
                    break;
                }
                restored = true;
            }
            if (restored) {
                counters_.filesRestored++;
                counters_.bytesRestored += file->size;
            } else {
                counters_.soakFailures++;
                const auto stored = admin.GetObject(bucket, file->key);
                std::string held = "the server holds no such object";
                if (stored) {
                    const std::uint64_t storedHash =
                        Hash(reinterpret_cast<const unsigned char*>(stored->data()), stored->size(),
                             kHashStart);
                    held = "the server holds " + std::to_string(stored->size()) + " bytes, " +
                           (storedHash == expected && stored->size() == file->size
                                ? "the right content"
                                : "not the content written");
                }
                Report("SOAK FAILURE: %s was backed up but could not be restored: %s\n", file->key,
                       held);
                Report("  logged while backing up:\n%s  logged while restoring:\n%s",
                       file->backupLog, LogText());
            }
            counters_.lastProgressMs = NowMs();
        }
    }

  private:
    std::string LogText() const {
        std::string text;
        for (const std::string& line : log_.Texts()) text += "    " + line + "\n";
        return text;
    }

    std::wstring Path(const FileSpec& file, const std::string& bucket) const {
        return Wide(bucket + "\\" + file.key);
    }

    bool WriteOnce(const FileSpec& file, const std::string& bucket) {
        unsigned int handle = 0;
        counters_.operations++;
        if (instance_->OpenFile(Path(file, bucket), FileAccessMode::Write, handle) != Success) {
            return false;
        }
        bool ok = true;
        for (std::uint64_t at = 0; at < file.size && ok; at += buffer_.size()) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), file.size - at));
            FillContent(file.contentSeed, at, buffer_.data(), n);
            unsigned int length = static_cast<unsigned int>(n);
            counters_.operations++;
            ok = instance_->WriteFile(buffer_.data(), length, handle) == Success;
            counters_.lastProgressMs = NowMs();
            if (ok && length != n) {
                counters_.soakFailures++;
                Report("SOAK FAILURE: %s: WriteFile changed the length%s\n", file.key);
            }
        }
        counters_.operations++;
        const bool closed = instance_->CloseFile(handle) == Success;
        return ok && closed;
    }

    bool ReadOnce(const FileSpec& file, const std::string& bucket, std::uint64_t& hash,
                  std::uint64_t& size) {
        unsigned int handle = 0;
        counters_.operations++;
        if (instance_->OpenFile(Path(file, bucket), FileAccessMode::Read, handle) != Success) {
            return false;
        }
        hash = kHashStart;
        size = 0;
        bool ok = false;
        for (;;) {
            unsigned int length = static_cast<unsigned int>(buffer_.size());
            counters_.operations++;
            const ResultCode result = instance_->ReadFile(buffer_.data(), length, handle);
            if (result == EndOfData) {
                ok = true;
                break;
            }
            if (result != Success) break;
            if (length > buffer_.size()) {
                counters_.soakFailures++;
                Report("SOAK FAILURE: %s: ReadFile claims more than the buffer%s\n", file.key);
                break;
            }
            hash = Hash(buffer_.data(), length, hash);
            size += length;
            counters_.lastProgressMs = NowMs();
        }
        counters_.operations++;
        instance_->CloseFile(handle);
        return ok;
    }

    const Options& options_;
    Counters& counters_;
    testhost::RecordingLog log_;
    testhost::MapLink link_;
    Instance instance_;
    std::vector<unsigned char> buffer_ = std::vector<unsigned char>(kMiB);
};

// A random fault for the next few requests of a random kind.
FaultRule RandomRule(std::mt19937_64& rng, const Options& options) {
    FaultRule rule;
    const char* methods[] = {"*", "GET", "PUT", "POST", "GET", "PUT"};
    rule.method = methods[rng() % 6];
    if (!options.faultMethod.empty()) rule.method = options.faultMethod;
    rule.nth = 1 + static_cast<int>(rng() % 20);
    rule.count = 1;
    const std::uint64_t kind = rng() % 9;
    switch (options.faultKind >= 0 ? static_cast<std::uint64_t>(options.faultKind) : kind) {
        case 0:
            rule.action = FaultAction::Status;
            rule.status = 500;
            break;
        case 1:
            rule.action = FaultAction::Status;
            rule.status = 503;
            rule.errorCode = "SlowDown";
            rule.errorMessage = "Please reduce your request rate.";
            break;
        case 2:
            rule.action = FaultAction::Status;
            rule.status = 403;
            rule.errorCode = "AccessDenied";
            rule.errorMessage = "Access Denied";
            break;
        case 3:
            rule.action = FaultAction::Reset;
            break;
        case 4:
            rule.action = FaultAction::Truncate;
            rule.truncateAfter = static_cast<long long>(rng() % 70000);
            break;
        case 5:
            rule.action = FaultAction::Delay;
            rule.delayMs = 100 + static_cast<int>(rng() % 1500);
            break;
        case 6:
            rule.action = FaultAction::Error200;
            break;
        case 7:
            rule.action = FaultAction::MalformedXml;
            break;
        default:
            rule.action = FaultAction::Status;
            rule.status = 502;
            rule.errorCode = "BadGateway";
            break;
    }
    return rule;
}

void CountFaults(testhost::FaultProxy& proxy, Counters& counters) {
    const auto requests = proxy.Requests();
    proxy.ClearRequests();
    for (const auto& request : requests) {
        if (!request.fault.empty()) counters.faultsInjected++;
    }
}

bool ParseNumber(const char* text, std::uint64_t& out) {
    char* end = nullptr;
    out = std::strtoull(text, &end, 10);
    return end && *end == '\0' && end != text;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: soak [--seed N] [--files N] [--small-max BYTES] [--big-files N]\n"
                 "            [--big-mib MIB] [--instances N] [--attempts N] [--fault-ms MS]\n"
                 "            [--hang-seconds S] [--fault-kind 0..8] [--fault-method METHOD]\n"
                 "            [--server moto|rgw]\n"
                 "--server rgw: the Ceph RADOS Gateway that RGW_TEST_HTTP_URL, RGW_TEST_ACCESS_KEY\n"
                 "             and RGW_TEST_SECRET_KEY name (tests/harness/rgw.sh env DIR)\n"
                 "fault kinds: 0 500, 1 503 SlowDown, 2 403, 3 reset, 4 truncated body, 5 delay,\n"
                 "             6 200 with <Error>, 7 malformed XML, 8 502\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--fault-method" && i + 1 < argc) {
            options.faultMethod = argv[++i];
            continue;
        }
        if (name == "--server" && i + 1 < argc) {
            options.server = argv[++i];
            if (options.server != "moto" && options.server != "rgw") return false;
            continue;
        }
        std::uint64_t value = 0;
        if (i + 1 >= argc || !ParseNumber(argv[i + 1], value)) return false;
        ++i;
        if (name == "--seed") {
            options.seed = value;
        } else if (name == "--files") {
            options.files = value;
        } else if (name == "--small-max") {
            options.smallMax = value;
        } else if (name == "--big-files") {
            options.bigFiles = value;
        } else if (name == "--big-mib") {
            options.bigSize = value * kMiB;
        } else if (name == "--instances") {
            options.instancesPerPlugin = static_cast<int>(std::max<std::uint64_t>(1, value));
        } else if (name == "--attempts") {
            options.attempts = static_cast<int>(std::max<std::uint64_t>(1, value));
        } else if (name == "--fault-ms") {
            options.faultEveryMs = static_cast<int>(value);
        } else if (name == "--fault-kind") {
            options.faultKind = static_cast<int>(value % 9);
        } else if (name == "--hang-seconds") {
            options.hangSeconds = static_cast<int>(value);
        } else {
            return false;
        }
    }
    return true;
}

template <typename Phase>
void RunPhase(std::vector<std::unique_ptr<Worker>>& workers,
              std::vector<std::vector<FileSpec*>>& shares, Phase phase) {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        threads.emplace_back([&, i] { phase(*workers[i], shares[i]); });
    }
    for (auto& thread : threads) thread.join();
}
}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 64;
    }
    // Nothing may leave loopback, and failures must not take long to give up on.
    setenv("AWS_EC2_METADATA_DISABLED", "true", 1);
    setenv("AWS_ENDPOINT_URL", "http://127.0.0.1:9", 1);
    setenv("AWS_RETRY_MODE", "standard", 1);
    setenv("AWS_MAX_ATTEMPTS", "2", 1);

    const long long started = NowMs();
    std::unique_ptr<testhost::MotoServer> moto;
    std::string serverUrl;
    Keys keys;
    if (options.server == "rgw") {
        std::string why;
        const std::optional<testhost::RgwServer> rgw = testhost::RgwServer::FromEnvironment(&why);
        if (!rgw) {
            std::fprintf(stderr, "soak: %s\n", why.c_str());
            return 1;
        }
        // The fault proxy speaks plain HTTP to the server.
        serverUrl = rgw->httpUrl;
        keys = {rgw->accessKey, rgw->secretKey};
    } else {
        moto = std::make_unique<testhost::MotoServer>();
        serverUrl = moto->Url();
    }
    testhost::FaultProxy proxy(serverUrl);
    testhost::S3Admin admin(serverUrl, "", options.server == "rgw" ? keys.accessKey : "",
                            options.server == "rgw" ? keys.secretKey : "");
    const std::string bucket = admin.UniqueBucketName("soak");
    admin.CreateBucket(bucket);

    // The file set: small files of random sizes, then the big ones, spread over the workers.
    std::mt19937_64 rng(options.seed);
    std::vector<FileSpec> files;
    for (std::uint64_t i = 0; i < options.files; ++i) {
        FileSpec file;
        file.key = "small-" + std::to_string(i) + ".bak";
        file.contentSeed = rng();
        // Mostly small, now and then an empty one.
        file.size = (rng() % 50 == 0) ? 0 : rng() % (options.smallMax + 1);
        files.push_back(file);
    }
    for (std::uint64_t i = 0; i < options.bigFiles; ++i) {
        FileSpec file;
        file.key = "big-" + std::to_string(i) + ".img";
        file.contentSeed = rng();
        file.size = options.bigSize;
        files.push_back(file);
    }

    testhost::PluginLibrary mardel("Mardel");
    testhost::PluginLibrary ruvast("Ruvast");
    std::string endpoint = proxy.Url();
    *ruvast.Symbol<char*>("Endpoint") = &endpoint[0];

    Counters counters;
    std::vector<std::unique_ptr<Worker>> workers;
    for (int i = 0; i < options.instancesPerPlugin; ++i) {
        workers.push_back(
            std::make_unique<Worker>(mardel, "Mardel", proxy.Url(), keys, options, counters));
        workers.push_back(
            std::make_unique<Worker>(ruvast, "Ruvast", proxy.Url(), keys, options, counters));
    }
    for (const auto& worker : workers) {
        if (!worker->Ready()) {
            std::fprintf(stderr, "an instance could not be constructed\n");
            return 1;
        }
    }
    // The big files go to different workers, ahead of their small files, so that they run
    // side by side; small files are dealt round.
    std::vector<std::vector<FileSpec*>> shares(workers.size());
    for (std::uint64_t i = 0; i < options.bigFiles; ++i) {
        shares[i % workers.size()].push_back(&files[options.files + i]);
    }
    for (std::uint64_t i = 0; i < options.files; ++i) {
        shares[i % workers.size()].push_back(&files[i]);
    }

    // Faults: every few hundred milliseconds, replace the rule with a new random one.
    std::atomic<bool> done{false};
    counters.lastProgressMs = NowMs();
    std::thread faults([&] {
        std::mt19937_64 faultRng(options.seed ^ 0x5EED5EEDull);
        long long lastCount = NowMs();
        while (!done) {
            if (options.faultEveryMs > 0) {
                proxy.ClearRules();
                proxy.AddRule(RandomRule(faultRng, options));
                counters.rulesAdded++;
            }
            std::this_thread::sleep_for(
                std::chrono::milliseconds(options.faultEveryMs > 0 ? options.faultEveryMs : 500));
            if (NowMs() - lastCount > 2000) {
                CountFaults(proxy, counters);
                lastCount = NowMs();
            }
            if (NowMs() - counters.lastProgressMs > options.hangSeconds * 1000LL) {
                std::fprintf(stderr, "SOAK FAILURE: no operation finished for %d s (hang)\n",
                             options.hangSeconds);
                std::fflush(stderr);
                _exit(2);
            }
        }
        proxy.ClearRules();
        CountFaults(proxy, counters);
    });

    const long long backupStart = NowMs();
    RunPhase(workers, shares,
             [&](Worker& worker, std::vector<FileSpec*>& share) { worker.BackUp(share, bucket); });
    const long long restoreStart = NowMs();
    RunPhase(workers, shares, [&](Worker& worker, std::vector<FileSpec*>& share) {
        worker.Restore(share, bucket, admin);
    });
    const long long restoreEnd = NowMs();
    done = true;
    faults.join();
    workers.clear();

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto mibPerSecond = [](std::uint64_t bytes, long long ms) {
        return ms > 0 ? static_cast<double>(bytes) / kMiB / (ms / 1000.0) : 0.0;
    };
    std::printf(
        "soak seed %llu: %llu small files (0..%llu bytes), %llu big files of %llu MiB, "
        "%d instances each of Mardel and Ruvast, against %s\n",
        static_cast<unsigned long long>(options.seed),
        static_cast<unsigned long long>(options.files),
        static_cast<unsigned long long>(options.smallMax),
        static_cast<unsigned long long>(options.bigFiles),
        static_cast<unsigned long long>(options.bigSize / kMiB), options.instancesPerPlugin,
        options.server == "rgw" ? ("the Ceph RADOS Gateway at " + serverUrl).c_str()
                                : "a moto_server of its own");
    std::printf("backed up: %llu files, %llu bytes (%llu given up after %d attempts)\n",
                static_cast<unsigned long long>(counters.filesBackedUp.load()),
                static_cast<unsigned long long>(counters.bytesBackedUp.load()),
                static_cast<unsigned long long>(counters.backupsGivenUp.load()), options.attempts);
    std::printf("restored:  %llu files, %llu bytes, all compared\n",
                static_cast<unsigned long long>(counters.filesRestored.load()),
                static_cast<unsigned long long>(counters.bytesRestored.load()));
    std::printf(
        "operations: %llu host calls; faults: %llu injected (%llu rules); failures "
        "reported: %llu, retried: %llu\n",
        static_cast<unsigned long long>(counters.operations.load()),
        static_cast<unsigned long long>(counters.faultsInjected.load()),
        static_cast<unsigned long long>(counters.rulesAdded.load()),
        static_cast<unsigned long long>(counters.failuresSeen.load()),
        static_cast<unsigned long long>(counters.retries.load()));
    std::printf("wall time: %.1f s (backup %.1f s at %.1f MiB/s, restore %.1f s at %.1f MiB/s)\n",
                (restoreEnd - started) / 1000.0, (restoreStart - backupStart) / 1000.0,
                mibPerSecond(counters.bytesBackedUp, restoreStart - backupStart),
                (restoreEnd - restoreStart) / 1000.0,
                mibPerSecond(counters.bytesRestored, restoreEnd - restoreStart));
    std::printf("peak RSS: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    const bool passed = counters.soakFailures == 0;
    std::printf("%s: %llu soak failures\n", passed ? "PASSED" : "FAILED",
                static_cast<unsigned long long>(counters.soakFailures.load()));
    return passed ? 0 : 1;
}
