#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/ChecksumMode.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// GET of an object, whole or a byte range ("bytes=a-b"). Bucket and Key are required.
class AWS_S3_API GetObjectRequest : public S3Request {
  public:
    GetObjectRequest() = default;
    const char* GetServiceRequestName() const override { return "GetObject"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    GetObjectRequest& WithBucket(BucketT&& value) {
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
    GetObjectRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::String& GetRange() const { return m_range; }
    template <typename RangeT = Aws::String>
    void SetRange(RangeT&& value) {
        m_rangeHasBeenSet = true;
        m_range = std::forward<RangeT>(value);
    }
    template <typename RangeT = Aws::String>
    GetObjectRequest& WithRange(RangeT&& value) {
        SetRange(std::forward<RangeT>(value));
        return *this;
    }
    inline bool RangeHasBeenSet() const { return m_rangeHasBeenSet; }

    inline const Aws::String& GetVersionId() const { return m_versionId; }
    template <typename VersionIdT = Aws::String>
    void SetVersionId(VersionIdT&& value) {
        m_versionIdHasBeenSet = true;
        m_versionId = std::forward<VersionIdT>(value);
    }
    template <typename VersionIdT = Aws::String>
    GetObjectRequest& WithVersionId(VersionIdT&& value) {
        SetVersionId(std::forward<VersionIdT>(value));
        return *this;
    }
    inline bool VersionIdHasBeenSet() const { return m_versionIdHasBeenSet; }

    inline int GetPartNumber() const { return m_partNumber; }
    inline void SetPartNumber(int value) {
        m_partNumberHasBeenSet = true;
        m_partNumber = value;
    }
    inline GetObjectRequest& WithPartNumber(int value) {
        SetPartNumber(value);
        return *this;
    }
    inline bool PartNumberHasBeenSet() const { return m_partNumberHasBeenSet; }

    inline ChecksumMode GetChecksumMode() const { return m_checksumMode; }
    inline void SetChecksumMode(ChecksumMode value) {
        m_checksumModeHasBeenSet = true;
        m_checksumMode = value;
    }
    inline GetObjectRequest& WithChecksumMode(ChecksumMode value) {
        SetChecksumMode(value);
        return *this;
    }
    inline bool ChecksumModeHasBeenSet() const { return m_checksumModeHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::String m_range;
    bool m_rangeHasBeenSet = false;
    Aws::String m_versionId;
    bool m_versionIdHasBeenSet = false;
    int m_partNumber{0};
    bool m_partNumberHasBeenSet = false;
    ChecksumMode m_checksumMode{ChecksumMode::NOT_SET};
    bool m_checksumModeHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
