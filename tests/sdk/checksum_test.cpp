// Checksums and digests against published check values, and the carry-less-multiply CRC
// against the table version over every length and alignment that exercises its folding paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "core/Crc.h"
#include "core/Crypto.h"

using namespace Aws::Internal;

namespace {
std::string Digest(HashKind kind, const std::string& data) {
    auto hash = MakeHash(kind);
    hash->Update(data.data(), data.size());
    return hash->Finish();
}
}  // namespace

TEST(Checksums, PublishedCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(~Crc64NvmeUpdatePortable(~0ull, check.data(), check.size()), 0xAE8B14860A799888ull);
    EXPECT_EQ(~Crc32Update(~0u, check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(~Crc32cUpdate(~0u, check.data(), check.size()), 0xE3069283u);
    // The service wants the big-endian digest, base64-encoded.
    EXPECT_EQ(HexEncode(Digest(HashKind::CRC64NVME, check)), "ae8b14860a799888");
    EXPECT_EQ(Base64Encode(Digest(HashKind::CRC64NVME, check)), "rosUhgp5mIg=");
    EXPECT_EQ(Base64Encode(Digest(HashKind::CRC32, "")), "AAAAAA==");
}

TEST(Checksums, ClmulMatchesTableForAllShapes) {
    if (!Crc64NvmeHasClmul()) GTEST_SKIP() << "CPU without carry-less multiplication";
    std::mt19937_64 random(42);
    std::vector<unsigned char> data(70000);
    for (auto& byte : data) byte = static_cast<unsigned char>(random());
    const std::string check = "123456789";
    EXPECT_EQ(~Crc64NvmeUpdateClmul(~0ull, check.data(), check.size()), 0xAE8B14860A799888ull);
    for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 4096, 65537}) {
        for (size_t offset = 0; offset < 8; ++offset) {
            const unsigned char* p = data.data() + offset;
            ASSERT_EQ(Crc64NvmeUpdateClmul(~0ull, p, length),
                      Crc64NvmeUpdatePortable(~0ull, p, length))
                << "length " << length << " offset " << offset;
        }
    }
    // Feeding in pieces gives the same result as one call, with any starting register.
    uint64_t pieces = 0x1234;
    size_t at = 0;
    for (size_t step : {3, 100, 64, 1, 5000, 20000}) {
        pieces = Crc64NvmeUpdateClmul(pieces, data.data() + at, step);
        at += step;
    }
    EXPECT_EQ(pieces, Crc64NvmeUpdatePortable(0x1234, data.data(), at));
}

TEST(Digests, Sha256AndHmacVectors) {
    EXPECT_EQ(HexEncode(Sha256("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexEncode(Sha256("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexEncode(Digest(HashKind::SHA256, std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // RFC 4231, test case 2.
    EXPECT_EQ(HexEncode(HmacSha256("Jefe", "what do ya want for nothing?")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(Base64Encode(std::string("\xff\x00\x10", 3)), "/wAQ");
}

TEST(Digests, HashStreamReadsFromStartAndRestoresPosition) {
    std::stringstream stream("0123456789");
    stream.seekg(4);
    auto sha = MakeHash(HashKind::SHA256);
    auto crc = MakeHash(HashKind::CRC32);
    EXPECT_EQ(HashStream(stream, -1, sha.get(), crc.get()), 10);
    EXPECT_EQ(stream.tellg(), std::streampos(4));
    EXPECT_EQ(sha->Finish(), Sha256("0123456789"));
    EXPECT_EQ(crc->Finish(), Digest(HashKind::CRC32, "0123456789"));

    auto prefix = MakeHash(HashKind::SHA256);
    EXPECT_EQ(HashStream(stream, 3, prefix.get(), nullptr), 3);
    EXPECT_EQ(prefix->Finish(), Sha256("012"));
}

namespace {
// A stream buffer over a string that shows at most `window` bytes at a time, as a body held
// in fixed-size chunks does; window 0 shows none, as an unbuffered stream buffer, so that
// every byte comes through uflow().
class WindowedBuffer : public std::streambuf {
  public:
    WindowedBuffer(std::string data, std::size_t window) : data(std::move(data)), window(window) {
        Show(0);
    }

  protected:
    int_type underflow() override {
        const std::size_t at = Position();
        Show(at);
        if (at >= data.size()) return traits_type::eof();
        return traits_type::to_int_type(data[at]);
    }
    int_type uflow() override {
        const int_type c = underflow();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            unbuffered = Position() + 1;
            Show(unbuffered);
        }
        return c;
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode) override {
        const off_type base = direction == std::ios_base::beg   ? 0
                              : direction == std::ios_base::cur ? off_type(Position())
                                                                : off_type(data.size());
        if (base + offset < 0 || base + offset > off_type(data.size())) return pos_type(-1);
        unbuffered = static_cast<std::size_t>(base + offset);
        Show(unbuffered);
        return pos_type(base + offset);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

  private:
    std::size_t Position() const {
        return eback() ? static_cast<std::size_t>(gptr() - &data[0]) : unbuffered;
    }
    void Show(std::size_t at) {
        if (window == 0 || at >= data.size()) {
            unbuffered = at;
            setg(nullptr, nullptr, nullptr);
            return;
        }
        char* begin = &data[0];
        setg(begin, begin + at, begin + std::min(data.size(), (at / window + 1) * window));
    }

    std::string data;
    std::size_t window;
    std::size_t unbuffered = 0;
};
}  // namespace

TEST(Digests, HashStreamOverEveryKindOfStreamBuffer) {
    std::string body(10000, '\0');
    std::mt19937 random(3);
    for (char& c : body) c = static_cast<char>(random());
    struct Case {
        std::size_t window;  // 0: no get area at all
        long long length;    // -1: to the end
        long long expected;  // bytes hashed
    };
    const Case cases[] = {
        {4096, -1, 10000},    {4096, 4096, 4096}, {4096, 4097, 4097}, {4096, 9999, 9999},
        {4096, 20000, 10000}, {7, -1, 10000},     {7, 700, 700},      {1, 13, 13},
        {0, -1, 10000},       {0, 5, 5},          {4096, 0, 0},       {100000, 1234, 1234},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("window " + std::to_string(c.window) + ", length " + std::to_string(c.length));
        WindowedBuffer buffer(body, c.window);
        std::iostream stream(&buffer);
        stream.seekg(4100);
        auto sha = MakeHash(HashKind::SHA256);
        auto crc = MakeHash(HashKind::CRC64NVME);
        EXPECT_EQ(HashStream(stream, c.length, sha.get(), crc.get()), c.expected);
        const std::string hashed = body.substr(0, static_cast<std::size_t>(c.expected));
        EXPECT_EQ(sha->Finish(), Sha256(hashed));
        EXPECT_EQ(crc->Finish(), Digest(HashKind::CRC64NVME, hashed));
        // The stream is where it was, and reads on from there.
        EXPECT_EQ(stream.tellg(), std::streampos(4100));
        char next = 0;
        stream.read(&next, 1);
        EXPECT_EQ(next, body[4100]);
    }
}
