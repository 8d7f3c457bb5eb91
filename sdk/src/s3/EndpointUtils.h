#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>

namespace Aws {
namespace Internal {
struct ParsedUrl {
    Aws::String scheme;     // "http" or "https"
    Aws::String authority;  // host[:port], IPv6 in brackets
    Aws::String host;       // without port and brackets
    Aws::String path;       // "" or starting with '/'
};

// Accepts "http(s)://authority[/path]" with no query or fragment.
bool ParseEndpointUrl(const Aws::String& url, ParsedUrl& out);

bool IsValidHostLabel(const Aws::String& label, bool allowSubDomains);
bool IsIpLiteral(const Aws::String& host);
bool IsVirtualHostableBucket(const Aws::String& bucket, bool allowSubDomains);
}  // namespace Internal
}  // namespace Aws
