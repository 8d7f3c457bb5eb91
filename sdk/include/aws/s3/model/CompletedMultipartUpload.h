#pragma once

#include <aws/core/utils/memory/stl/AWSVector.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/CompletedPart.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// The part list of a CompleteMultipartUpload request.
class AWS_S3_API CompletedMultipartUpload {
  public:
    inline const Aws::Vector<CompletedPart>& GetParts() const { return m_parts; }
    template <typename PartsT = Aws::Vector<CompletedPart>>
    void SetParts(PartsT&& value) {
        m_partsHasBeenSet = true;
        m_parts = std::forward<PartsT>(value);
    }
    template <typename PartsT = Aws::Vector<CompletedPart>>
    CompletedMultipartUpload& WithParts(PartsT&& value) {
        SetParts(std::forward<PartsT>(value));
        return *this;
    }
    template <typename PartsT = CompletedPart>
    CompletedMultipartUpload& AddParts(PartsT&& value) {
        m_partsHasBeenSet = true;
        m_parts.emplace_back(std::forward<PartsT>(value));
        return *this;
    }
    inline bool PartsHasBeenSet() const { return m_partsHasBeenSet; }

  private:
    Aws::Vector<CompletedPart> m_parts;
    bool m_partsHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
