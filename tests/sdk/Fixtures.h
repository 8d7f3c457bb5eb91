// Loopback servers for the S3 client tests: moto_server (plain or TLS) and the fault proxy,
// each a child process owned by one object. Nothing here talks to anything but 127.0.0.1.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace sdktest {

// A child process with its standard output on a pipe; killed and reaped by the destructor.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // One line of the child's standard output (without the newline); empty at end of file.
    std::string ReadLine();
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
};

int FreeLoopbackPort();

// Runs a shell command, failing the test when it does not exit with 0.
void RunOrFail(const std::string& command);

struct RawResponse {
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;
};

// One unsigned request with plain libcurl, for setting up state independently of the client
// under test. `target` is the already encoded path and query.
RawResponse RawRequest(const std::string& baseUrl, const std::string& method,
                       const std::string& target, const std::string& body = "",
                       const std::string& caFile = "");

class MotoServer {
  public:
    // With tls, a throw-away CA and a certificate for 127.0.0.1 are made first.
    explicit MotoServer(bool tls);
    ~MotoServer();
    MotoServer(const MotoServer&) = delete;
    MotoServer& operator=(const MotoServer&) = delete;

    const std::string& Url() const { return url_; }
    const std::string& CaFile() const { return caFile_; }
    // A second CA that signed nothing here, for the "does not verify" cases.
    const std::string& OtherCaFile() const { return otherCaFile_; }

    void CreateBucket(const std::string& bucket, const std::string& locationConstraint = "");

  private:
    std::string dir_;
    std::string url_;
    std::string caFile_;
    std::string otherCaFile_;
    ChildProcess* process_ = nullptr;
};

struct ProxyRule {
    std::string method = "*";
    std::string pathRegex;
    int nth = 1;
    int count = 1;
    // status, reset, truncate, delay, error200, malformed, empty200, page200, repeattoken, clock
    std::string action = "status";
    int status = 500;
    std::string errorCode = "InternalError";
    std::string errorMessage = "We encountered an internal error. Please try again.";
    long long truncateAfter = 0;
    int delayMs = 0;
    int skewSeconds = 0;  // action "clock": how far ahead the service's clock runs
};

struct ProxiedRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;
    long long bodyBytes = 0;
    std::string body;  // at most the first 64 KiB
    int status = 0;
    std::string fault;
};

// The tree's fault-injecting proxy (tests/harness/faultproxy.py) in front of a server.
class FaultProxy {
  public:
    explicit FaultProxy(const std::string& targetUrl);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    const std::string& Url() const { return url_; }
    void AddRule(const ProxyRule& rule);
    void ClearRules();
    std::vector<ProxiedRequest> Requests();
    void ClearRequests();

  private:
    std::string Control(const std::string& method, const std::string& path,
                        const std::string& body = "");

    ChildProcess* process_ = nullptr;
    std::string url_;
    std::string controlUrl_;
};

}  // namespace sdktest
