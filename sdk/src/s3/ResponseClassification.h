#pragma once

#include "s3/ClientCore.h"

namespace Aws {
namespace S3 {
namespace Internal {
// What one attempt came to.
struct Verdict {
    bool failed = false;
    CoreError error;  // when failed
    // A Document answer that succeeded: its document, parsed here and nowhere else.
    std::unique_ptr<Aws::Internal::XmlDocument> document;
};

// Decides from the transport result, the status and the body whether an attempt succeeded.
// A 2xx answer succeeds only when it is what the operation returns: for a Document answer an
// XML document with the operation's result element at its root, never an empty body or some
// other page (a proxy's sign-in page would otherwise read as an empty listing or a completed
// upload). `bodyChecksum` is the running checksum of the body and `expectedChecksum` the value
// the answer announced, when the response checksum is validated.
Verdict ClassifyResponse(const OperationRequest& request,
                         const Aws::Internal::HttpResponse& response, Aws::IOStream& body,
                         Aws::Internal::RunningHash* bodyChecksum,
                         const Aws::String& expectedChecksum);
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
