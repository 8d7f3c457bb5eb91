#include "base/LogS3Error.h"

#include <string>

#include "torvik/Strings.h"

namespace {
// The SDK's strings are UTF-8; the host's log takes wide strings.
std::wstring Wide(const Aws::String& text) {
    return Torvik::strings::UTF8toWstr(std::string(text.c_str(), text.size()));
}

void WriteField(ILog* log, const wchar_t* format, const Aws::String& value) {
    const std::wstring wide = Wide(value);
    log->WriteFormatted(PluginLogSeverity, format, wide.c_str());
}
}  // namespace

void LogS3Error(ILog* log, const Aws::S3::S3Error& error) {
    log->WriteFormatted(PluginLogSeverity, L"ErrorType: %d",
                        static_cast<int>(error.GetErrorType()));
    WriteField(log, L"ExceptionName: %s", error.GetExceptionName());
    WriteField(log, L"Message: %s", error.GetMessage());
    WriteField(log, L"RemoteHostIpAddress: %s", error.GetRemoteHostIpAddress());
    WriteField(log, L"RequestId: %s", error.GetRequestId());
    log->WriteFormatted(PluginLogSeverity, L"ResponseCode: %d",
                        static_cast<int>(error.GetResponseCode()));
    // The header map is ordered by name, so the lines come out in ascending byte order
    // whatever order the service sent them in.
    for (const auto& header : error.GetResponseHeaders()) {
        const std::wstring name = Wide(header.first);
        const std::wstring value = Wide(header.second);
        log->WriteFormatted(PluginLogSeverity, L"%s: %s", name.c_str(), value.c_str());
    }
}
