#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// GET on the service endpoint; every member is optional.
class AWS_S3_API ListBucketsRequest : public S3Request {
  public:
    ListBucketsRequest() = default;
    const char* GetServiceRequestName() const override { return "ListBuckets"; }

    inline int GetMaxBuckets() const { return m_maxBuckets; }
    inline void SetMaxBuckets(int value) {
        m_maxBucketsHasBeenSet = true;
        m_maxBuckets = value;
    }
    inline ListBucketsRequest& WithMaxBuckets(int value) {
        SetMaxBuckets(value);
        return *this;
    }
    inline bool MaxBucketsHasBeenSet() const { return m_maxBucketsHasBeenSet; }

    inline const Aws::String& GetContinuationToken() const { return m_continuationToken; }
    template <typename ContinuationTokenT = Aws::String>
    void SetContinuationToken(ContinuationTokenT&& value) {
        m_continuationTokenHasBeenSet = true;
        m_continuationToken = std::forward<ContinuationTokenT>(value);
    }
    template <typename ContinuationTokenT = Aws::String>
    ListBucketsRequest& WithContinuationToken(ContinuationTokenT&& value) {
        SetContinuationToken(std::forward<ContinuationTokenT>(value));
        return *this;
    }
    inline bool ContinuationTokenHasBeenSet() const { return m_continuationTokenHasBeenSet; }

    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    ListBucketsRequest& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetBucketRegion() const { return m_bucketRegion; }
    template <typename BucketRegionT = Aws::String>
    void SetBucketRegion(BucketRegionT&& value) {
        m_bucketRegionHasBeenSet = true;
        m_bucketRegion = std::forward<BucketRegionT>(value);
    }
    template <typename BucketRegionT = Aws::String>
    ListBucketsRequest& WithBucketRegion(BucketRegionT&& value) {
        SetBucketRegion(std::forward<BucketRegionT>(value));
        return *this;
    }
    inline bool BucketRegionHasBeenSet() const { return m_bucketRegionHasBeenSet; }

  private:
    int m_maxBuckets{0};
    bool m_maxBucketsHasBeenSet = false;
    Aws::String m_continuationToken;
    bool m_continuationTokenHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_bucketRegion;
    bool m_bucketRegionHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
