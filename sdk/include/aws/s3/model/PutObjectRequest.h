#pragma once

#include <aws/core/utils/memory/stl/AWSMap.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/ChecksumAlgorithm.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// PUT of one object; the body comes from SetBody. Bucket and Key are required.
class AWS_S3_API PutObjectRequest : public StreamingS3Request {
  public:
    PutObjectRequest() = default;
    const char* GetServiceRequestName() const override { return "PutObject"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    PutObjectRequest& WithBucket(BucketT&& value) {
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
    PutObjectRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline long long GetContentLength() const { return m_contentLength; }
    inline void SetContentLength(long long value) {
        m_contentLengthHasBeenSet = true;
        m_contentLength = value;
    }
    inline PutObjectRequest& WithContentLength(long long value) {
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
    PutObjectRequest& WithContentMD5(ContentMD5T&& value) {
        SetContentMD5(std::forward<ContentMD5T>(value));
        return *this;
    }
    inline bool ContentMD5HasBeenSet() const { return m_contentMD5HasBeenSet; }

    inline ChecksumAlgorithm GetChecksumAlgorithm() const { return m_checksumAlgorithm; }
    inline void SetChecksumAlgorithm(ChecksumAlgorithm value) {
        m_checksumAlgorithmHasBeenSet = true;
        m_checksumAlgorithm = value;
    }
    inline PutObjectRequest& WithChecksumAlgorithm(ChecksumAlgorithm value) {
        SetChecksumAlgorithm(value);
        return *this;
    }
    inline bool ChecksumAlgorithmHasBeenSet() const { return m_checksumAlgorithmHasBeenSet; }

    inline const Aws::Map<Aws::String, Aws::String>& GetMetadata() const { return m_metadata; }
    template <typename MetadataT = Aws::Map<Aws::String, Aws::String>>
    void SetMetadata(MetadataT&& value) {
        m_metadataHasBeenSet = true;
        m_metadata = std::forward<MetadataT>(value);
    }
    template <typename MetadataT = Aws::Map<Aws::String, Aws::String>>
    PutObjectRequest& WithMetadata(MetadataT&& value) {
        SetMetadata(std::forward<MetadataT>(value));
        return *this;
    }
    inline bool MetadataHasBeenSet() const { return m_metadataHasBeenSet; }

    inline const Aws::String& GetStorageClass() const { return m_storageClass; }
    template <typename StorageClassT = Aws::String>
    void SetStorageClass(StorageClassT&& value) {
        m_storageClassHasBeenSet = true;
        m_storageClass = std::forward<StorageClassT>(value);
    }
    template <typename StorageClassT = Aws::String>
    PutObjectRequest& WithStorageClass(StorageClassT&& value) {
        SetStorageClass(std::forward<StorageClassT>(value));
        return *this;
    }
    inline bool StorageClassHasBeenSet() const { return m_storageClassHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    long long m_contentLength{0};
    bool m_contentLengthHasBeenSet = false;
    Aws::String m_contentMD5;
    bool m_contentMD5HasBeenSet = false;
    ChecksumAlgorithm m_checksumAlgorithm{ChecksumAlgorithm::NOT_SET};
    bool m_checksumAlgorithmHasBeenSet = false;
    Aws::Map<Aws::String, Aws::String> m_metadata;
    bool m_metadataHasBeenSet = false;
    Aws::String m_storageClass;
    bool m_storageClassHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
