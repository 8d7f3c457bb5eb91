#include <aws/core/http/HttpResponse.h>
#include <aws/core/http/HttpTypes.h>
#include <aws/core/http/Scheme.h>
#include <aws/core/utils/StringUtils.h>

namespace Aws {
namespace Http {
namespace SchemeMapper {
const char* ToString(Scheme scheme) { return scheme == Scheme::HTTP ? "http" : "https"; }

Scheme FromString(const char* name) {
    return Utils::StringUtils::ToLower(Utils::StringUtils::Trim(name).c_str()) == "http"
               ? Scheme::HTTP
               : Scheme::HTTPS;
}
}  // namespace SchemeMapper

namespace HttpMethodMapper {
const char* GetNameForHttpMethod(HttpMethod httpMethod) {
    switch (httpMethod) {
        case HttpMethod::HTTP_GET:
            return "GET";
        case HttpMethod::HTTP_POST:
            return "POST";
        case HttpMethod::HTTP_DELETE:
            return "DELETE";
        case HttpMethod::HTTP_PUT:
            return "PUT";
        case HttpMethod::HTTP_HEAD:
            return "HEAD";
        case HttpMethod::HTTP_PATCH:
            return "PATCH";
        case HttpMethod::HTTP_CONNECT:
            return "CONNECT";
        case HttpMethod::HTTP_OPTIONS:
            return "OPTIONS";
        case HttpMethod::HTTP_TRACE:
            return "TRACE";
    }
    return "GET";
}
}  // namespace HttpMethodMapper

bool IsRetryableHttpResponseCode(HttpResponseCode responseCode) {
    switch (responseCode) {
        case HttpResponseCode::INTERNAL_SERVER_ERROR:
        case HttpResponseCode::SERVICE_UNAVAILABLE:
        case HttpResponseCode::TOO_MANY_REQUESTS:
        case HttpResponseCode::BANDWIDTH_LIMIT_EXCEEDED:
        case HttpResponseCode::REQUEST_TIMEOUT:
        case HttpResponseCode::AUTHENTICATION_TIMEOUT:
        case HttpResponseCode::LOGIN_TIMEOUT:
        case HttpResponseCode::GATEWAY_TIMEOUT:
        case HttpResponseCode::NETWORK_READ_TIMEOUT:
        case HttpResponseCode::NETWORK_CONNECT_TIMEOUT:
            return true;
        default:
            return false;
    }
}
}  // namespace Http
}  // namespace Aws
