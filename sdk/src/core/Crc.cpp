#include "core/Crc.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define AWS_HAVE_X86_CLMUL 1
#endif

namespace Aws {
namespace Internal {
namespace {

// The reflected form of a polynomial is its bit reversal; reflected CRCs shift right.
constexpr uint64_t Reverse64(uint64_t v) {
    uint64_t r = 0;
    for (int i = 0; i < 64; ++i) {
        r = (r << 1) | ((v >> i) & 1);
    }
    return r;
}

constexpr uint64_t kCrc64NvmeNormal = 0xAD93D23594C93659ull;
constexpr uint64_t kCrc64NvmePoly = Reverse64(kCrc64NvmeNormal);
constexpr uint32_t kCrc32Poly = 0xEDB88320u;
constexpr uint32_t kCrc32cPoly = 0x82F63B78u;

// Slicing-by-8 tables: table[0] is the classic byte table, table[k] advances by k more bytes.
template <typename T>
struct SliceTables {
    std::array<std::array<T, 256>, 8> t{};
};

template <typename T>
constexpr SliceTables<T> MakeTables(T poly) {
    SliceTables<T> tables{};
    for (unsigned i = 0; i < 256; ++i) {
        T crc = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<T>((crc >> 1) ^ poly) : static_cast<T>(crc >> 1);
        }
        tables.t[0][i] = crc;
    }
    for (unsigned k = 1; k < 8; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            T prev = tables.t[k - 1][i];
            tables.t[k][i] = static_cast<T>((prev >> 8) ^ tables.t[0][prev & 0xFF]);
        }
    }
    return tables;
}

constexpr SliceTables<uint64_t> kCrc64Tables = MakeTables<uint64_t>(kCrc64NvmePoly);
constexpr SliceTables<uint32_t> kCrc32Tables = MakeTables<uint32_t>(kCrc32Poly);
constexpr SliceTables<uint32_t> kCrc32cTables = MakeTables<uint32_t>(kCrc32cPoly);

inline uint64_t Load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;  // little-endian host (x86-64)
}

inline uint32_t Load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

uint64_t Crc64Slice8(uint64_t crc, const unsigned char* p, size_t n) {
    const auto& t = kCrc64Tables.t;
    while (n >= 8) {
        crc ^= Load64(p);
        crc = t[7][crc & 0xFF] ^ t[6][(crc >> 8) & 0xFF] ^ t[5][(crc >> 16) & 0xFF] ^
              t[4][(crc >> 24) & 0xFF] ^ t[3][(crc >> 32) & 0xFF] ^ t[2][(crc >> 40) & 0xFF] ^
              t[1][(crc >> 48) & 0xFF] ^ t[0][crc >> 56];
        p += 8;
        n -= 8;
    }
    while (n--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t Crc32Slice8(const SliceTables<uint32_t>& tables, uint32_t crc, const unsigned char* p,
                     size_t n) {
    const auto& t = tables.t;
    while (n >= 8) {
        uint32_t lo = Load32(p) ^ crc;
        uint32_t hi = Load32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

// x^e mod P, in the reflected 64-bit form the folding loop multiplies with.
constexpr uint64_t ReflectedXPowModP(unsigned e) {
    uint64_t r = 1;  // x^0, normal form
    for (unsigned i = 0; i < e; ++i) {
        uint64_t carry = r >> 63;
        r <<= 1;
        if (carry) r ^= kCrc64NvmeNormal;
    }
    return Reverse64(r);
}
}  // namespace

uint64_t Crc64NvmeUpdatePortable(uint64_t crc, const void* data, size_t length) {
    return Crc64Slice8(crc, static_cast<const unsigned char*>(data), length);
}

#ifdef AWS_HAVE_X86_CLMUL
namespace {
// Folding a 128-bit block of a reflected CRC forward by D bits multiplies its first (low)
// qword by x^(D+63) mod P and its second (high) qword by x^(D-1) mod P; the extra x^-1
// absorbs the one-bit offset of a carry-less product of reflected operands.
constexpr uint64_t kFold128Lo = ReflectedXPowModP(128 + 63);
constexpr uint64_t kFold128Hi = ReflectedXPowModP(128 - 1);
constexpr uint64_t kFold512Lo = ReflectedXPowModP(512 + 63);
constexpr uint64_t kFold512Hi = ReflectedXPowModP(512 - 1);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i constants) {
    __m128i lo = _mm_clmulepi64_si128(x, constants, 0x00);
    __m128i hi = _mm_clmulepi64_si128(x, constants, 0x11);
    return _mm_xor_si128(lo, hi);
}
}  // namespace

__attribute__((target("pclmul,sse2"))) uint64_t Crc64NvmeUpdateClmul(uint64_t crc, const void* data,
                                                                     size_t length) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (length < 64) return Crc64Slice8(crc, p, length);

    const __m128i fold128 =
        _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
    const __m128i fold512 =
        _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));

    // The running register is equivalent to xoring it into the first eight message bytes.
    __m128i x0 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                               _mm_set_epi64x(0, static_cast<long long>(crc)));
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    p += 64;
    length -= 64;

    while (length >= 64) {
        x0 = _mm_xor_si128(Fold(x0, fold512), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        x1 = _mm_xor_si128(Fold(x1, fold512),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
        x2 = _mm_xor_si128(Fold(x2, fold512),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
        x3 = _mm_xor_si128(Fold(x3, fold512),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
        p += 64;
        length -= 64;
    }

    __m128i x = _mm_xor_si128(Fold(x0, fold128), x1);
    x = _mm_xor_si128(Fold(x, fold128), x2);
    x = _mm_xor_si128(Fold(x, fold128), x3);
    while (length >= 16) {
        x = _mm_xor_si128(Fold(x, fold128), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        p += 16;
        length -= 16;
    }

    // What is left is congruent to the whole message: the 16 folded bytes, then the tail. The
    // table finishes it from a zero register (the initial value is already folded in).
    unsigned char folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x);
    uint64_t r = Crc64Slice8(0, folded, sizeof(folded));
    return Crc64Slice8(r, p, length);
}

bool Crc64NvmeHasClmul() {
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
}
#else
uint64_t Crc64NvmeUpdateClmul(uint64_t crc, const void* data, size_t length) {
    return Crc64NvmeUpdatePortable(crc, data, length);
}

bool Crc64NvmeHasClmul() { return false; }
#endif

uint64_t Crc64NvmeUpdate(uint64_t crc, const void* data, size_t length) {
    // Checked on every call: the test is a cached flag inside libgcc, and it keeps this free of
    // state of our own.
    if (Crc64NvmeHasClmul()) return Crc64NvmeUpdateClmul(crc, data, length);
    return Crc64NvmeUpdatePortable(crc, data, length);
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
    return Crc32Slice8(kCrc32Tables, crc, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32cUpdate(uint32_t crc, const void* data, size_t length) {
    return Crc32Slice8(kCrc32cTables, crc, static_cast<const unsigned char*>(data), length);
}
}  // namespace Internal
}  // namespace Aws
