#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/Bucket.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
class AWS_S3_API ListBucketsResult {
  public:
    inline const Aws::Vector<Bucket>& GetBuckets() const { return m_buckets; }
    template <typename BucketsT = Aws::Vector<Bucket>>
    void SetBuckets(BucketsT&& value) {
        m_bucketsHasBeenSet = true;
        m_buckets = std::forward<BucketsT>(value);
    }
    template <typename BucketsT = Aws::Vector<Bucket>>
    ListBucketsResult& WithBuckets(BucketsT&& value) {
        SetBuckets(std::forward<BucketsT>(value));
        return *this;
    }
    template <typename BucketsT = Bucket>
    ListBucketsResult& AddBuckets(BucketsT&& value) {
        m_bucketsHasBeenSet = true;
        m_buckets.emplace_back(std::forward<BucketsT>(value));
        return *this;
    }
    inline bool BucketsHasBeenSet() const { return m_bucketsHasBeenSet; }

    inline const Aws::String& GetContinuationToken() const { return m_continuationToken; }
    template <typename ContinuationTokenT = Aws::String>
    void SetContinuationToken(ContinuationTokenT&& value) {
        m_continuationTokenHasBeenSet = true;
        m_continuationToken = std::forward<ContinuationTokenT>(value);
    }
    template <typename ContinuationTokenT = Aws::String>
    ListBucketsResult& WithContinuationToken(ContinuationTokenT&& value) {
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
    ListBucketsResult& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    ListBucketsResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    Aws::Vector<Bucket> m_buckets;
    bool m_bucketsHasBeenSet = false;
    Aws::String m_continuationToken;
    bool m_continuationTokenHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
