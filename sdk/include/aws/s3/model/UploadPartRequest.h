#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/ChecksumAlgorithm.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// PUT ?partNumber=N&uploadId=U; Bucket, Key, PartNumber and UploadId are required.
class AWS_S3_API UploadPartRequest : public StreamingS3Request {
  public:
    UploadPartRequest() = default;
    const char* GetServiceRequestName() const override { return "UploadPart"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    UploadPartRequest& WithBucket(BucketT&& value) {
        SetBucket(std::forward<BucketT>(value));
        return *this;
    }
    inline bool BucketHasBeenSet() const { return m_bucketHasBeenSet; }

    inline long long GetContentLength() const { return m_contentLength; }
    inline void SetContentLength(long long value) {
        m_contentLengthHasBeenSet = true;
        m_contentLength = value;
    }
    inline UploadPartRequest& WithContentLength(long long value) {
        SetContentLength(value);
        return *this;
    }
    inline bool ContentLengthHasBeenSet() const { return m_contentLengthHasBeenSet; }

    inline const Aws::String& GetContentMD5() const { return m_contentMD5; }
    template <typename ContentMD5T = Aws::String>
    void SetContentMD5(ContentMD5T&& value) {
        m_contentMD5HasBeenSet = true;
        m_contentMD5 = std::forward<ContentMD5T>(value);
    }
    template <typename ContentMD5T = Aws::String>
    UploadPartRequest& WithContentMD5(ContentMD5T&& value) {
        SetContentMD5(std::forward<ContentMD5T>(value));
        return *this;
    }
    inline bool ContentMD5HasBeenSet() const { return m_contentMD5HasBeenSet; }

    inline ChecksumAlgorithm GetChecksumAlgorithm() const { return m_checksumAlgorithm; }
    inline void SetChecksumAlgorithm(ChecksumAlgorithm value) {
        m_checksumAlgorithmHasBeenSet = true;
        m_checksumAlgorithm = value;
    }
    inline UploadPartRequest& WithChecksumAlgorithm(ChecksumAlgorithm value) {
        SetChecksumAlgorithm(value);
        return *this;
    }
    inline bool ChecksumAlgorithmHasBeenSet() const { return m_checksumAlgorithmHasBeenSet; }

    inline const Aws::String& GetKey() const { return m_key; }
    template <typename KeyT = Aws::String>
    void SetKey(KeyT&& value) {
        m_keyHasBeenSet = true;
        m_key = std::forward<KeyT>(value);
    }
    template <typename KeyT = Aws::String>
    UploadPartRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline int GetPartNumber() const { return m_partNumber; }
    inline void SetPartNumber(int value) {
        m_partNumberHasBeenSet = true;
        m_partNumber = value;
    }
    inline UploadPartRequest& WithPartNumber(int value) {
        SetPartNumber(value);
        return *this;
    }
    inline bool PartNumberHasBeenSet() const { return m_partNumberHasBeenSet; }

    inline const Aws::String& GetUploadId() const { return m_uploadId; }
    template <typename UploadIdT = Aws::String>
    void SetUploadId(UploadIdT&& value) {
        m_uploadIdHasBeenSet = true;
        m_uploadId = std::forward<UploadIdT>(value);
    }
    template <typename UploadIdT = Aws::String>
    UploadPartRequest& WithUploadId(UploadIdT&& value) {
        SetUploadId(std::forward<UploadIdT>(value));
        return *this;
    }
    inline bool UploadIdHasBeenSet() const { return m_uploadIdHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    long long m_contentLength{0};
    bool m_contentLengthHasBeenSet = false;
    Aws::String m_contentMD5;
    bool m_contentMD5HasBeenSet = false;
    ChecksumAlgorithm m_checksumAlgorithm{ChecksumAlgorithm::NOT_SET};
    bool m_checksumAlgorithmHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    int m_partNumber{0};
    bool m_partNumberHasBeenSet = false;
    Aws::String m_uploadId;
    bool m_uploadIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
