// Why a request failed, in words an operator can act on. The plug-ins report a failed S3
// request as a block of log lines (ErrorType, ExceptionName, Message, RemoteHostIpAddress,
// RequestId, ResponseCode, then the response headers), usually after a line of context;
// plughost reads the block back and adds what it knows itself: the endpoint, and whether its
// scheme was assumed.
#pragma once

#include <string>
#include <vector>

#include "KnownPlugins.h"

namespace plughost {

struct RequestError {
    bool found = false;
    std::string context;        // the plug-in's line before the block, e.g. "Cannot upload part."
    int errorType = 0;          // the SDK's error type (99: the request got no answer)
    std::string exceptionName;  // the service's error code, e.g. "SignatureDoesNotMatch"
    std::string message;
    long responseCode = 0;  // HTTP status; -1 or 0 when no answer arrived
};

// The first error block in `lines` (as HostLog keeps them: "[2] text").
RequestError FindRequestError(const std::vector<std::string>& lines);

// A lone line the plug-in wrote that is not part of an error block (such as "Please, create
// buckets from web console"), or "".
std::string FindPlainMessage(const std::vector<std::string>& lines);

// One phrase naming the cause, e.g. "access denied (SignatureDoesNotMatch: ...)" or
// "connection to http://127.0.0.1:1 failed (refused or unreachable)".
std::string DescribeRequestError(const RequestError& error, const EndpointFacts& endpoint);

// Whether the error is one that every request of the run will meet: credentials or a
// signature refused, a bucket that does not exist, a connection refused, a host not found, a
// certificate that does not verify. A run moving many files stops at the first of these
// rather than meeting it file after file.
bool MeetsEveryRequest(const RequestError& error);

// What the lines say went wrong: the error block described, else the plug-in's own words,
// else "".
std::string DescribeLoggedCause(const std::vector<std::string>& lines,
                                const EndpointFacts& endpoint);

}  // namespace plughost
