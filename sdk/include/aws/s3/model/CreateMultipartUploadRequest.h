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
// POST ?uploads on an object. Bucket and Key are required.
class AWS_S3_API CreateMultipartUploadRequest : public S3Request {
  public:
    CreateMultipartUploadRequest() = default;
    const char* GetServiceRequestName() const override { return "CreateMultipartUpload"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    CreateMultipartUploadRequest& WithBucket(BucketT&& value) {
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
    CreateMultipartUploadRequest& WithKey(KeyT&& value) {
        SetKey(std::forward<KeyT>(value));
        return *this;
    }
    inline bool KeyHasBeenSet() const { return m_keyHasBeenSet; }

    inline const Aws::String& GetContentType() const { return m_contentType; }
    template <typename ContentTypeT = Aws::String>
    void SetContentType(ContentTypeT&& value) {
        m_contentTypeHasBeenSet = true;
        m_contentType = std::forward<ContentTypeT>(value);
    }
    template <typename ContentTypeT = Aws::String>
    CreateMultipartUploadRequest& WithContentType(ContentTypeT&& value) {
        SetContentType(std::forward<ContentTypeT>(value));
        return *this;
    }
    inline bool ContentTypeHasBeenSet() const { return m_contentTypeHasBeenSet; }

    inline ChecksumAlgorithm GetChecksumAlgorithm() const { return m_checksumAlgorithm; }
    inline void SetChecksumAlgorithm(ChecksumAlgorithm value) {
        m_checksumAlgorithmHasBeenSet = true;
        m_checksumAlgorithm = value;
    }
    inline CreateMultipartUploadRequest& WithChecksumAlgorithm(ChecksumAlgorithm value) {
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
    CreateMultipartUploadRequest& WithMetadata(MetadataT&& value) {
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
    CreateMultipartUploadRequest& WithStorageClass(StorageClassT&& value) {
        SetStorageClass(std::forward<StorageClassT>(value));
        return *this;
    }
    inline bool StorageClassHasBeenSet() const { return m_storageClassHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_key;
    bool m_keyHasBeenSet = false;
    Aws::String m_contentType;
    bool m_contentTypeHasBeenSet = false;
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
