// Writes the fields of a failed S3 request's error to the host log, one per line, at the
// plug-ins' one severity: type, exception name, message, remote address, request id, response
// code, then the response headers in ascending order of name. The caller writes its own context
// line first.
#pragma once

#include <aws/s3/S3Errors.h>

#include "host/HostInterfaces.h"

// The severity of every line the plug-ins write to the host log.
constexpr int PluginLogSeverity = 2;

void LogS3Error(ILog* log, const Aws::S3::S3Error& error);
