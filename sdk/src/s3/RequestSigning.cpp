// The per-attempt part of a request: the attempt counter, the signing time and the signature.
#include "s3/ClientCore.h"

namespace Aws {
namespace S3 {
namespace Internal {

Aws::Internal::HttpRequest ClientCore::SignAttempt(const RequestPlan& plan,
                                                   const Aws::String& amzDate, long attempt,
                                                   long maxAttempts) const {
    Aws::Internal::HttpRequest http = plan.http;
    http.headers["amz-sdk-request"] = attempt <= 1 ? Aws::String("attempt=1")
                                                   : "attempt=" + std::to_string(attempt) +
                                                         "; max=" + std::to_string(maxAttempts);
    if (plan.payloadHash.empty()) return http;  // no credentials: sent unsigned

    http.headers["x-amz-content-sha256"] = plan.payloadHash;
    http.headers["x-amz-date"] = amzDate;
    Aws::Internal::SigningInput input;
    input.method = Aws::Http::HttpMethodMapper::GetNameForHttpMethod(http.method);
    input.canonicalPath = plan.canonicalPath;
    input.query = plan.signingQuery;
    input.headers = http.headers;
    input.payloadHash = plan.payloadHash;
    http.headers["authorization"] = Aws::Internal::ComputeAuthorization(
        input, m_credentials, plan.signingRegion, "s3", amzDate);
    return http;
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
