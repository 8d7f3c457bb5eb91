#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
class AWS_S3_API CreateMultipartUploadResult {
  public:
    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    CreateMultipartUploadResult& WithBucket(BucketT&& value) {
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
    CreateMultipartUploadResult& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::String& GetUploadId() const { return m_uploadId; }
    template <typename UploadIdT = Aws::String>
    void SetUploadId(UploadIdT&& value) {
        m_uploadIdHasBeenSet = true;
        m_uploadId = std::forward<UploadIdT>(value);
    }
    template <typename UploadIdT = Aws::String>
    CreateMultipartUploadResult& WithUploadId(UploadIdT&& value) {
        SetUploadId(std::forward<UploadIdT>(value));
        return *this;
    }
    inline bool UploadIdHasBeenSet() const { return m_uploadIdHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    CreateMultipartUploadResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::String m_uploadId;
    bool m_uploadIdHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
