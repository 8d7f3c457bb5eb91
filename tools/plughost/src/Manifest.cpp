#include "Manifest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

namespace plughost {

namespace {

const char HeaderV1[] = "plughost-manifest 1";
const char HeaderV2[] = "plughost-manifest 2";

std::string Escape(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '%' || byte < 0x20 || byte == 0x7f) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& path) {
    path.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool Digits(const std::string& text, std::size_t maxLength) {
    return !text.empty() && text.size() <= maxLength &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

bool IsHexDigest(const std::string& text) {
    if (text.size() != 64) return false;
    for (const char c : text)
        if (HexValue(c) < 0 || (c >= 'A' && c <= 'F')) return false;
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool IsRelativePath(const std::string& path) {
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type slash = path.find('/', start);
        const std::string component = path.substr(start, slash - start);
        if (component.empty() || component == "." || component == "..") return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

std::string ParseUnsigned32(const std::string& text, std::uint32_t& value) {
    if (!Digits(text, 10) || std::stoull(text) > 0xffffffffull) return "bad owner or group";
    value = static_cast<std::uint32_t>(std::stoull(text));
    return "";
}

// One line into `entry`, in the fields of `version`; an error message, or "".
std::string ParseLine(const std::string& line, int version, ManifestEntry& entry) {
    const std::vector<std::string> fields = SplitTabs(line);
    const std::size_t expected = version == 1 ? 6 : 11;
    if (fields.size() != expected)
        return "expected " + std::to_string(expected) + " tab-separated fields";
    if (fields[0] == "f")
        entry.type = EntryType::File;
    else if (fields[0] == "d")
        entry.type = EntryType::Folder;
    else if (fields[0] == "l" && version >= 2)
        entry.type = EntryType::Link;
    else
        return "unknown type '" + fields[0] + "'";
    if (!Digits(fields[1], 5) || fields[1].find_first_not_of("01234567") != std::string::npos)
        return "bad mode";
    entry.mode = static_cast<unsigned>(std::stoul(fields[1], nullptr, 8));
    if (entry.mode > 07777) return "bad mode";
    if (!Digits(fields[2], 19)) return "bad size";
    entry.size = std::stoull(fields[2]);
    const std::string& time = fields[3];
    const std::string::size_type dot = time.find('.');
    const bool negative = !time.empty() && time[0] == '-';
    const std::string whole = time.substr(negative ? 1 : 0, dot - (negative ? 1 : 0));
    if (dot == std::string::npos || !Digits(whole, 18) || time.size() - dot - 1 != 9 ||
        !Digits(time.substr(dot + 1), 9))
        return "bad modification time";
    entry.seconds = std::stoll(whole) * (negative ? -1 : 1);
    entry.nanoseconds = static_cast<std::uint32_t>(std::stoul(time.substr(dot + 1)));
    const bool file = entry.type == EntryType::File;
    if (file ? !IsHexDigest(fields[4]) : fields[4] != "-") return "bad SHA-256";
    entry.sha256 = file ? fields[4] : "";
    const std::string& path = fields.back();
    // A path is only ever joined below a restore's target: no component may lead elsewhere.
    if (!Unescape(path, entry.path) || !IsRelativePath(entry.path)) return "bad path";
    if (version == 1) return "";
    std::string problem = ParseUnsigned32(fields[5], entry.owner.uid);
    if (problem.empty()) problem = ParseUnsigned32(fields[6], entry.owner.gid);
    if (!problem.empty()) return problem;
    if (!Unescape(fields[7], entry.owner.user) || !Unescape(fields[8], entry.owner.group))
        return "bad owner or group name";
    if (entry.owner.user == "-") entry.owner.user.clear();
    if (entry.owner.group == "-") entry.owner.group.clear();
    entry.owner.known = true;
    if (!Unescape(fields[9], entry.linkTarget) ||
        (entry.type == EntryType::Link) == entry.linkTarget.empty())
        return "bad link target";
    return "";
}

std::string NameField(const std::string& name) { return name.empty() ? "-" : Escape(name); }

}  // namespace

void Manifest::Add(ManifestEntry entry) {
    const std::string path = entry.path;
    entries_[path] = std::move(entry);
}

const ManifestEntry* Manifest::Find(const std::string& path) const {
    const auto found = entries_.find(path);
    return found == entries_.end() ? nullptr : &found->second;
}

std::string Manifest::FormatEntry(const ManifestEntry& entry) {
    const char type = entry.type == EntryType::File     ? 'f'
                      : entry.type == EntryType::Folder ? 'd'
                                                        : 'l';
    char fields[96];
    std::snprintf(fields, sizeof fields, "%c\t%04o\t%llu\t%lld.%09u\t", type, entry.mode,
                  static_cast<unsigned long long>(entry.size),
                  static_cast<long long>(entry.seconds), entry.nanoseconds);
    return fields + (entry.type == EntryType::File ? entry.sha256 : "-") + "\t" +
           std::to_string(entry.owner.uid) + "\t" + std::to_string(entry.owner.gid) + "\t" +
           NameField(entry.owner.user) + "\t" + NameField(entry.owner.group) + "\t" +
           Escape(entry.linkTarget) + "\t" + Escape(entry.path) + "\n";
}

std::string Manifest::ParseEntry(const std::string& line, ManifestEntry& entry) {
    return ParseLine(line, 2, entry);
}

std::string Manifest::Format() const {
    std::string text =
        std::string(HeaderV2) + "\nstate\t" + (complete_ ? "complete" : "partial") + "\n";
    for (const auto& [path, entry] : entries_) text += FormatEntry(entry);
    return text;
}

std::string Manifest::Parse(const std::string& text, Manifest& manifest) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || (line != HeaderV1 && line != HeaderV2))
        return "line 1: not a plughost manifest of a version this plughost reads";
    const int version = line == HeaderV1 ? 1 : 2;
    int number = 1;
    if (version == 2) {
        ++number;
        if (!std::getline(in, line) || (line != "state\tcomplete" && line != "state\tpartial"))
            return "line 2: expected the state (complete or partial)";
        manifest.complete_ = line == "state\tcomplete";
    }
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        ManifestEntry entry;
        const std::string problem = ParseLine(line, version, entry);
        if (!problem.empty()) return "line " + std::to_string(number) + ": " + problem;
        manifest.Add(std::move(entry));
    }
    return "";
}

Manifest MergeManifests(const Manifest& previous, const Manifest& run) {
    Manifest merged = previous;
    for (const auto& [path, entry] : run.Entries()) merged.Add(entry);
    merged.SetComplete(false);
    return merged;
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), EVP_sha256(), nullptr);
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_)); }

void Sha256::Update(const void* data, std::size_t size) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), data, size);
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0x0f];
    }
    return text;
}

std::optional<std::string> HashFile(const std::filesystem::path& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read '" + path.string() + "': " + std::strerror(errno);
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<unsigned char> block(1 << 20);
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0)
        hash.Update(block.data(), got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read '" + path.string() + "': " + std::strerror(errno);
        return std::nullopt;
    }
    return hash.HexDigest();
}

}  // namespace plughost
