// Pieces shared by the harness classes: child processes and plain HTTP requests.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testhost {
namespace internal {

// Starts `argv` in its own process group, killed when the calling thread ends. With
// `stdoutPipe`, the child's standard output is readable there; otherwise it goes to /dev/null,
// and so does standard error unless `keepStderr`.
pid_t Spawn(const std::vector<std::string>& argv, int* stdoutPipe, bool keepStderr);
// SIGTERM to the group, SIGKILL if it lingers, then reaps the child.
void Stop(pid_t pid);
bool Exited(pid_t pid);

// A loopback port that nothing listens on at the moment of the call.
int FreePort();

struct HttpResult {
    long status = 0;  // 0: no answer
    std::string body;
    std::map<std::string, std::string> headers;  // lower-case names
    std::string error;                           // the transfer error when status is 0
};

// Signature version 4 for S3 with libcurl's own signer.
struct Signing {
    std::string accessKey;
    std::string secretKey;
    std::string region = "us-east-1";
};

// One request. With `signing`, it is signed (the query put in canonical order first, as this
// libcurl signs the query as it stands) and carries the body's SHA-256 in x-amz-content-sha256,
// which S3 servers require and libcurl does not add.
// With `keepConnection`, the calling thread keeps its connections open for its next requests:
// a TLS handshake costs more than a small request.
HttpResult Http(const std::string& method, const std::string& url, const std::string& body,
                const std::map<std::string, std::string>& headers, const std::string& caFile = "",
                long timeoutMs = 30000, const Signing* signing = nullptr,
                bool keepConnection = false);

// `url` with its query in the canonical form of signature version 4: parameters sorted, and
// each with an '=' (a bare "?uploads" becomes "?uploads="). Values must already be encoded.
std::string CanonicalQueryUrl(const std::string& url);

}  // namespace internal
}  // namespace testhost
