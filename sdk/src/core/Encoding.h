#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>

namespace Aws {
namespace Internal {
// Percent-encodes every byte except A-Z a-z 0-9 - _ . ~ (upper-case hex). Used for query
// strings and for the path the signature covers.
Aws::String EncodeStrict(const Aws::String& value);

// Encodes a key segment by segment: '/' separators are kept, as are empty, "." and ".."
// segments, so the key reaches the service byte for byte. The wire form also leaves
// $ & , : = @ as they are; the service decodes the path before it checks the signature, which
// covers the strict form, so both agree.
Aws::String EncodeKeyPath(const Aws::String& key, bool wireForm);
}  // namespace Internal
}  // namespace Aws
