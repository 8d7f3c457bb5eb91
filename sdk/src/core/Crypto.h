#pragma once

#include <aws/core/utils/memory/stl/AWSStreamFwd.h>
#include <aws/core/utils/memory/stl/AWSString.h>

#include <cstdint>
#include <memory>

namespace Aws {
namespace Internal {
Aws::String HexEncode(const unsigned char* data, size_t length);
Aws::String HexEncode(const Aws::String& bytes);
Aws::String Base64Encode(const unsigned char* data, size_t length);
Aws::String Base64Encode(const Aws::String& bytes);

// Raw 32-byte digests.
Aws::String Sha256(const Aws::String& data);
Aws::String HmacSha256(const Aws::String& key, const Aws::String& data);

// An incremental digest of a body (a payload hash or a request/response checksum).
class RunningHash {
  public:
    virtual ~RunningHash() = default;
    virtual void Update(const void* data, size_t length) = 0;
    // Raw digest bytes; CRCs big-endian, as the service expects them.
    virtual Aws::String Finish() = 0;
};

enum class HashKind { SHA256, SHA1, MD5, CRC32, CRC32C, CRC64NVME };

std::unique_ptr<RunningHash> MakeHash(HashKind kind);

// Feeds `length` bytes of `stream` from absolute offset 0 (all of it when length < 0) to every
// given hash, then puts the stream back where it was. Returns the number of bytes read.
long long HashStream(Aws::IOStream& stream, long long length, RunningHash* first,
                     RunningHash* second);
}  // namespace Internal
}  // namespace Aws
