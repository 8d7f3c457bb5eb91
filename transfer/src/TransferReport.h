// Where a transfer failure is told. A file handed the instance's log reports there: a context
// line, then the request's error in full. A file without a log reports only the failures that
// end an upload, as bare text on the process's standard error stream.
#pragma once

#include <aws/s3/S3Errors.h>

#include "host/HostInterfaces.h"

namespace transfer_report {

// Writes `context` (when not null) at severity 2, then each error given, in order.
void ToLog(ILog* log, const wchar_t* context, const Aws::S3::S3Error* first = nullptr,
           const Aws::S3::S3Error* second = nullptr);

// Writes `text` as it stands: no prefix, no line end.
void ToStandardError(const char* text);

}  // namespace transfer_report
