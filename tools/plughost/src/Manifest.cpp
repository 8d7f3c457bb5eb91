#include "Manifest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

namespace plughost {

namespace {

const char Header[] = "plughost-manifest 1";

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

// One line into `entry`; an error message, or "".
std::string ParseLine(const std::string& line, ManifestEntry& entry) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 6) return "expected 6 tab-separated fields";
    if (fields[0] != "f" && fields[0] != "d") return "unknown type '" + fields[0] + "'";
    entry.isFolder = fields[0] == "d";
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
    if (entry.isFolder ? fields[4] != "-" : !IsHexDigest(fields[4])) return "bad SHA-256";
    entry.sha256 = entry.isFolder ? "" : fields[4];
    if (!Unescape(fields[5], entry.path) || entry.path.empty()) return "bad path";
    return "";
}

}  // namespace

void Manifest::Add(ManifestEntry entry) {
    const std::string path = entry.path;
    entries_[path] = std::move(entry);
}

const ManifestEntry* Manifest::Find(const std::string& path) const {
    const auto found = entries_.find(path);
    return found == entries_.end() ? nullptr : &found->second;
}

std::string Manifest::Format() const {
    std::string text = std::string(Header) + "\n";
    for (const auto& [path, entry] : entries_) {
        char fields[96];
        std::snprintf(fields, sizeof fields, "%c\t%04o\t%llu\t%lld.%09u\t",
                      entry.isFolder ? 'd' : 'f', entry.mode,
                      static_cast<unsigned long long>(entry.size),
                      static_cast<long long>(entry.seconds), entry.nanoseconds);
        text += fields;
        text += entry.isFolder ? "-" : entry.sha256;
        text += "\t" + Escape(path) + "\n";
    }
    return text;
}

std::string Manifest::Parse(const std::string& text, Manifest& manifest) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != Header) return "line 1: not a plughost manifest";
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        ManifestEntry entry;
        const std::string problem = ParseLine(line, entry);
        if (!problem.empty()) return "line " + std::to_string(number) + ": " + problem;
        manifest.Add(std::move(entry));
    }
    return "";
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
