#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/memory/stl/AWSMap.h>
#include <aws/core/utils/memory/stl/AWSString.h>

namespace Aws {
namespace Http {
enum class HttpMethod {
    HTTP_GET,
    HTTP_POST,
    HTTP_DELETE,
    HTTP_PUT,
    HTTP_HEAD,
    HTTP_PATCH,
    HTTP_CONNECT,
    HTTP_OPTIONS,
    HTTP_TRACE,
};

enum class TransferLibType { DEFAULT_CLIENT, CURL_CLIENT, WIN_INET_CLIENT, WIN_HTTP_CLIENT };

enum class TransferLibPerformanceMode { LOW_LATENCY, REGULAR };

// Header names are lower case; an ordered map, as upstream.
using HeaderValuePair = std::pair<Aws::String, Aws::String>;
using HeaderValueCollection = Aws::Map<Aws::String, Aws::String>;

namespace HttpMethodMapper {
AWS_CORE_API const char* GetNameForHttpMethod(HttpMethod httpMethod);
}  // namespace HttpMethodMapper
}  // namespace Http
}  // namespace Aws
