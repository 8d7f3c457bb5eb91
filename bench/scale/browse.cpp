// What a storage instance costs as a folder or a tree grows, seen from the host's side: one
// process loads a plug-in, makes one reading instance and
//   list FOLDER    lists FOLDER once with GetListing and reports the heap the instance keeps
//                  afterwards (the listing cache) per entry, beyond the bytes of the names;
//   browse ROOT    lists ROOT, then each folder in it once, and asks GetElementAttributes of
//                  every file listed, as a host browsing the tree does, timing each phase.
// Run by scripts/bench.sh (bench/compare/compare.py), which counts the requests the server
// logged meanwhile and the process's CPU time and peak RSS. Not a test.
//
//   bench_browse PLUGIN.so list|browse PATH NAME=VALUE...
// The NAME=VALUE pairs are the parameters the plug-in reads (ServerName, AccessKeyID, ...).
#include <dlfcn.h>
#include <malloc.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <list>
#include <map>
#include <string>

#include "host/HostInterfaces.h"

namespace {

class QuietLog : public ILog {
  public:
    void Write(int, const wchar_t* text) override { std::fprintf(stderr, "log: %ls\n", text); }
    void WriteFormatted(int, const wchar_t* format, ...) override {
        wchar_t line[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vswprintf(line, sizeof line / sizeof line[0], format, arguments);
        va_end(arguments);
        std::fprintf(stderr, "log: %ls\n", line);
    }
};

class Parameters : public ILink {
  public:
    bool GetValue(const wchar_t* key, std::wstring& value) override {
        auto it = values.find(key);
        if (it == values.end()) {
            value.clear();
            return false;
        }
        value = it->second;
        return true;
    }
    std::map<std::wstring, std::wstring> values;
};

std::wstring Wide(const std::string& text) {
    std::wstring out;
    for (unsigned char c : text) out.push_back(static_cast<wchar_t>(c));  // the paths are ASCII
    return out;
}

// Bytes the allocator has handed out and not had back, mapped blocks included.
double HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double ResidentMiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    double kib = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atof(line + 6);
    }
    std::fclose(status);
    return kib / 1024.0;
}

int List(IBackupDataRead& storage, const std::wstring& folder) {
    // The first call sets up what every instance has (the client, the bucket list): it is not
    // the folder's cost.
    std::list<CFileInfo> buckets;
    storage.GetListing(L"", buckets);
    buckets.clear();
    malloc_trim(0);
    const double before = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    std::size_t entries = 0;
    double nameBytes = 0;
    {
        std::list<CFileInfo> listed;
        if (storage.GetListing(folder, listed) != Success) {
            std::fprintf(stderr, "bench_browse: GetListing failed\n");
            return 1;
        }
        entries = listed.size();
        // The cache keeps each key as the service sent it (UTF-8): for these ASCII names, one
        // byte per character of the key below the folder.
        for (const CFileInfo& entry : listed) nameBytes += static_cast<double>(entry.name.size());
    }
    const double seconds = Seconds(start);
    malloc_trim(0);
    const double kept = HeapInUse() - before;
    std::printf(
        "listed %zu entries in %.3f s; heap kept after the listing %.1f MiB: %.0f bytes "
        "per entry, %.0f beyond its name (names average %.1f bytes); RSS %.1f MiB\n",
        entries, seconds, kept / 1048576.0, entries ? kept / entries : 0.0,
        entries ? (kept - nameBytes) / entries : 0.0, entries ? nameBytes / entries : 0.0,
        ResidentMiB());
    std::printf("result entries=%zu seconds=%.4f keptBytesPerEntry=%.1f beyondNameBytes=%.1f\n",
                entries, seconds, entries ? kept / entries : 0.0,
                entries ? (kept - nameBytes) / entries : 0.0);
    return entries ? 0 : 1;
}

int Browse(IBackupDataRead& storage, const std::wstring& root) {
    const auto start = std::chrono::steady_clock::now();
    std::list<CFileInfo> top;
    if (storage.GetListing(root, top) != Success) {
        std::fprintf(stderr, "bench_browse: GetListing of the root failed\n");
        return 1;
    }
    std::size_t folders = 0;
    std::size_t files = 0;
    std::size_t failures = 0;
    double listing = Seconds(start);
    double attributes = 0;
    for (const CFileInfo& folder : top) {
        if (!folder.IsDirectory()) continue;
        ++folders;
        const std::wstring folderPath = root + L"/" + folder.name;
        const auto listed = std::chrono::steady_clock::now();
        std::list<CFileInfo> entries;
        if (storage.GetListing(folderPath, entries) != Success) ++failures;
        listing += Seconds(listed);
        const auto asked = std::chrono::steady_clock::now();
        for (const CFileInfo& entry : entries) {
            if (entry.IsDirectory()) continue;
            ++files;
            CFileAttributes found;
            if (storage.GetElementAttributes(folderPath + L"/" + entry.name, found) != Success ||
                found.size != entry.size) {
                ++failures;
            }
        }
        attributes += Seconds(asked);
    }
    std::printf(
        "browsed %zu folders, %zu files: listings %.3f s, attribute lookups %.3f s "
        "(%.2f us each), %zu failures; RSS %.1f MiB\n",
        folders, files, listing, attributes, files ? attributes / files * 1e6 : 0.0, failures,
        ResidentMiB());
    std::printf(
        "result folders=%zu files=%zu listSeconds=%.4f attributeSeconds=%.4f "
        "usPerLookup=%.3f failures=%zu\n",
        folders, files, listing, attributes, files ? attributes / files * 1e6 : 0.0, failures);
    return failures == 0 && files > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (std::strcmp(argv[2], "list") != 0 && std::strcmp(argv[2], "browse") != 0)) {
        std::fprintf(stderr, "usage: bench_browse PLUGIN.so list|browse PATH NAME=VALUE...\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "bench_browse: %s\n", dlerror());
        return 2;
    }
    auto make = reinterpret_cast<GetBackupDataReadFunction>(dlsym(library, "GetBackupDataRead"));
    if (!make) {
        std::fprintf(stderr, "bench_browse: no GetBackupDataRead in %s\n", argv[1]);
        return 2;
    }
    QuietLog log;
    Parameters parameters;
    for (int i = 4; i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        if (!equals) continue;
        parameters.values[Wide(std::string(static_cast<const char*>(argv[i]), equals))] =
            Wide(equals + 1);
    }
    IBackupDataRead* storage = make(&log, &parameters);
    if (!storage) {
        std::fprintf(stderr, "bench_browse: the plug-in made no instance\n");
        return 2;
    }
    const std::wstring path = Wide(argv[3]);
    const int status =
        std::strcmp(argv[2], "list") == 0 ? List(*storage, path) : Browse(*storage, path);
    storage->Destroy();
    return status;
}
