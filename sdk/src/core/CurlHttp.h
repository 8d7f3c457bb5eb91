#pragma once

#include <aws/core/http/HttpTypes.h>
#include <aws/core/http/Version.h>
#include <aws/core/utils/memory/stl/AWSStreamFwd.h>
#include <aws/core/utils/memory/stl/AWSString.h>

#include "core/Crypto.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

typedef void CURL;

namespace Aws {
namespace Internal {
// How connections are made and how long a transfer may take.
struct TransferSettings {
    long connectTimeoutMs = 1000;
    long requestTimeoutMs = 3000;  // low-speed time
    long httpRequestTimeoutMs = 0;
    unsigned long lowSpeedLimit = 1;
    bool enableTcpKeepAlive = true;
    unsigned long tcpKeepAliveIntervalMs = 30000;
    bool verifySSL = true;
    Aws::String caFile;
    Aws::String caPath;
    unsigned maxConnections = 25;
    bool http10 = false;  // HTTP/1.0 instead of HTTP/1.1; nothing later is spoken
    bool disableExpectHeader = false;
    // Empty: no proxy at all (the environment's proxy variables are not honoured either).
    Aws::String proxyUrl;
    Aws::String proxyUserName;
    Aws::String proxyPassword;
};

// The request body as sent: the first `length` bytes of `stream` from offset 0.
struct RequestBody {
    Aws::IOStream* stream = nullptr;
    long long length = 0;
};

// Bodies from this size on are sent after the server's "100 Continue", so that a refusal
// (a bad signature, a missing bucket) costs no upload; smaller ones go at once, since the
// wait costs a round trip each, and a whole second against a server that never answers it.
constexpr long long kExpectContinueThreshold = 1024 * 1024;

struct HttpRequest {
    Aws::Http::HttpMethod method = Aws::Http::HttpMethod::HTTP_GET;
    Aws::String url;                           // already encoded
    Aws::Http::HeaderValueCollection headers;  // lower-case names, sent as given
    RequestBody body;
};

struct HttpResponse {
    long statusCode = -1;  // -1: no status was received
    Aws::Http::HeaderValueCollection headers;
    long long bodyBytes = 0;
    Aws::String remoteIp;
    int curlCode = 0;  // CURLE_OK when the transfer completed
    Aws::String curlMessage;
    // The transfer failed in a way another attempt cannot mend: the certificate did not
    // verify, the request body could not be read, the answer could not be stored, or memory
    // ran out.
    bool permanentFailure = false;
    bool bodyLengthMismatch = false;
};

// Called with the response so far before the first body byte is stored, so that a caller can
// decide on a running hash of the body once the status and headers are known.
using BodyStartCallback = std::function<RunningHash*(const HttpResponse&)>;

// Easy handles with their connection caches, shared by one client and its copies. Grows on
// demand up to the limit; a handle whose transfer failed is closed, not reused.
class CurlHandlePool {
  public:
    explicit CurlHandlePool(unsigned maxHandles);
    ~CurlHandlePool();
    CurlHandlePool(const CurlHandlePool&) = delete;
    CurlHandlePool& operator=(const CurlHandlePool&) = delete;

    CURL* Acquire();
    void Release(CURL* handle, bool reusable);

  private:
    std::mutex m_mutex;
    std::condition_variable m_available;
    std::vector<CURL*> m_idle;
    unsigned m_created = 0;
    unsigned m_maxHandles;
};

class CurlHttpClient {
  public:
    explicit CurlHttpClient(const TransferSettings& settings);

    // Sends the request and writes the response body into `bodyStream`. Never throws; transport
    // failures are reported in the response (curlCode).
    HttpResponse Perform(const HttpRequest& request, Aws::IOStream& bodyStream,
                         const BodyStartCallback& onBodyStart) const;

  private:
    TransferSettings m_settings;
    std::shared_ptr<CurlHandlePool> m_pool;
};
}  // namespace Internal
}  // namespace Aws
