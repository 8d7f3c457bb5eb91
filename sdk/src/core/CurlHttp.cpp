#include "core/CurlHttp.h"

#include <aws/core/utils/StringUtils.h>

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Aws {
namespace Internal {
using Aws::Utils::StringUtils;

namespace {
constexpr long kReceiveBufferSize = 512 * 1024;
// 256 KiB moves a body with no more CPU than 1 MiB did (the send calls are a small share of
// an upload's cost), and each handle keeps its buffer for as long as it lives.
constexpr long kUploadBufferSize = 256 * 1024;

// Hands the request body to libcurl's read callback, from offset 0 on every pass, so that a
// rewound or retried upload sends the same bytes.
class BodyReader {
  public:
    explicit BodyReader(const RequestBody& body) : m_body(body) { Rewind(); }

    bool Rewind() {
        if (!m_body.stream) return true;
        m_body.stream->clear();
        m_body.stream->seekg(0, std::ios_base::beg);
        m_dataLeft = m_body.length;
        m_failed = false;
        return !m_body.stream->fail();
    }

    // Fills up to `capacity` bytes; 0 means the body is complete. Sets failed() when the stream
    // ends before the declared length.
    size_t Read(char* out, size_t capacity) {
        if (!m_body.stream || m_dataLeft <= 0) return 0;
        const size_t want = static_cast<size_t>(std::min<long long>(m_dataLeft, capacity));
        m_body.stream->read(out, static_cast<std::streamsize>(want));
        const std::streamsize got = m_body.stream->gcount();
        if (got <= 0) {
            m_failed = true;
            return 0;
        }
        m_dataLeft -= static_cast<long long>(got);
        return static_cast<size_t>(got);
    }

    bool failed() const { return m_failed; }

  private:
    RequestBody m_body;
    long long m_dataLeft = 0;
    bool m_failed = false;
};

struct TransferState {
    BodyReader* reader = nullptr;
    Aws::IOStream* bodyStream = nullptr;
    HttpResponse* response = nullptr;
    const BodyStartCallback* onBodyStart = nullptr;
    RunningHash* bodyHash = nullptr;
    bool bodyStarted = false;
    bool writeFailed = false;
    CURL* handle = nullptr;
};

size_t ReadCallback(char* buffer, size_t size, size_t count, void* userdata) {
    auto* state = static_cast<TransferState*>(userdata);
    size_t n = state->reader->Read(buffer, size * count);
    if (n == 0 && state->reader->failed()) return CURL_READFUNC_ABORT;
    return n;
}

int SeekCallback(void* userdata, curl_off_t offset, int origin) {
    auto* state = static_cast<TransferState*>(userdata);
    // libcurl only rewinds to the start (for instance after a refused 100-continue).
    if (origin != SEEK_SET || offset != 0) return CURL_SEEKFUNC_CANTSEEK;
    return state->reader->Rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

size_t HeaderCallback(char* buffer, size_t size, size_t count, void* userdata) {
    auto* state = static_cast<TransferState*>(userdata);
    size_t length = size * count;
    Aws::String line(buffer, length);
    size_t colon = line.find(':');
    if (colon != Aws::String::npos) {
        Aws::String name =
            StringUtils::ToLower(StringUtils::Trim(line.substr(0, colon).c_str()).c_str());
        Aws::String value = StringUtils::Trim(line.substr(colon + 1).c_str());
        state->response->headers[name] = value;  // the last of duplicate names wins
    }
    return length;
}

size_t WriteCallback(char* buffer, size_t size, size_t count, void* userdata) {
    auto* state = static_cast<TransferState*>(userdata);
    size_t length = size * count;
    if (!state->bodyStarted) {
        state->bodyStarted = true;
        long status = 0;
        curl_easy_getinfo(state->handle, CURLINFO_RESPONSE_CODE, &status);
        state->response->statusCode = status;
        if (*state->onBodyStart) state->bodyHash = (*state->onBodyStart)(*state->response);
    }
    state->bodyStream->write(buffer, static_cast<std::streamsize>(length));
    if (state->bodyStream->fail()) {
        state->writeFailed = true;
        return 0;
    }
    if (state->bodyHash) state->bodyHash->Update(buffer, length);
    state->response->bodyBytes += static_cast<long long>(length);
    return length;
}

// Whether a failed transfer can succeed on another attempt.
bool IsPermanentFailure(CURLcode code) {
    switch (code) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_OUT_OF_MEMORY:
            return true;
        default:
            return false;
    }
}

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void Add(const Aws::String& line) { list = curl_slist_append(list, line.c_str()); }
};
}  // namespace

CurlHandlePool::CurlHandlePool(unsigned maxHandles) : m_maxHandles(std::max(1u, maxHandles)) {}

CurlHandlePool::~CurlHandlePool() {
    for (CURL* handle : m_idle) curl_easy_cleanup(handle);
}

CURL* CurlHandlePool::Acquire() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        if (!m_idle.empty()) {
            CURL* handle = m_idle.back();
            m_idle.pop_back();
            return handle;
        }
        if (m_created < m_maxHandles) {
            CURL* handle = curl_easy_init();
            if (handle) ++m_created;
            return handle;
        }
        m_available.wait(lock);
    }
}

void CurlHandlePool::Release(CURL* handle, bool reusable) {
    if (!handle) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (reusable) {
            curl_easy_reset(handle);  // keeps the live connection for the next request
            m_idle.push_back(handle);
        } else {
            curl_easy_cleanup(handle);
            --m_created;
        }
    }
    m_available.notify_one();
}

CurlHttpClient::CurlHttpClient(const TransferSettings& settings)
    : m_settings(settings), m_pool(std::make_shared<CurlHandlePool>(settings.maxConnections)) {}

