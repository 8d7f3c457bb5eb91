#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/memory/stl/AWSStreamFwd.h>

namespace Aws {
namespace Utils {
namespace Stream {
// Owns the stream a response body was written into. Move-only: one owner per stream.
class AWS_CORE_API ResponseStream {
  public:
    ResponseStream();
    ResponseStream(ResponseStream&& toMove) noexcept;
    explicit ResponseStream(Aws::IOStream* underlyingStreamToManage);
    ResponseStream(const ResponseStream&) = delete;
    ~ResponseStream();

    ResponseStream& operator=(ResponseStream&& toMove) noexcept;
    ResponseStream& operator=(const ResponseStream&) = delete;

    // Never null: an empty ResponseStream hands out an empty stream of its own.
    Aws::IOStream& GetUnderlyingStream() const;

  private:
    void ReleaseStream();

    mutable Aws::IOStream* m_underlyingStream;
};
}  // namespace Stream
}  // namespace Utils
}  // namespace Aws
