#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// A part named in a CompleteMultipartUpload request.
class AWS_S3_API CompletedPart {
  public:
    inline const Aws::String& GetETag() const { return m_eTag; }
    template <typename ETagT = Aws::String>
    void SetETag(ETagT&& value) {
        m_eTagHasBeenSet = true;
        m_eTag = std::forward<ETagT>(value);
    }
    template <typename ETagT = Aws::String>
    CompletedPart& WithETag(ETagT&& value) {
        SetETag(std::forward<ETagT>(value));
        return *this;
    }
    inline bool ETagHasBeenSet() const { return m_eTagHasBeenSet; }

    inline int GetPartNumber() const { return m_partNumber; }
    inline void SetPartNumber(int value) {
        m_partNumberHasBeenSet = true;
        m_partNumber = value;
    }
    inline CompletedPart& WithPartNumber(int value) {
        SetPartNumber(value);
        return *this;
    }
    inline bool PartNumberHasBeenSet() const { return m_partNumberHasBeenSet; }

    inline const Aws::String& GetChecksumCRC64NVME() const { return m_checksumCRC64NVME; }
    template <typename ChecksumCRC64NVMET = Aws::String>
    void SetChecksumCRC64NVME(ChecksumCRC64NVMET&& value) {
        m_checksumCRC64NVMEHasBeenSet = true;
        m_checksumCRC64NVME = std::forward<ChecksumCRC64NVMET>(value);
    }
    template <typename ChecksumCRC64NVMET = Aws::String>
    CompletedPart& WithChecksumCRC64NVME(ChecksumCRC64NVMET&& value) {
        SetChecksumCRC64NVME(std::forward<ChecksumCRC64NVMET>(value));
        return *this;
    }
    inline bool ChecksumCRC64NVMEHasBeenSet() const { return m_checksumCRC64NVMEHasBeenSet; }

  private:
    Aws::String m_eTag;
    bool m_eTagHasBeenSet = false;
    int m_partNumber{0};
    bool m_partNumberHasBeenSet = false;
    Aws::String m_checksumCRC64NVME;
    bool m_checksumCRC64NVMEHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
