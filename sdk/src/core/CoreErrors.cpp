#include <aws/core/client/CoreErrors.h>

#include <cstring>

namespace Aws {
namespace Client {
namespace CoreErrorsMapper {
namespace {
struct NamedError {
    const char* name;
    CoreErrors type;
    bool retryable;
};

const NamedError kCoreErrors[] = {
    {"IncompleteSignature", CoreErrors::INCOMPLETE_SIGNATURE, false},
    {"InternalFailure", CoreErrors::INTERNAL_FAILURE, true},
    {"InternalServerError", CoreErrors::INTERNAL_FAILURE, true},
    {"InternalError", CoreErrors::INTERNAL_FAILURE, true},
    {"InvalidAction", CoreErrors::INVALID_ACTION, false},
    {"InvalidClientTokenId", CoreErrors::INVALID_CLIENT_TOKEN_ID, false},
    {"InvalidParameterCombination", CoreErrors::INVALID_PARAMETER_COMBINATION, false},
    {"InvalidParameterValue", CoreErrors::INVALID_PARAMETER_VALUE, false},
    {"InvalidQueryParameter", CoreErrors::INVALID_QUERY_PARAMETER, false},
    {"MalformedQueryString", CoreErrors::MALFORMED_QUERY_STRING, false},
    {"MissingAction", CoreErrors::MISSING_ACTION, false},
    {"MissingAuthenticationToken", CoreErrors::MISSING_AUTHENTICATION_TOKEN, false},
    {"MissingParameter", CoreErrors::MISSING_PARAMETER, false},
    {"OptInRequired", CoreErrors::OPT_IN_REQUIRED, false},
    {"RequestExpired", CoreErrors::REQUEST_EXPIRED, true},
    {"ServiceUnavailable", CoreErrors::SERVICE_UNAVAILABLE, true},
    {"ServiceUnavailableError", CoreErrors::SERVICE_UNAVAILABLE, true},
    {"RequestThrottled", CoreErrors::THROTTLING, true},
    {"Throttling", CoreErrors::THROTTLING, true},
    {"ThrottledException", CoreErrors::THROTTLING, true},
    {"ThrottlingException", CoreErrors::THROTTLING, true},
    {"TooManyRequestsException", CoreErrors::THROTTLING, true},
    {"ValidationError", CoreErrors::VALIDATION, false},
    {"ValidationException", CoreErrors::VALIDATION, false},
    {"ValidationErrorException", CoreErrors::VALIDATION, false},
    {"AccessDenied", CoreErrors::ACCESS_DENIED, false},
    {"ResourceNotFound", CoreErrors::RESOURCE_NOT_FOUND, false},
    {"UnrecognizedClient", CoreErrors::UNRECOGNIZED_CLIENT, false},
    {"SlowDown", CoreErrors::SLOW_DOWN, true},
    {"InvalidSignature", CoreErrors::INVALID_SIGNATURE, false},
    {"SignatureDoesNotMatch", CoreErrors::SIGNATURE_DOES_NOT_MATCH, false},
    {"InvalidAccessKeyId", CoreErrors::INVALID_ACCESS_KEY_ID, false},
    {"RequestTimeTooSkewed", CoreErrors::REQUEST_TIME_TOO_SKEWED, true},
    {"RequestTimeout", CoreErrors::REQUEST_TIMEOUT, true},
};

RetryableType Retryable(bool retryable, CoreErrors type) {
    if (!retryable) return RetryableType::NOT_RETRYABLE;
    return type == CoreErrors::THROTTLING || type == CoreErrors::SLOW_DOWN
               ? RetryableType::RETRYABLE_THROTTLING
               : RetryableType::RETRYABLE;
}
}  // namespace

AWSError<CoreErrors> GetErrorForName(const char* errorName) {
    Aws::String name = errorName ? errorName : "";
    const Aws::String suffix = "Exception";
    for (const auto& entry : kCoreErrors) {
        if (name == entry.name || name == Aws::String(entry.name) + suffix) {
            return AWSError<CoreErrors>(entry.type, Retryable(entry.retryable, entry.type));
        }
    }
    return AWSError<CoreErrors>(CoreErrors::UNKNOWN, false);
}

AWSError<CoreErrors> GetErrorForHttpResponseCode(Aws::Http::HttpResponseCode code) {
    using Aws::Http::HttpResponseCode;
    const int status = static_cast<int>(code);
    bool retryable = status >= 500 && status < 600;
    CoreErrors type = CoreErrors::UNKNOWN;
    switch (code) {
        case HttpResponseCode::UNAUTHORIZED:
        case HttpResponseCode::FORBIDDEN:
            type = CoreErrors::ACCESS_DENIED;
            break;
        case HttpResponseCode::NOT_FOUND:
            type = CoreErrors::RESOURCE_NOT_FOUND;
            break;
        case HttpResponseCode::TOO_MANY_REQUESTS:
            type = CoreErrors::SLOW_DOWN;
            retryable = true;
            break;
        case HttpResponseCode::INTERNAL_SERVER_ERROR:
            type = CoreErrors::INTERNAL_FAILURE;
            break;
        case HttpResponseCode::BANDWIDTH_LIMIT_EXCEEDED:
            type = CoreErrors::THROTTLING;
            break;
        case HttpResponseCode::SERVICE_UNAVAILABLE:
            type = CoreErrors::SERVICE_UNAVAILABLE;
            break;
        case HttpResponseCode::REQUEST_TIMEOUT:
        case HttpResponseCode::AUTHENTICATION_TIMEOUT:
        case HttpResponseCode::LOGIN_TIMEOUT:
        case HttpResponseCode::GATEWAY_TIMEOUT:
        case HttpResponseCode::NETWORK_READ_TIMEOUT:
        case HttpResponseCode::NETWORK_CONNECT_TIMEOUT:
            type = CoreErrors::REQUEST_TIMEOUT;
            retryable = true;
            break;
        default:
            break;
    }
    return AWSError<CoreErrors>(type, Retryable(retryable, type));
}
}  // namespace CoreErrorsMapper
}  // namespace Client
}  // namespace Aws
