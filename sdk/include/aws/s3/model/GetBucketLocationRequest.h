#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3Request.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// GET ?location on a bucket.
class AWS_S3_API GetBucketLocationRequest : public S3Request {
  public:
    GetBucketLocationRequest() = default;
    const char* GetServiceRequestName() const override { return "GetBucketLocation"; }

    inline const Aws::String& GetBucket() const { return m_bucket; }
    template <typename BucketT = Aws::String>
    void SetBucket(BucketT&& value) {
        m_bucketHasBeenSet = true;
        m_bucket = std::forward<BucketT>(value);
    }
    template <typename BucketT = Aws::String>
    GetBucketLocationRequest& WithBucket(BucketT&& value) {
        SetBucket(std::forward<BucketT>(value));
        return *this;
    }
    inline bool BucketHasBeenSet() const { return m_bucketHasBeenSet; }

    inline const Aws::String& GetExpectedBucketOwner() const { return m_expectedBucketOwner; }
    template <typename ExpectedBucketOwnerT = Aws::String>
    void SetExpectedBucketOwner(ExpectedBucketOwnerT&& value) {
        m_expectedBucketOwnerHasBeenSet = true;
        m_expectedBucketOwner = std::forward<ExpectedBucketOwnerT>(value);
    }
    template <typename ExpectedBucketOwnerT = Aws::String>
    GetBucketLocationRequest& WithExpectedBucketOwner(ExpectedBucketOwnerT&& value) {
        SetExpectedBucketOwner(std::forward<ExpectedBucketOwnerT>(value));
        return *this;
    }
    inline bool ExpectedBucketOwnerHasBeenSet() const { return m_expectedBucketOwnerHasBeenSet; }

  private:
    Aws::String m_bucket;
    bool m_bucketHasBeenSet = false;
    Aws::String m_expectedBucketOwner;
    bool m_expectedBucketOwnerHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
