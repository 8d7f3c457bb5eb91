#pragma once

#include <aws/core/client/AWSError.h>
#include <aws/core/client/CoreErrors.h>

#include "core/CurlHttp.h"

#include <tinyxml2.h>

namespace Aws {
namespace Internal {
using CoreError = Aws::Client::AWSError<Aws::Client::CoreErrors>;

// S3 names first, then the core names; UNKNOWN otherwise.
CoreError FindErrorByName(const Aws::String& name);

// The transfer itself failed: NETWORK_CONNECTION, "curlCode: N, text". Retryable, except for
// what another attempt cannot mend: a certificate that does not verify, a body that could not
// be read or an answer that could not be stored, memory exhausted.
CoreError BuildTransportError(const HttpResponse& response);

// A status outside 200-299, with the body the service sent (possibly empty).
CoreError BuildHttpError(const HttpResponse& response, Aws::IOStream& body);

// A 200 answer whose document (`root`) is an <Error> (CompleteMultipartUpload and the like).
// Returns true and fills `error` when it is one.
bool FindEmbeddedError(const tinyxml2::XMLElement* root, CoreError& error);

void AttachResponse(CoreError& error, const HttpResponse& response);
}  // namespace Internal
}  // namespace Aws
