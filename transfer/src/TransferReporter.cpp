#include "transfer/TransferReporter.h"

#include <cstdio>

#include "base/LogS3Error.h"

TransferReporter TransferReporter::For(ILog* hostLog, TransferReporting reporting) {
    return TransferReporter(reporting == TransferReporting::HostLog ? hostLog : nullptr);
}

void TransferReporter::Tell(const wchar_t* context, const char* text, const Aws::S3::S3Error* first,
                            const Aws::S3::S3Error* second) const {
    if (log == nullptr) {
        if (text == nullptr) return;
        std::fputs(text, stderr);
        std::fflush(stderr);
        return;
    }
    if (context != nullptr) log->Write(PluginLogSeverity, context);
    if (first != nullptr) LogS3Error(log, *first);
    if (second != nullptr) LogS3Error(log, *second);
}
