#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/EncodingType.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// GET ?list-type=2 on a bucket. Bucket is required.
class AWS_S3_API ListObjectsV2Request : public S3Request {
  public:
    ListObjectsV2Request() = default;
    const char* GetServiceRequestName() const override { return "ListObjectsV2"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    ListObjectsV2Request& WithBucket(BucketT&& value) {
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
    ListObjectsV2Request& WithDelimiter(DelimiterT&& value) {
        SetDelimiter(std::forward<DelimiterT>(value));
        return *this;
    }
    inline bool DelimiterHasBeenSet() const { return m_delimiterHasBeenSet; }

    inline EncodingType GetEncodingType() const { return m_encodingType; }
    inline void SetEncodingType(EncodingType value) {
        m_encodingTypeHasBeenSet = true;
        m_encodingType = value;
    }
    inline ListObjectsV2Request& WithEncodingType(EncodingType value) {
        SetEncodingType(value);
        return *this;
    }
    inline bool EncodingTypeHasBeenSet() const { return m_encodingTypeHasBeenSet; }

    inline int GetMaxKeys() const { return m_maxKeys; }
    inline void SetMaxKeys(int value) {
        m_maxKeysHasBeenSet = true;
        m_maxKeys = value;
    }
    inline ListObjectsV2Request& WithMaxKeys(int value) {
        SetMaxKeys(value);
        return *this;
    }
    inline bool MaxKeysHasBeenSet() const { return m_maxKeysHasBeenSet; }

    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    ListObjectsV2Request& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetContinuationToken() const { return m_continuationToken; }
    template <typename ContinuationTokenT = Aws::String>
    void SetContinuationToken(ContinuationTokenT&& value) {
        m_continuationTokenHasBeenSet = true;
        m_continuationToken = std::forward<ContinuationTokenT>(value);
    }
    template <typename ContinuationTokenT = Aws::String>
    ListObjectsV2Request& WithContinuationToken(ContinuationTokenT&& value) {
        SetContinuationToken(std::forward<ContinuationTokenT>(value));
        return *this;
    }
    inline bool ContinuationTokenHasBeenSet() const { return m_continuationTokenHasBeenSet; }

    inline bool GetFetchOwner() const { return m_fetchOwner; }
    inline void SetFetchOwner(bool value) {
        m_fetchOwnerHasBeenSet = true;
        m_fetchOwner = value;
    }
    inline ListObjectsV2Request& WithFetchOwner(bool value) {
        SetFetchOwner(value);
        return *this;
    }
    inline bool FetchOwnerHasBeenSet() const { return m_fetchOwnerHasBeenSet; }

    inline const Aws::String& GetStartAfter() const { return m_startAfter; }
    template <typename StartAfterT = Aws::String>
    void SetStartAfter(StartAfterT&& value) {
        m_startAfterHasBeenSet = true;
        m_startAfter = std::forward<StartAfterT>(value);
    }
    template <typename StartAfterT = Aws::String>
    ListObjectsV2Request& WithStartAfter(StartAfterT&& value) {
        SetStartAfter(std::forward<StartAfterT>(value));
        return *this;
    }
    inline bool StartAfterHasBeenSet() const { return m_startAfterHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_delimiter;
    bool m_delimiterHasBeenSet = false;
    EncodingType m_encodingType{EncodingType::NOT_SET};
    bool m_encodingTypeHasBeenSet = false;
    int m_maxKeys{0};
    bool m_maxKeysHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_continuationToken;
    bool m_continuationTokenHasBeenSet = false;
    bool m_fetchOwner{false};
    bool m_fetchOwnerHasBeenSet = false;
    Aws::String m_startAfter;
    bool m_startAfterHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
