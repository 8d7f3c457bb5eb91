#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/EncodingType.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// GET ?uploads on a bucket: the multipart uploads begun and neither completed nor aborted.
// Bucket is required.
class AWS_S3_API ListMultipartUploadsRequest : public S3Request {
  public:
    ListMultipartUploadsRequest() = default;
    const char* GetServiceRequestName() const override { return "ListMultipartUploads"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    ListMultipartUploadsRequest& WithBucket(BucketT&& value) {
        SetBucket(std::forward<BucketT>(value));
        return *this;
    }
    inline bool BucketHasBeenSet() const { return m_bucketHasBeenSet; }

    inline const Aws::String& GetDelimiter() const { return m_delimiter; }
    template <typename DelimiterT = Aws::String>
    void SetDelimiter(DelimiterT&& value) {
        m_delimiterHasBeenSet = true;
        m_delimiter = std::forward<DelimiterT>(value);
    }
    template <typename DelimiterT = Aws::String>
    ListMultipartUploadsRequest& WithDelimiter(DelimiterT&& value) {
        SetDelimiter(std::forward<DelimiterT>(value));
        return *this;
    }
    inline bool DelimiterHasBeenSet() const { return m_delimiterHasBeenSet; }

    inline EncodingType GetEncodingType() const { return m_encodingType; }
    inline void SetEncodingType(EncodingType value) {
        m_encodingTypeHasBeenSet = true;
        m_encodingType = value;
    }
    inline ListMultipartUploadsRequest& WithEncodingType(EncodingType value) {
        SetEncodingType(value);
        return *this;
    }
    inline bool EncodingTypeHasBeenSet() const { return m_encodingTypeHasBeenSet; }

    inline const Aws::String& GetKeyMarker() const { return m_keyMarker; }
    template <typename KeyMarkerT = Aws::String>
    void SetKeyMarker(KeyMarkerT&& value) {
        m_keyMarkerHasBeenSet = true;
        m_keyMarker = std::forward<KeyMarkerT>(value);
    }
    template <typename KeyMarkerT = Aws::String>
    ListMultipartUploadsRequest& WithKeyMarker(KeyMarkerT&& value) {
        SetKeyMarker(std::forward<KeyMarkerT>(value));
        return *this;
    }
    inline bool KeyMarkerHasBeenSet() const { return m_keyMarkerHasBeenSet; }

    inline int GetMaxUploads() const { return m_maxUploads; }
    inline void SetMaxUploads(int value) {
        m_maxUploadsHasBeenSet = true;
        m_maxUploads = value;
    }
    inline ListMultipartUploadsRequest& WithMaxUploads(int value) {
        SetMaxUploads(value);
        return *this;
    }
    inline bool MaxUploadsHasBeenSet() const { return m_maxUploadsHasBeenSet; }

    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    ListMultipartUploadsRequest& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetUploadIdMarker() const { return m_uploadIdMarker; }
    template <typename UploadIdMarkerT = Aws::String>
    void SetUploadIdMarker(UploadIdMarkerT&& value) {
        m_uploadIdMarkerHasBeenSet = true;
        m_uploadIdMarker = std::forward<UploadIdMarkerT>(value);
    }
    template <typename UploadIdMarkerT = Aws::String>
    ListMultipartUploadsRequest& WithUploadIdMarker(UploadIdMarkerT&& value) {
        SetUploadIdMarker(std::forward<UploadIdMarkerT>(value));
        return *this;
    }
    inline bool UploadIdMarkerHasBeenSet() const { return m_uploadIdMarkerHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_delimiter;
    bool m_delimiterHasBeenSet = false;
    EncodingType m_encodingType{EncodingType::NOT_SET};
    bool m_encodingTypeHasBeenSet = false;
    Aws::String m_keyMarker;
    bool m_keyMarkerHasBeenSet = false;
    int m_maxUploads{0};
    bool m_maxUploadsHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_uploadIdMarker;
    bool m_uploadIdMarkerHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
