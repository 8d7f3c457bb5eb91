#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// A 200 answer whose body is an <Error> is an error outcome, not this result.
class AWS_S3_API CompleteMultipartUploadResult {
  public:
    inline const Aws::String& GetLocation() const { return m_location; }
    template <typename LocationT = Aws::String>
    void SetLocation(LocationT&& value) {
        m_locationHasBeenSet = true;
        m_location = std::forward<LocationT>(value);
    }
    template <typename LocationT = Aws::String>
    CompleteMultipartUploadResult& WithLocation(LocationT&& value) {
        SetLocation(std::forward<LocationT>(value));
        return *this;
    }
    inline bool LocationHasBeenSet() const { return m_locationHasBeenSet; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    CompleteMultipartUploadResult& WithBucket(BucketT&& value) {
        SetBucket(std::forward<BucketT>(value));
        return *this;
    }
    inline bool BucketHasBeenSet() const { return m_bucketHasBeenSet; }

    inline const Aws::String& GetKey() const { return m_key; }
    template <typename KeyT = Aws::String>
    void SetKey(KeyT&& value) {
        m_keyHasBeenSet = true;
        m_key = std::forward<KeyT>(value);
    }
    template <typename KeyT = Aws::String>
    CompleteMultipartUploadResult& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::String& GetETag() const { return m_eTag; }
    template <typename ETagT = Aws::String>
    void SetETag(ETagT&& value) {
        m_eTagHasBeenSet = true;
        m_eTag = std::forward<ETagT>(value);
    }
    template <typename ETagT = Aws::String>
    CompleteMultipartUploadResult& WithETag(ETagT&& value) {
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
    CompleteMultipartUploadResult& WithChecksumCRC64NVME(ChecksumCRC64NVMET&& value) {
        SetChecksumCRC64NVME(std::forward<ChecksumCRC64NVMET>(value));
        return *this;
    }
    inline bool ChecksumCRC64NVMEHasBeenSet() const { return m_checksumCRC64NVMEHasBeenSet; }

    inline const Aws::String& GetVersionId() const { return m_versionId; }
    template <typename VersionIdT = Aws::String>
    void SetVersionId(VersionIdT&& value) {
        m_versionIdHasBeenSet = true;
        m_versionId = std::forward<VersionIdT>(value);
    }
    template <typename VersionIdT = Aws::String>
    CompleteMultipartUploadResult& WithVersionId(VersionIdT&& value) {
        SetVersionId(std::forward<VersionIdT>(value));
        return *this;
    }
    inline bool VersionIdHasBeenSet() const { return m_versionIdHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    CompleteMultipartUploadResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    Aws::String m_location;
    bool m_locationHasBeenSet = false;
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::String m_eTag;
    bool m_eTagHasBeenSet = false;
    Aws::String m_checksumCRC64NVME;
    bool m_checksumCRC64NVMEHasBeenSet = false;
    Aws::String m_versionId;
    bool m_versionIdHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
