#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/CommonPrefix.h>
#include <aws/s3/model/EncodingType.h>
#include <aws/s3/model/MultipartUpload.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// Keys, prefixes and markers are XML-decoded once; no URL decoding is applied.
class AWS_S3_API ListMultipartUploadsResult {
  public:
    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    ListMultipartUploadsResult& WithBucket(BucketT&& value) {
        SetBucket(std::forward<BucketT>(value));
        return *this;
    }
    inline bool BucketHasBeenSet() const { return m_bucketHasBeenSet; }

    inline const Aws::String& GetKeyMarker() const { return m_keyMarker; }
    template <typename KeyMarkerT = Aws::String>
    void SetKeyMarker(KeyMarkerT&& value) {
        m_keyMarkerHasBeenSet = true;
        m_keyMarker = std::forward<KeyMarkerT>(value);
    }
    template <typename KeyMarkerT = Aws::String>
    ListMultipartUploadsResult& WithKeyMarker(KeyMarkerT&& value) {
        SetKeyMarker(std::forward<KeyMarkerT>(value));
        return *this;
    }
    inline bool KeyMarkerHasBeenSet() const { return m_keyMarkerHasBeenSet; }

    inline const Aws::String& GetUploadIdMarker() const { return m_uploadIdMarker; }
    template <typename UploadIdMarkerT = Aws::String>
    void SetUploadIdMarker(UploadIdMarkerT&& value) {
        m_uploadIdMarkerHasBeenSet = true;
        m_uploadIdMarker = std::forward<UploadIdMarkerT>(value);
    }
    template <typename UploadIdMarkerT = Aws::String>
    ListMultipartUploadsResult& WithUploadIdMarker(UploadIdMarkerT&& value) {
        SetUploadIdMarker(std::forward<UploadIdMarkerT>(value));
        return *this;
    }
    inline bool UploadIdMarkerHasBeenSet() const { return m_uploadIdMarkerHasBeenSet; }

    inline const Aws::String& GetNextKeyMarker() const { return m_nextKeyMarker; }
    template <typename NextKeyMarkerT = Aws::String>
    void SetNextKeyMarker(NextKeyMarkerT&& value) {
        m_nextKeyMarkerHasBeenSet = true;
        m_nextKeyMarker = std::forward<NextKeyMarkerT>(value);
    }
    template <typename NextKeyMarkerT = Aws::String>
    ListMultipartUploadsResult& WithNextKeyMarker(NextKeyMarkerT&& value) {
        SetNextKeyMarker(std::forward<NextKeyMarkerT>(value));
        return *this;
    }
    inline bool NextKeyMarkerHasBeenSet() const { return m_nextKeyMarkerHasBeenSet; }

    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    ListMultipartUploadsResult& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetDelimiter() const { return m_delimiter; }
    template <typename DelimiterT = Aws::String>
    void SetDelimiter(DelimiterT&& value) {
        m_delimiterHasBeenSet = true;
        m_delimiter = std::forward<DelimiterT>(value);
    }
    template <typename DelimiterT = Aws::String>
    ListMultipartUploadsResult& WithDelimiter(DelimiterT&& value) {
        SetDelimiter(std::forward<DelimiterT>(value));
        return *this;
    }
    inline bool DelimiterHasBeenSet() const { return m_delimiterHasBeenSet; }

    inline const Aws::String& GetNextUploadIdMarker() const { return m_nextUploadIdMarker; }
    template <typename NextUploadIdMarkerT = Aws::String>
    void SetNextUploadIdMarker(NextUploadIdMarkerT&& value) {
        m_nextUploadIdMarkerHasBeenSet = true;
        m_nextUploadIdMarker = std::forward<NextUploadIdMarkerT>(value);
    }
    template <typename NextUploadIdMarkerT = Aws::String>
    ListMultipartUploadsResult& WithNextUploadIdMarker(NextUploadIdMarkerT&& value) {
        SetNextUploadIdMarker(std::forward<NextUploadIdMarkerT>(value));
        return *this;
    }
    inline bool NextUploadIdMarkerHasBeenSet() const { return m_nextUploadIdMarkerHasBeenSet; }

