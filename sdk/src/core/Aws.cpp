#include <aws/core/Aws.h>

#include <curl/curl.h>

#include <mutex>

namespace Aws {
namespace {
// The only process-wide state of the library: how many InitAPI calls are outstanding, and
// whether the first one initialised libcurl (so that the last ShutdownAPI undoes exactly that).
std::mutex& InitMutex() {
    static std::mutex mutex;
    return mutex;
}
int g_initCount = 0;
bool g_curlInitialised = false;
}  // namespace

void InitAPI(const SDKOptions& options) {
    std::lock_guard<std::mutex> lock(InitMutex());
    ++g_initCount;
    if (g_initCount != 1) return;  // later options are ignored, as upstream does
    if (options.httpOptions.initAndCleanupCurl) {
        g_curlInitialised = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    }
}

void ShutdownAPI(const SDKOptions& /*options*/) {
    std::lock_guard<std::mutex> lock(InitMutex());
    if (g_initCount == 0) return;
    --g_initCount;
    if (g_initCount != 0) return;
    if (g_curlInitialised) {
        curl_global_cleanup();
        g_curlInitialised = false;
    }
}
}  // namespace Aws
