#pragma once

#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/http/HttpTypes.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>

#include <utility>

namespace Aws {
namespace Internal {
using QueryParameters = Aws::Vector<std::pair<Aws::String, Aws::String>>;

// What Signature Version 4 covers of a request.
struct SigningInput {
    Aws::String method;         // "GET", "PUT", ...
    Aws::String canonicalPath;  // encoded once, starting with '/'
    QueryParameters query;      // raw names and values, in any order
    // Lower-case names. Must already hold host, x-amz-date and x-amz-content-sha256; every
    // header is signed except user-agent and x-amzn-trace-id.
    Aws::Http::HeaderValueCollection headers;
    Aws::String payloadHash;  // hex SHA-256, UNSIGNED-PAYLOAD or a streaming marker
};

Aws::String CanonicalRequest(const SigningInput& input, Aws::String* signedHeaders);

// The Authorization header value. amzDate is the x-amz-date value (yyyymmddThhmmssZ).
Aws::String ComputeAuthorization(const SigningInput& input,
                                 const Aws::Auth::AWSCredentials& credentials,
                                 const Aws::String& region, const Aws::String& service,
                                 const Aws::String& amzDate);
}  // namespace Internal
}  // namespace Aws