    inline int GetMaxUploads() const { return m_maxUploads; }
    inline void SetMaxUploads(int value) {
        m_maxUploadsHasBeenSet = true;
        m_maxUploads = value;
    }
    inline ListMultipartUploadsResult& WithMaxUploads(int value) {
        SetMaxUploads(value);
        return *this;
    }
    inline bool MaxUploadsHasBeenSet() const { return m_maxUploadsHasBeenSet; }

    inline bool GetIsTruncated() const { return m_isTruncated; }
    inline void SetIsTruncated(bool value) {
        m_isTruncatedHasBeenSet = true;
        m_isTruncated = value;
    }
    inline ListMultipartUploadsResult& WithIsTruncated(bool value) {
        SetIsTruncated(value);
        return *this;
    }
    inline bool IsTruncatedHasBeenSet() const { return m_isTruncatedHasBeenSet; }

    inline const Aws::Vector<MultipartUpload>& GetUploads() const { return m_uploads; }
    template <typename UploadsT = Aws::Vector<MultipartUpload>>
    void SetUploads(UploadsT&& value) {
        m_uploadsHasBeenSet = true;
        m_uploads = std::forward<UploadsT>(value);
    }
    template <typename UploadsT = Aws::Vector<MultipartUpload>>
    ListMultipartUploadsResult& WithUploads(UploadsT&& value) {
        SetUploads(std::forward<UploadsT>(value));
        return *this;
    }
    template <typename UploadsT = MultipartUpload>
    ListMultipartUploadsResult& AddUploads(UploadsT&& value) {
        m_uploadsHasBeenSet = true;
        m_uploads.emplace_back(std::forward<UploadsT>(value));
        return *this;
    }
    inline bool UploadsHasBeenSet() const { return m_uploadsHasBeenSet; }

    inline const Aws::Vector<CommonPrefix>& GetCommonPrefixes() const { return m_commonPrefixes; }
    template <typename CommonPrefixesT = Aws::Vector<CommonPrefix>>
    void SetCommonPrefixes(CommonPrefixesT&& value) {
        m_commonPrefixesHasBeenSet = true;
        m_commonPrefixes = std::forward<CommonPrefixesT>(value);
    }
    template <typename CommonPrefixesT = Aws::Vector<CommonPrefix>>
    ListMultipartUploadsResult& WithCommonPrefixes(CommonPrefixesT&& value) {
        SetCommonPrefixes(std::forward<CommonPrefixesT>(value));
        return *this;
    }
    template <typename CommonPrefixesT = CommonPrefix>
    ListMultipartUploadsResult& AddCommonPrefixes(CommonPrefixesT&& value) {
        m_commonPrefixesHasBeenSet = true;
        m_commonPrefixes.emplace_back(std::forward<CommonPrefixesT>(value));
        return *this;
    }
    inline bool CommonPrefixesHasBeenSet() const { return m_commonPrefixesHasBeenSet; }

    inline EncodingType GetEncodingType() const { return m_encodingType; }
    inline void SetEncodingType(EncodingType value) {
        m_encodingTypeHasBeenSet = true;
        m_encodingType = value;
    }
    inline ListMultipartUploadsResult& WithEncodingType(EncodingType value) {
        SetEncodingType(value);
        return *this;
    }
    inline bool EncodingTypeHasBeenSet() const { return m_encodingTypeHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    ListMultipartUploadsResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_keyMarker;
    bool m_keyMarkerHasBeenSet = false;
    Aws::String m_uploadIdMarker;
    bool m_uploadIdMarkerHasBeenSet = false;
    Aws::String m_nextKeyMarker;
    bool m_nextKeyMarkerHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_delimiter;
    bool m_delimiterHasBeenSet = false;
    Aws::String m_nextUploadIdMarker;
    bool m_nextUploadIdMarkerHasBeenSet = false;
    int m_maxUploads{0};
    bool m_maxUploadsHasBeenSet = false;
    bool m_isTruncated{false};
    bool m_isTruncatedHasBeenSet = false;
    Aws::Vector<MultipartUpload> m_uploads;
    bool m_uploadsHasBeenSet = false;
    Aws::Vector<CommonPrefix> m_commonPrefixes;
    bool m_commonPrefixesHasBeenSet = false;
    EncodingType m_encodingType{EncodingType::NOT_SET};
    bool m_encodingTypeHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
