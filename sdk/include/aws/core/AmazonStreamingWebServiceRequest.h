#pragma once

#include <aws/core/AmazonWebServiceRequest.h>

#include <memory>

namespace Aws {
// A request whose payload is a caller-supplied stream, read from offset 0 to its end (or to
// the Content-Length the request sets). The stream must be seekable.
class AWS_CORE_API AmazonStreamingWebServiceRequest : public AmazonWebServiceRequest {
  public:
    AmazonStreamingWebServiceRequest() : m_contentType("binary/octet-stream") {}

    inline const std::shared_ptr<Aws::IOStream>& GetBody() const { return m_body; }
    inline void SetBody(const std::shared_ptr<Aws::IOStream>& body) { m_body = body; }

    inline const Aws::String& GetContentType() const { return m_contentType; }
    inline void SetContentType(const Aws::String& contentType) { m_contentType = contentType; }

    bool IsStreaming() const override { return true; }

  private:
    std::shared_ptr<Aws::IOStream> m_body;
    Aws::String m_contentType;
};
}  // namespace Aws
