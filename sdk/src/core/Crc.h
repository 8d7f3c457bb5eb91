#pragma once

#include <cstddef>
#include <cstdint>

namespace Aws {
namespace Internal {
// Running CRCs in their "register" form: start from the algorithm's initial value (all ones for
// the three here), feed bytes, and xor the final value with all ones.

// CRC-64/NVME: polynomial 0xAD93D23594C93659, reflected. Uses carry-less multiplication when the
// CPU has it, the table version otherwise.
uint64_t Crc64NvmeUpdate(uint64_t crc, const void* data, size_t length);
uint64_t Crc64NvmeUpdatePortable(uint64_t crc, const void* data, size_t length);
// Only valid to call when Crc64NvmeHasClmul() is true.
uint64_t Crc64NvmeUpdateClmul(uint64_t crc, const void* data, size_t length);
bool Crc64NvmeHasClmul();

// CRC-32 (ISO-HDLC, as zlib) and CRC-32C (Castagnoli).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);
uint32_t Crc32cUpdate(uint32_t crc, const void* data, size_t length);
}  // namespace Internal
}  // namespace Aws
