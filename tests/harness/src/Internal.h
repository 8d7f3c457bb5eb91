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

HttpResult Http(const std::string& method, const std::string& url, const std::string& body,
                const std::map<std::string, std::string>& headers, const std::string& caFile = "",
                long timeoutMs = 30000);

}  // namespace internal
}  // namespace testhost
