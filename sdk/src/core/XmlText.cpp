#include <aws/core/utils/StringUtils.h>
#include <aws/core/utils/xml/XmlSerializer.h>

namespace Aws {
namespace Utils {
namespace Xml {
Aws::String DecodeEscapedXmlText(const Aws::String& textToDecode) {
    // Each replacement is a full pass of its own, in this order; so "&amp;lt;" becomes "&lt;"
    // and stays that way, while "&amp;#xA;" becomes a line feed.
    Aws::String decoded = textToDecode;
    decoded = StringUtils::Replace(decoded, "&quot;", "\"");
    decoded = StringUtils::Replace(decoded, "&apos;", "'");
    decoded = StringUtils::Replace(decoded, "&lt;", "<");
    decoded = StringUtils::Replace(decoded, "&gt;", ">");
    decoded = StringUtils::Replace(decoded, "&amp;", "&");
    decoded = StringUtils::Replace(decoded, "&#xA;", "\n");
    decoded = StringUtils::Replace(decoded, "&#xD;", "\r");
    return decoded;
}
}  // namespace Xml
}  // namespace Utils
}  // namespace Aws
