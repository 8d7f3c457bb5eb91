#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/CompletedMultipartUpload.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// POST ?uploadId=U with the part list. Bucket, Key and UploadId are required.
class AWS_S3_API CompleteMultipartUploadRequest : public S3Request {
  public:
    CompleteMultipartUploadRequest() = default;
    const char* GetServiceRequestName() const override { return "CompleteMultipartUpload"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    CompleteMultipartUploadRequest& WithBucket(BucketT&& value) {
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
    CompleteMultipartUploadRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const CompletedMultipartUpload& GetMultipartUpload() const { return m_multipartUpload; }
    template <typename MultipartUploadT = CompletedMultipartUpload>
    void SetMultipartUpload(MultipartUploadT&& value) {
        m_multipartUploadHasBeenSet = true;
        m_multipartUpload = std::forward<MultipartUploadT>(value);
    }
    template <typename MultipartUploadT = CompletedMultipartUpload>
    CompleteMultipartUploadRequest& WithMultipartUpload(MultipartUploadT&& value) {
        SetMultipartUpload(std::forward<MultipartUploadT>(value));
        return *this;
    }
    inline bool MultipartUploadHasBeenSet() const { return m_multipartUploadHasBeenSet; }

    inline const Aws::String& GetUploadId() const { return m_uploadId; }
    template <typename UploadIdT = Aws::String>
    void SetUploadId(UploadIdT&& value) {
        m_uploadIdHasBeenSet = true;
        m_uploadId = std::forward<UploadIdT>(value);
    }
    template <typename UploadIdT = Aws::String>
    CompleteMultipartUploadRequest& WithUploadId(UploadIdT&& value) {
        SetUploadId(std::forward<UploadIdT>(value));
        return *this;
    }
    inline bool UploadIdHasBeenSet() const { return m_uploadIdHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    CompletedMultipartUpload m_multipartUpload;
    bool m_multipartUploadHasBeenSet = false;
    Aws::String m_uploadId;
    bool m_uploadIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
