#include <aws/core/AmazonWebServiceRequest.h>
#include <aws/core/utils/StringUtils.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>

namespace Aws {
Aws::IOStream* DefaultResponseStreamFactoryMethod() { return new Aws::StringStream(); }

AmazonWebServiceRequest::AmazonWebServiceRequest()
    : m_responseStreamFactory(DefaultResponseStreamFactoryMethod) {}

void AmazonWebServiceRequest::SetAdditionalCustomHeaderValue(const Aws::String& headerName,
                                                             const Aws::String& headerValue) {
    m_additionalCustomHeaders[Utils::StringUtils::ToLower(headerName.c_str())] =
        Utils::StringUtils::Trim(headerValue.c_str());
}
}  // namespace Aws
