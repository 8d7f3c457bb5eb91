// Writes a large file through libMardel into a local S3 server and reads it back, each phase
// in a process of its own, and reports the peak resident set size of each: the plug-in should
// hold about one transfer unit (100 MiB) of the file at a time, whatever the file's size.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kBlock = kMiB;  // the host's write and read size

struct InstanceDeleter {
    void operator()(IBackupDataWrite* instance) const { instance->Destroy(); }
};
using Instance = std::unique_ptr<IBackupDataWrite, InstanceDeleter>;

// The file's bytes: a function of the offset, so neither phase holds the file to check it.
void Fill(std::uint64_t offset, unsigned char* out, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        std::uint64_t x = (offset + i) / 8 + 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
        out[i] = static_cast<unsigned char>(x >> (8 * ((offset + i) % 8)));
    }
}

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

struct Phase {
    const char* name;
    bool (*run)(IBackupDataWrite& instance, const std::wstring& path, std::uint64_t size);
};

bool Upload(IBackupDataWrite& instance, const std::wstring& path, std::uint64_t size) {
    unsigned int handle = 0;
    if (instance.OpenFile(path, FileAccessMode::Write, handle) != Success) return false;
    std::vector<unsigned char> block(kBlock);
    bool written = true;
    for (std::uint64_t at = 0; at < size && written; at += kBlock) {
        unsigned int length = static_cast<unsigned int>(std::min(kBlock, size - at));
        Fill(at, block.data(), length);
        written = instance.WriteFile(block.data(), length, handle) == Success;
    }
    return instance.CloseFile(handle) == Success && written;
}

bool Restore(IBackupDataWrite& instance, const std::wstring& path, std::uint64_t size) {
    unsigned int handle = 0;
    if (instance.OpenFile(path, FileAccessMode::Read, handle) != Success) return false;
    std::vector<unsigned char> block(kBlock);
    std::vector<unsigned char> expected(kBlock);
    std::uint64_t at = 0;
    bool same = true;
    for (;;) {
        unsigned int length = static_cast<unsigned int>(kBlock);
        const ResultCode result = instance.ReadFile(block.data(), length, handle);
        if (result == EndOfData) break;
        if (result != Success) {
            same = false;
            break;
        }
        Fill(at, expected.data(), length);
        same = same && std::memcmp(block.data(), expected.data(), length) == 0;
        at += length;
    }
    return instance.CloseFile(handle) == Success && same && at == size;
}

// Runs one phase in a child process, so that its peak is its own.
bool RunInChild(const Phase& phase, const std::string& url, const std::wstring& path,
                std::uint64_t size) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        testhost::PluginLibrary lib("Mardel");
        testhost::RecordingLog log;
        testhost::MapLink link;
        link.Set(L"ServerName", Torvik::strings::UTF8toWstr(url));
        link.Set(L"AccessKeyID", L"AKIDBENCH");
        link.Set(L"SecretAccessKey", L"bench-secret");
        link.Set(L"Region", L"us-east-1");
        bool ok = false;
        double before = 0;
        double seconds = 0;
        {
            Instance instance(lib.GetBackupDataWrite(&log, &link));
            before = ResidentMiB();
            const auto start = std::chrono::steady_clock::now();
            ok = phase.run(*instance, path, size);
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        std::printf(
            "%-8s %6llu MiB: %s, peak RSS %.1f MiB (%.1f MiB before the transfer), "
            "%.1f s, %.1f MiB/s\n",
            phase.name, static_cast<unsigned long long>(size / kMiB), ok ? "ok" : "FAILED",
            PeakMiB(), before, seconds, static_cast<double>(size) / kMiB / seconds);
        for (const auto& text : log.Texts()) std::printf("  log: %s\n", text.c_str());
        std::fflush(stdout);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) * kMiB;
    // Nothing may leave loopback, whatever the environment says.
    setenv("AWS_EC2_METADATA_DISABLED", "true", 1);
    setenv("AWS_ENDPOINT_URL", "http://127.0.0.1:9", 1);

    testhost::MotoServer moto;
    testhost::S3Admin admin(moto.Url());
    const std::string bucket = admin.UniqueBucketName("bench");
    admin.CreateBucket(bucket);
    const std::wstring path = Torvik::strings::UTF8toWstr(bucket + "/bench/large.bak");

    const bool uploaded = RunInChild(Phase{"upload", Upload}, moto.Url(), path, size);
    const bool restored = uploaded && RunInChild(Phase{"restore", Restore}, moto.Url(), path, size);
    return uploaded && restored ? 0 : 1;
}
