#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <aws/core/utils/stream/ResponseStream.h>

namespace Aws {
namespace Utils {
namespace Stream {
ResponseStream::ResponseStream() : m_underlyingStream(nullptr) {}

ResponseStream::ResponseStream(Aws::IOStream* underlyingStreamToManage)
    : m_underlyingStream(underlyingStreamToManage) {}

ResponseStream::ResponseStream(ResponseStream&& toMove) noexcept
    : m_underlyingStream(toMove.m_underlyingStream) {
    toMove.m_underlyingStream = nullptr;
}

ResponseStream& ResponseStream::operator=(ResponseStream&& toMove) noexcept {
    if (this != &toMove) {
        ReleaseStream();
        m_underlyingStream = toMove.m_underlyingStream;
        toMove.m_underlyingStream = nullptr;
    }
    return *this;
}

ResponseStream::~ResponseStream() { ReleaseStream(); }

Aws::IOStream& ResponseStream::GetUnderlyingStream() const {
    if (!m_underlyingStream) m_underlyingStream = new Aws::StringStream();
    return *m_underlyingStream;
}

void ResponseStream::ReleaseStream() {
    if (m_underlyingStream) {
        m_underlyingStream->flush();
        delete m_underlyingStream;
    }
    m_underlyingStream = nullptr;
}
}  // namespace Stream
}  // namespace Utils
}  // namespace Aws
