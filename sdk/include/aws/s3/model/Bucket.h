#pragma once

#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// One bucket of a bucket listing.
class AWS_S3_API Bucket {
  public:
    inline const Aws::String& GetName() const { return m_name; }
    template <typename NameT = Aws::String>
    void SetName(NameT&& value) {
        m_nameHasBeenSet = true;
        m_name = std::forward<NameT>(value);
    }
    template <typename NameT = Aws::String>
    Bucket& WithName(NameT&& value) {
        SetName(std::forward<NameT>(value));
        return *this;
    }
    inline bool NameHasBeenSet() const { return m_nameHasBeenSet; }

    inline const Aws::Utils::DateTime& GetCreationDate() const { return m_creationDate; }
    template <typename CreationDateT = Aws::Utils::DateTime>
    void SetCreationDate(CreationDateT&& value) {
        m_creationDateHasBeenSet = true;
        m_creationDate = std::forward<CreationDateT>(value);
    }
    template <typename CreationDateT = Aws::Utils::DateTime>
    Bucket& WithCreationDate(CreationDateT&& value) {
        SetCreationDate(std::forward<CreationDateT>(value));
        return *this;
    }
    inline bool CreationDateHasBeenSet() const { return m_creationDateHasBeenSet; }

    inline const Aws::String& GetBucketRegion() const { return m_bucketRegion; }
    template <typename BucketRegionT = Aws::String>
    void SetBucketRegion(BucketRegionT&& value) {
        m_bucketRegionHasBeenSet = true;
        m_bucketRegion = std::forward<BucketRegionT>(value);
    }
    template <typename BucketRegionT = Aws::String>
    Bucket& WithBucketRegion(BucketRegionT&& value) {
        SetBucketRegion(std::forward<BucketRegionT>(value));
        return *this;
    }
    inline bool BucketRegionHasBeenSet() const { return m_bucketRegionHasBeenSet; }

  private:
    Aws::String m_name;
    bool m_nameHasBeenSet = false;
    Aws::Utils::DateTime m_creationDate;
    bool m_creationDateHasBeenSet = false;
    Aws::String m_bucketRegion;
    bool m_bucketRegionHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
