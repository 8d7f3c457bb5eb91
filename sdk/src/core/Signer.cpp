#include "core/Signer.h"

#include "core/Crypto.h"
#include "core/Encoding.h"

#include <algorithm>

namespace Aws {
namespace Internal {
namespace {
// Trims the value and collapses inner runs of spaces to one, as the canonical form requires.
Aws::String CanonicalHeaderValue(const Aws::String& value) {
    Aws::String out;
    bool pendingSpace = false;
    for (char c : value) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) out.push_back(' ');
        pendingSpace = false;
        out.push_back(c);
    }
    return out;
}

bool IsUnsignedHeader(const Aws::String& name) {
    return name == "user-agent" || name == "x-amzn-trace-id";
}
}  // namespace

Aws::String CanonicalRequest(const SigningInput& input, Aws::String* signedHeaders) {
    Aws::Vector<std::pair<Aws::String, Aws::String>> query;
    for (const auto& parameter : input.query) {
        query.emplace_back(EncodeStrict(parameter.first), EncodeStrict(parameter.second));
    }
    std::sort(query.begin(), query.end());
    Aws::String canonicalQuery;
    for (const auto& parameter : query) {
        if (!canonicalQuery.empty()) canonicalQuery.push_back('&');
        canonicalQuery += parameter.first + "=" + parameter.second;
    }

    Aws::String canonicalHeaders;
    Aws::String names;
    for (const auto& header : input.headers) {  // ordered by name
        if (IsUnsignedHeader(header.first)) continue;
        canonicalHeaders += header.first + ":" + CanonicalHeaderValue(header.second) + "\n";
        if (!names.empty()) names.push_back(';');
        names += header.first;
    }
    if (signedHeaders) *signedHeaders = names;

    return input.method + "\n" + input.canonicalPath + "\n" + canonicalQuery + "\n" +
           canonicalHeaders + "\n" + names + "\n" + input.payloadHash;
}

Aws::String ComputeAuthorization(const SigningInput& input,
                                 const Aws::Auth::AWSCredentials& credentials,
                                 const Aws::String& region, const Aws::String& service,
                                 const Aws::String& amzDate) {
    Aws::String signedHeaders;
    Aws::String canonical = CanonicalRequest(input, &signedHeaders);
    Aws::String day = amzDate.substr(0, 8);
    Aws::String scope = day + "/" + region + "/" + service + "/aws4_request";
    Aws::String stringToSign =
        "AWS4-HMAC-SHA256\n" + amzDate + "\n" + scope + "\n" + HexEncode(Sha256(canonical));

    Aws::String key = HmacSha256("AWS4" + credentials.GetAWSSecretKey(), day);
    key = HmacSha256(key, region);
    key = HmacSha256(key, service);
    key = HmacSha256(key, "aws4_request");
    Aws::String signature = HexEncode(HmacSha256(key, stringToSign));

    return "AWS4-HMAC-SHA256 Credential=" + credentials.GetAWSAccessKeyId() + "/" + scope +
           ", SignedHeaders=" + signedHeaders + ", Signature=" + signature;
}
}  // namespace Internal
}  // namespace Aws
