#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/http/HttpTypes.h>
#include <aws/core/utils/memory/stl/AWSStreamFwd.h>
#include <aws/core/utils/memory/stl/AWSString.h>

#include <functional>

namespace Aws {
// Produces the stream a response body is written into; the SDK owns and deletes it.
using IOStreamFactory = std::function<Aws::IOStream*(void)>;

AWS_CORE_API Aws::IOStream* DefaultResponseStreamFactoryMethod();

class AWS_CORE_API AmazonWebServiceRequest {
  public:
    AmazonWebServiceRequest();
    virtual ~AmazonWebServiceRequest() = default;
    AmazonWebServiceRequest(const AmazonWebServiceRequest&) = default;
    AmazonWebServiceRequest(AmazonWebServiceRequest&&) = default;
    AmazonWebServiceRequest& operator=(const AmazonWebServiceRequest&) = default;
    AmazonWebServiceRequest& operator=(AmazonWebServiceRequest&&) = default;

    virtual const char* GetServiceRequestName() const = 0;

    // The stream every attempt's response body is written into (error bodies included).
    const IOStreamFactory& GetResponseStreamFactory() const { return m_responseStreamFactory; }
    void SetResponseStreamFactory(const IOStreamFactory& factory) {
        m_responseStreamFactory = factory;
    }

    virtual bool SignBody() const { return true; }
    virtual bool IsStreaming() const { return false; }

    // Extra headers set by the caller, sent (and signed) with the request.
    Aws::Http::HeaderValueCollection GetAdditionalCustomHeaders() const {
        return m_additionalCustomHeaders;
    }
    void SetAdditionalCustomHeaderValue(const Aws::String& headerName,
                                        const Aws::String& headerValue);

  private:
    IOStreamFactory m_responseStreamFactory;
    Aws::Http::HeaderValueCollection m_additionalCustomHeaders;
};
}  // namespace Aws