HttpResponse CurlHttpClient::Perform(const HttpRequest& request, Aws::IOStream& bodyStream,
                                     const BodyStartCallback& onBodyStart) const {
    HttpResponse response;
    CURL* handle = m_pool->Acquire();
    if (!handle) {
        response.curlCode = CURLE_FAILED_INIT;
        response.curlMessage = curl_easy_strerror(CURLE_FAILED_INIT);
        return response;
    }

    BodyReader reader(request.body);
    TransferState state;
    state.reader = &reader;
    state.bodyStream = &bodyStream;
    state.response = &response;
    state.onBodyStart = &onBodyStart;
    state.handle = handle;

    HeaderList headers;
    for (const auto& header : request.headers) headers.Add(header.first + ": " + header.second);
    // Keep libcurl from inventing headers the request did not ask for.
    if (!request.headers.count("content-type")) headers.Add("content-type:");
    if (!request.headers.count("transfer-encoding")) headers.Add("transfer-encoding:");
    const bool expectContinue = !m_settings.disableExpectHeader && request.body.stream &&
                                request.body.length >= kExpectContinueThreshold;
    headers.Add(expectContinue ? "expect: 100-continue" : "expect:");

    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    // Keys such as "a/../b" or "a//b" must reach the service unchanged.
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Never follow a redirect: the signed request (and its Authorization header) must not go
    // to a host nobody configured. A 30x answer becomes an error outcome instead.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_MAXCONNECTS, static_cast<long>(m_settings.maxConnections));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, m_settings.connectTimeoutMs);
    if (m_settings.requestTimeoutMs > 0) {
        long seconds = std::max(1L, m_settings.requestTimeoutMs / 1000);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, seconds);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT,
                         static_cast<long>(m_settings.lowSpeedLimit));
    }
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, m_settings.httpRequestTimeoutMs);
    if (m_settings.enableTcpKeepAlive) {
        long interval = std::max(1L, static_cast<long>(m_settings.tcpKeepAliveIntervalMs / 1000));
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, interval);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, interval);
    }
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, m_settings.verifySSL ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, m_settings.verifySSL ? 2L : 0L);
    // Nothing older than TLS 1.2 is accepted.
    curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!m_settings.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, m_settings.caFile.c_str());
    if (!m_settings.caPath.empty())
        curl_easy_setopt(handle, CURLOPT_CAPATH, m_settings.caPath.c_str());
    // HTTP/1.1 always, also over TLS: this client does not speak HTTP/2, so it must not offer
    // it in the handshake either.
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION,
                     m_settings.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    if (m_settings.proxyUrl.empty()) {
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
    } else {
        curl_easy_setopt(handle, CURLOPT_PROXY, m_settings.proxyUrl.c_str());
        if (!m_settings.proxyUserName.empty()) {
            curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, m_settings.proxyUserName.c_str());
            curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, m_settings.proxyPassword.c_str());
        }
    }

    // Bodies run to 100 MiB: with libcurl's default buffers (16 KiB in, 64 KiB out) moving
    // them costs a read or send and a poll every few kilobytes, which dominates the CPU time.
    // Only a GET has a large answer; the others keep libcurl's small receive buffer.
    if (request.method == Aws::Http::HttpMethod::HTTP_GET)
        curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);

    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, HeaderCallback);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &state);

    const bool hasBody = request.body.stream != nullptr;
    curl_off_t sentLength = 0;
    if (hasBody) {
        auto it = request.headers.find("content-length");
        sentLength = it != request.headers.end()
                         ? static_cast<curl_off_t>(StringUtils::ConvertToInt64(it->second.c_str()))
                         : static_cast<curl_off_t>(request.body.length);
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadCallback);
        curl_easy_setopt(handle, CURLOPT_READDATA, &state);
        curl_easy_setopt(handle, CURLOPT_SEEKFUNCTION, SeekCallback);
        curl_easy_setopt(handle, CURLOPT_SEEKDATA, &state);
    }

    using Aws::Http::HttpMethod;
    switch (request.method) {
        case HttpMethod::HTTP_GET:
            curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
            break;
        case HttpMethod::HTTP_HEAD:
            curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
            break;
        case HttpMethod::HTTP_PUT:
            if (hasBody && sentLength > 0) {
                curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
                curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, sentLength);
            } else {
                curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "PUT");
            }
            break;
        case HttpMethod::HTTP_POST:
            curl_easy_setopt(handle, CURLOPT_POST, 1L);
            curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, hasBody ? sentLength : 0);
            if (!hasBody) curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
            break;
        default:
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST,
                             Aws::Http::HttpMethodMapper::GetNameForHttpMethod(request.method));
            break;
    }

    CURLcode code = curl_easy_perform(handle);

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    char* ip = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip)
        response.remoteIp = ip;

    if (code != CURLE_OK) {
        response.curlCode = static_cast<int>(code);
        response.curlMessage = curl_easy_strerror(code);
        response.permanentFailure =
            IsPermanentFailure(code) || state.writeFailed || reader.failed();
        response.statusCode = -1;
    } else {
        response.statusCode = status;
        auto it = response.headers.find("content-length");
        if (request.method != HttpMethod::HTTP_HEAD && it != response.headers.end() &&
            StringUtils::ConvertToInt64(it->second.c_str()) != response.bodyBytes) {
            response.bodyLengthMismatch = true;
        }
    }
    m_pool->Release(handle, code == CURLE_OK && !response.bodyLengthMismatch);
    return response;
}
}  // namespace Internal
}  // namespace Aws
