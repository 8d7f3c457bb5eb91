// A fault-injecting HTTP/1.1 proxy on loopback, in front of a local S3 server. It forwards
// everything unchanged, records each request, and fails the requests its rules select.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testhost {

enum class FaultAction {
    Status,        // answer `status` with an S3 XML error body, without forwarding
    Reset,         // read the request, then reset the connection (RST)
    Truncate,      // forward, pass `truncateAfter` bytes of the response body, then close
    Delay,         // wait `delayMs`, then forward normally
    Error200,      // answer 200 with an S3 <Error> body, without forwarding
    MalformedXml,  // answer 200 with XML that does not parse, without forwarding
    Redirect,      // answer `status` (301, 302, 307, ...) with a Location: see AddRedirect
    Empty200,      // answer 200 with no body, without forwarding
    Page200,       // answer 200 with a well-formed XHTML sign-in page, without forwarding
    RepeatToken,   // answer a listing page that hands back the continuation token it was given
    Clock,         // a service whose clock runs `skewSeconds` ahead: requests signed four
                   // minutes or more away from it get 403 RequestTimeTooSkewed with that Date,
                   // the others are forwarded
};

struct FaultRule {
    std::string method = "*";  // "*" or an HTTP method
    std::string pathRegex;     // searched in the request target (path and query); empty: all
    int nth = 1;               // 1-based: the first matching request that fails
    int count = 1;             // how many matching requests fail from the nth on; -1: all
    FaultAction action = FaultAction::Status;
    int status = 500;
    std::string errorCode = "InternalError";
    std::string errorMessage = "We encountered an internal error. Please try again.";
    long long truncateAfter = 0;
    int delayMs = 0;
    int skewSeconds = 0;
};

struct RecordedRequest {
    std::string method;
    std::string target;                          // path and query, exactly as sent
    std::map<std::string, std::string> headers;  // lower-case names; repeats joined by ", "
    long long bodyBytes = 0;                     // payload bytes (chunk framing excluded)
    std::string body;                            // the first 64 KiB of the payload
    int status = 0;     // status answered to the client; 0 when none was (reset)
    std::string fault;  // "" when forwarded unchanged, else the action taken ("status", ...)
};

class FaultProxy {
  public:
    // Starts the proxy on a free loopback port (or on `port`). Throws std::runtime_error when
    // it does not come up.
    explicit FaultProxy(const std::string& targetUrl, int port = 0);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    const std::string& Url() const { return url_; }  // "http://127.0.0.1:PORT"
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }

    // Rules are checked in the order added; the first that selects a request acts on it.
    void AddRule(const FaultRule& rule);
    // A rule that answers the requests it selects with `rule.status` and a Location of
    // `location` (a base such as "http://127.0.0.1:PORT") followed by the request's target.
    void AddRedirect(FaultRule rule, const std::string& location);
    void ClearRules();

    // Every request received since the start or the last ClearRequests, in arrival order.
    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();

  private:
    static std::string RuleText(const FaultRule& rule);
    std::string Control(const std::string& method, const std::string& path,
                        const std::string& body = "") const;

    pid_t pid_ = -1;
    int port_ = 0;
    int controlPort_ = 0;
    std::string url_;
};

}  // namespace testhost
