#include "TransferReport.h"

#include <cstdio>

#include "base/LogS3Error.h"

namespace transfer_report {

void ToLog(ILog* log, const wchar_t* context, const Aws::S3::S3Error* first,
           const Aws::S3::S3Error* second) {
    if (log == nullptr) return;
    if (context != nullptr) log->Write(PluginLogSeverity, context);
    if (first != nullptr) LogS3Error(log, *first);
    if (second != nullptr) LogS3Error(log, *second);
}

void ToStandardError(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace transfer_report
