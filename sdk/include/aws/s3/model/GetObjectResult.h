#pragma once

#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSStreamFwd.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/stream/ResponseStream.h>
#include <aws/s3/S3_EXPORTS.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// Owns the stream the object's bytes were written into (from the request's response stream
// factory). Move-only; move it out of the outcome with GetResultWithOwnership().
class AWS_S3_API GetObjectResult {
  public:
    GetObjectResult() = default;
    GetObjectResult(GetObjectResult&&) = default;
    GetObjectResult& operator=(GetObjectResult&&) = default;
    GetObjectResult(const GetObjectResult&) = delete;
    GetObjectResult& operator=(const GetObjectResult&) = delete;

    inline Aws::IOStream& GetBody() const { return m_body.GetUnderlyingStream(); }
    inline void ReplaceBody(Aws::IOStream* body) {
        m_body = Aws::Utils::Stream::ResponseStream(body);
    }

    inline long long GetContentLength() const { return m_contentLength; }
    inline void SetContentLength(long long value) { m_contentLength = value; }
    inline const Aws::String& GetETag() const { return m_eTag; }
    inline void SetETag(const Aws::String& value) { m_eTag = value; }
    inline const Aws::String& GetContentRange() const { return m_contentRange; }
    inline void SetContentRange(const Aws::String& value) { m_contentRange = value; }
    inline const Aws::String& GetContentType() const { return m_contentType; }
    inline void SetContentType(const Aws::String& value) { m_contentType = value; }
    inline const Aws::Utils::DateTime& GetLastModified() const { return m_lastModified; }
    inline void SetLastModified(const Aws::Utils::DateTime& value) { m_lastModified = value; }
    inline const Aws::String& GetChecksumCRC64NVME() const { return m_checksumCRC64NVME; }
    inline void SetChecksumCRC64NVME(const Aws::String& value) { m_checksumCRC64NVME = value; }
    inline const Aws::String& GetVersionId() const { return m_versionId; }
    inline void SetVersionId(const Aws::String& value) { m_versionId = value; }
    inline const Aws::String& GetRequestId() const { return m_requestId; }
    inline void SetRequestId(const Aws::String& value) { m_requestId = value; }

  private:
    Aws::Utils::Stream::ResponseStream m_body;
    long long m_contentLength = 0;
    Aws::String m_eTag;
    Aws::String m_contentRange;
    Aws::String m_contentType;
    Aws::Utils::DateTime m_lastModified;
    Aws::String m_checksumCRC64NVME;
    Aws::String m_versionId;
    Aws::String m_requestId;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
