#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/memory/stl/AWSString.h>

namespace Aws {
namespace Utils {
namespace Xml {
// Replaces, in this order and each over the whole string, &quot; &apos; &lt; &gt; &amp; &#xA;
// and &#xD; with the characters they stand for. No other references are decoded.
AWS_CORE_API Aws::String DecodeEscapedXmlText(const Aws::String& textToDecode);
}  // namespace Xml
}  // namespace Utils
}  // namespace Aws
