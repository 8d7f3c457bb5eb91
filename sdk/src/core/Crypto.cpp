#include "core/Crypto.h"

#include "core/Crc.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <streambuf>
#include <vector>

namespace Aws {
namespace Internal {
Aws::String HexEncode(const unsigned char* data, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    Aws::String out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(kHex[data[i] >> 4]);
        out.push_back(kHex[data[i] & 0xF]);
    }
    return out;
}

Aws::String HexEncode(const Aws::String& bytes) {
    return HexEncode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Aws::String Base64Encode(const unsigned char* data, size_t length) {
    std::vector<unsigned char> out(4 * ((length + 2) / 3) + 1);
    int written = EVP_EncodeBlock(out.data(), data, static_cast<int>(length));
    return Aws::String(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(written));
}

Aws::String Base64Encode(const Aws::String& bytes) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Aws::String HmacSha256(const Aws::String& key, const Aws::String& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int outLength = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &outLength);
    return Aws::String(reinterpret_cast<const char*>(out), outLength);
}

namespace {
class EvpHash : public RunningHash {
  public:
    explicit EvpHash(const EVP_MD* md) : m_ctx(EVP_MD_CTX_new()) {
        EVP_DigestInit_ex(m_ctx, md, nullptr);
    }
    ~EvpHash() override { EVP_MD_CTX_free(m_ctx); }
    EvpHash(const EvpHash&) = delete;
    EvpHash& operator=(const EvpHash&) = delete;

    void Update(const void* data, size_t length) override { EVP_DigestUpdate(m_ctx, data, length); }
    Aws::String Finish() override {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int outLength = 0;
        EVP_DigestFinal_ex(m_ctx, out, &outLength);
        return Aws::String(reinterpret_cast<const char*>(out), outLength);
    }

  private:
    EVP_MD_CTX* m_ctx;
};

template <typename T>
Aws::String BigEndian(T value) {
    Aws::String out(sizeof(T), '\0');
    for (size_t i = 0; i < sizeof(T); ++i) {
        out[sizeof(T) - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

class Crc64NvmeHash : public RunningHash {
  public:
    void Update(const void* data, size_t length) override {
        m_crc = Crc64NvmeUpdate(m_crc, data, length);
    }
    Aws::String Finish() override { return BigEndian<uint64_t>(~m_crc); }

  private:
    uint64_t m_crc = ~0ull;
};

class Crc32Hash : public RunningHash {
  public:
    explicit Crc32Hash(bool castagnoli) : m_castagnoli(castagnoli) {}
    void Update(const void* data, size_t length) override {
        m_crc = m_castagnoli ? Crc32cUpdate(m_crc, data, length) : Crc32Update(m_crc, data, length);
    }
    Aws::String Finish() override { return BigEndian<uint32_t>(~m_crc); }

  private:
    bool m_castagnoli;
    uint32_t m_crc = ~0u;
};
}  // namespace

Aws::String Sha256(const Aws::String& data) {
    EvpHash hash(EVP_sha256());
    hash.Update(data.data(), data.size());
    return hash.Finish();
}

std::unique_ptr<RunningHash> MakeHash(HashKind kind) {
    switch (kind) {
        case HashKind::SHA256:
            return std::make_unique<EvpHash>(EVP_sha256());
        case HashKind::SHA1:
            return std::make_unique<EvpHash>(EVP_sha1());
        case HashKind::MD5:
            return std::make_unique<EvpHash>(EVP_md5());
        case HashKind::CRC32:
            return std::make_unique<Crc32Hash>(false);
        case HashKind::CRC32C:
            return std::make_unique<Crc32Hash>(true);
        case HashKind::CRC64NVME:
            return std::make_unique<Crc64NvmeHash>();
    }
    return nullptr;
}

namespace {
// The get area of a stream buffer is protected, but a member pointer formed through a derived
// class reaches it on any std::streambuf. A body held in memory (a string or a part's chunks)
// is thereby hashed where it lies, instead of being copied out into a buffer of ours first.
struct GetArea : std::streambuf {
    static char* Next(std::streambuf& buffer) { return (buffer.*&GetArea::gptr)(); }
    static char* End(std::streambuf& buffer) { return (buffer.*&GetArea::egptr)(); }
    static void Advance(std::streambuf& buffer, int count) { (buffer.*&GetArea::gbump)(count); }
};

constexpr long long kMaxStep = 1ll << 30;  // gbump takes an int

void Feed(RunningHash* first, RunningHash* second, const char* data, size_t length) {
    if (first) first->Update(data, length);
    if (second) second->Update(data, length);
}
}  // namespace

long long HashStream(Aws::IOStream& stream, long long length, RunningHash* first,
                     RunningHash* second) {
    stream.clear();
    std::streampos saved = stream.tellg();
    if (saved == std::streampos(-1)) saved = 0;
    stream.seekg(0, std::ios_base::beg);
    std::streambuf* source = stream.rdbuf();
    long long total = 0;
    std::vector<char> copied;  // only for a buffer that exposes no get area
    while (source && !stream.fail() && (length < 0 || total < length)) {
        if (GetArea::Next(*source) == GetArea::End(*source) &&
            std::streambuf::traits_type::eq_int_type(source->sgetc(),
                                                     std::streambuf::traits_type::eof())) {
            break;
        }
        const long long want = length < 0 ? kMaxStep : std::min(kMaxStep, length - total);
        const long long inPlace = GetArea::End(*source) - GetArea::Next(*source);
        if (inPlace > 0) {
            const long long step = std::min(want, inPlace);
            Feed(first, second, GetArea::Next(*source), static_cast<size_t>(step));
            GetArea::Advance(*source, static_cast<int>(step));
            total += step;
            continue;
        }
        // An unbuffered stream buffer: read through a copy.
        if (copied.empty()) copied.resize(256 * 1024);
        const std::streamsize got = source->sgetn(
            copied.data(), static_cast<std::streamsize>(std::min<long long>(want, copied.size())));
        if (got <= 0) break;
        Feed(first, second, copied.data(), static_cast<size_t>(got));
        total += got;
    }
    stream.clear();
    stream.seekg(saved, std::ios_base::beg);
    return total;
}
}  // namespace Internal
}  // namespace Aws
