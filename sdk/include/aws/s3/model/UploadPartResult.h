#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// The ETag comes from the etag response header.
class AWS_S3_API UploadPartResult {
  public:
    inline const Aws::String& GetETag() const { return m_eTag; }
    template <typename ETagT = Aws::String>
    void SetETag(ETagT&& value) {
        m_eTagHasBeenSet = true;
        m_eTag = std::forward<ETagT>(value);
    }
    template <typename ETagT = Aws::String>
    UploadPartResult& WithETag(ETagT&& value) {
        SetETag(std::forward<ETagT>(value));
        return *this;
    }
    inline bool ETagHasBeenSet() const { return m_eTagHasBeenSet; }

    inline const Aws::String& GetChecksumCRC64NVME() const { return m_checksumCRC64NVME; }
    template <typename ChecksumCRC64NVMET = Aws::String>
    void SetChecksumCRC64NVME(ChecksumCRC64NVMET&& value) {
        m_checksumCRC64NVMEHasBeenSet = true;
        m_checksumCRC64NVME = std::forward<ChecksumCRC64NVMET>(value);
    }
    template <typename ChecksumCRC64NVMET = Aws::String>
    UploadPartResult& WithChecksumCRC64NVME(ChecksumCRC64NVMET&& value) {
        SetChecksumCRC64NVME(std::forward<ChecksumCRC64NVMET>(value));
        return *this;
    }
    inline bool ChecksumCRC64NVMEHasBeenSet() const { return m_checksumCRC64NVMEHasBeenSet; }

    inline const Aws::String& GetChecksumCRC32() const { return m_checksumCRC32; }
    template <typename ChecksumCRC32T = Aws::String>
    void SetChecksumCRC32(ChecksumCRC32T&& value) {
        m_checksumCRC32HasBeenSet = true;
        m_checksumCRC32 = std::forward<ChecksumCRC32T>(value);
    }
    template <typename ChecksumCRC32T = Aws::String>
    UploadPartResult& WithChecksumCRC32(ChecksumCRC32T&& value) {
        SetChecksumCRC32(std::forward<ChecksumCRC32T>(value));
        return *this;
    }
    inline bool ChecksumCRC32HasBeenSet() const { return m_checksumCRC32HasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    UploadPartResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    Aws::String m_eTag;
    bool m_eTagHasBeenSet = false;
    Aws::String m_checksumCRC64NVME;
    bool m_checksumCRC64NVMEHasBeenSet = false;
    Aws::String m_checksumCRC32;
    bool m_checksumCRC32HasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
