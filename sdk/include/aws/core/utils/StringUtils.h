#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>

namespace Aws {
namespace Utils {
class AWS_CORE_API StringUtils {
  public:
    static Aws::String ToLower(const char* source);
    static Aws::String Trim(const char* source);
    static Aws::String LTrim(const char* source);
    static Aws::String RTrim(const char* source);
    // Undoes percent-encoding; '+' stands for a space, as in the listings a service sends
    // with encoding-type=url.
    static Aws::String URLDecode(const char* safe);
    static Aws::String Replace(const Aws::String& s, const char* search, const char* replace);
    static long long ConvertToInt64(const char* source);
    static int ConvertToInt32(const char* source);
};
}  // namespace Utils
}  // namespace Aws
