#include "Journal.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace plughost {

namespace fs = std::filesystem;

namespace {

const char Header[] = "plughost-journal 1";
constexpr std::chrono::seconds SyncEvery{5};

fs::path StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return fs::path(state) / "plughost";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && home[0] != '\0' ? home : "/tmp") / ".local" / "state" /
           "plughost";
}

}  // namespace

fs::path Journal::PathFor(const std::string& endpoint, const std::string& storagePath) {
    Sha256 hash;
    const std::string key = endpoint + "\n" + storagePath;
    hash.Update(key.data(), key.size());
    return StateFolder() / (hash.HexDigest().substr(0, 32) + ".journal");
}

Journal::Journal(fs::path path) : path_(std::move(path)) {}

Journal::~Journal() { Sync(); }

void Journal::Read(Manifest& recorded) const {
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != Header) return;
    // A line is whole only with its line feed: the last one of a crashed run may not be.
    while (std::getline(in, line) && !in.eof()) {
        ManifestEntry entry;
        if (Manifest::ParseEntry(line, entry).empty()) recorded.Add(std::move(entry));
    }
}

bool Journal::Begin(const Manifest& carried, std::string& error) {
    std::error_code failed;
    fs::create_directories(path_.parent_path(), failed);
    const fs::path fresh = path_.string() + ".new";
    FilePtr file(std::fopen(fresh.c_str(), "wb"));
    if (failed || !file) {
        error = "cannot write the journal '" + path_.string() + "'";
        return false;
    }
    std::string text = std::string(Header) + "\n";
    for (const auto& [path, entry] : carried.Entries()) text += Manifest::FormatEntry(entry);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0 || ::fsync(fileno(file.get())) != 0) {
        error = "cannot write the journal '" + path_.string() + "'";
        return false;
    }
    fs::rename(fresh, path_, failed);
    if (failed) {
        error = "cannot write the journal '" + path_.string() + "': " + failed.message();
        return false;
    }
    file_ = std::move(file);
    lastSync_ = std::chrono::steady_clock::now();
    return true;
}

void Journal::Append(const ManifestEntry& entry) {
    if (!file_) return;
    const std::string line = Manifest::FormatEntry(entry);
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
    if (std::chrono::steady_clock::now() - lastSync_ >= SyncEvery) Sync();
}

void Journal::Sync() {
    if (!file_) return;
    ::fsync(fileno(file_.get()));
    lastSync_ = std::chrono::steady_clock::now();
}

void Journal::Remove() {
    file_.reset();
    std::error_code ignored;
    fs::remove(path_, ignored);
}

}  // namespace plughost
