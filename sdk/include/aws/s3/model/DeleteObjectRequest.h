#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// DELETE of one object. Bucket and Key are required.
class AWS_S3_API DeleteObjectRequest : public S3Request {
  public:
    DeleteObjectRequest() = default;
    const char* GetServiceRequestName() const override { return "DeleteObject"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    DeleteObjectRequest& WithBucket(BucketT&& value) {
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
    DeleteObjectRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::String& GetVersionId() const { return m_versionId; }
    template <typename VersionIdT = Aws::String>
    void SetVersionId(VersionIdT&& value) {
        m_versionIdHasBeenSet = true;
        m_versionId = std::forward<VersionIdT>(value);
    }
    template <typename VersionIdT = Aws::String>
    DeleteObjectRequest& WithVersionId(VersionIdT&& value) {
        SetVersionId(std::forward<VersionIdT>(value));
        return *this;
    }
    inline bool VersionIdHasBeenSet() const { return m_versionIdHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::String m_versionId;
    bool m_versionIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
