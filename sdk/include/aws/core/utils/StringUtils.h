#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>

namespace Aws {
namespace Utils {
class AWS_CORE_API StringUtils {
  public:
    static Aws::String ToLower(const char* source);
    static Aws::String ToUpper(const char* source);
    static Aws::String Trim(const char* source);
    static Aws::String LTrim(const char* source);
    static Aws::String RTrim(const char* source);
    static bool CaselessCompare(const char* value1, const char* value2);
    static Aws::Vector<Aws::String> Split(const Aws::String& toSplit, char splitOn);
    // Percent-encodes every byte except unreserved characters (A-Z a-z 0-9 - _ . ~).
    static Aws::String URLEncode(const char* unsafe);
    static Aws::String URLDecode(const char* safe);
    static Aws::String Replace(const Aws::String& s, const char* search, const char* replace);
    static long long ConvertToInt64(const char* source);
    static int ConvertToInt32(const char* source);
};
}  // namespace Utils
}  // namespace Aws
