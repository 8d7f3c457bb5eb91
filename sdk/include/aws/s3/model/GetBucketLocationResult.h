#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/BucketLocationConstraint.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// An empty constraint (us-east-1) is NOT_SET.
class AWS_S3_API GetBucketLocationResult {
  public:
    inline BucketLocationConstraint GetLocationConstraint() const { return m_locationConstraint; }
    inline void SetLocationConstraint(BucketLocationConstraint value) {
        m_locationConstraintHasBeenSet = true;
        m_locationConstraint = value;
    }
    inline GetBucketLocationResult& WithLocationConstraint(BucketLocationConstraint value) {
        SetLocationConstraint(value);
        return *this;
    }
    inline bool LocationConstraintHasBeenSet() const { return m_locationConstraintHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    GetBucketLocationResult& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    BucketLocationConstraint m_locationConstraint{BucketLocationConstraint::NOT_SET};
    bool m_locationConstraintHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
