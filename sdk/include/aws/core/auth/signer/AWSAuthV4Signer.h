#pragma once

#include <aws/core/Core_EXPORTS.h>

namespace Aws {
namespace Client {
// Only the payload policy is public: clients sign their own requests with Signature Version 4.
class AWS_CORE_API AWSAuthV4Signer {
  public:
    enum class PayloadSigningPolicy {
        // Sign the payload when the request asks for it (every S3 request does).
        RequestDependent = 0,
        Always = 1,
        // Do not sign the payload over HTTPS. Over plain HTTP the payload is always signed.
        Never = 2
    };
};
}  // namespace Client
}  // namespace Aws
