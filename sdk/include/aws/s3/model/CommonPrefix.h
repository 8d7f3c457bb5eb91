#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// A key prefix rolled up by a listing's delimiter.
class AWS_S3_API CommonPrefix {
  public:
    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    CommonPrefix& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

  private:
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
