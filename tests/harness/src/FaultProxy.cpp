#include "testhost/FaultProxy.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>

#include "Internal.h"

namespace testhost {
namespace {

const char* ActionName(FaultAction action) {
    switch (action) {
        case FaultAction::Status:
            return "status";
        case FaultAction::Reset:
            return "reset";
        case FaultAction::Truncate:
            return "truncate";
        case FaultAction::Delay:
            return "delay";
        case FaultAction::Error200:
            return "error200";
        case FaultAction::MalformedXml:
            return "malformed";
        case FaultAction::Redirect:
            return "redirect";
        case FaultAction::Empty200:
            return "empty200";
        case FaultAction::Page200:
            return "page200";
        case FaultAction::RepeatToken:
            return "repeattoken";
        case FaultAction::Clock:
            return "clock";
    }
    return "status";
}

std::string Field(const std::string& name, const std::string& value) {
    if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos) {
        throw std::invalid_argument("fault rule field " + name + " holds a line break");
    }
    return name + " " + value + "\n";
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The proxy announces its ports on its first line of output.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.empty() || line.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        char c;
        if (read(fd, &c, 1) != 1) break;
        line.push_back(c);
    }
    return line;
}

}  // namespace

FaultProxy::FaultProxy(const std::string& targetUrl, int port) {
    int output = -1;
    pid_ = internal::Spawn(
        {PYTHON3_PROGRAM, FAULTPROXY_SCRIPT, "--target", targetUrl, "--port", std::to_string(port)},
        &output, true);
    const std::string line = ReadLine(output, 30000);
    close(output);
    std::istringstream words(line);
    std::string ready;
    words >> ready >> port_ >> controlPort_;
    if (ready != "ready" || port_ <= 0 || controlPort_ <= 0) {
        internal::Stop(pid_);
        throw std::runtime_error("the fault proxy did not start (port " + std::to_string(port) +
                                 ")");
    }
    url_ = "http://127.0.0.1:" + std::to_string(port_);
}

FaultProxy::~FaultProxy() { internal::Stop(pid_); }

std::string FaultProxy::Control(const std::string& method, const std::string& path,
                                const std::string& body) const {
    const internal::HttpResult result =
        internal::Http(method, "http://127.0.0.1:" + std::to_string(controlPort_) + path, body,
                       {{"Content-Type", "text/plain"}});
    if (result.status != 200) {
        throw std::runtime_error("fault proxy command " + path +
                                 " failed: " + (result.status ? result.body : result.error));
    }
    return result.body;
}

void FaultProxy::AddRule(const FaultRule& rule) { Control("POST", "/rules", RuleText(rule)); }

void FaultProxy::AddRedirect(FaultRule rule, const std::string& location) {
    rule.action = FaultAction::Redirect;
    Control("POST", "/rules", RuleText(rule) + Field("location", location));
}

std::string FaultProxy::RuleText(const FaultRule& rule) {
    return Field("method", rule.method) + Field("pathRegex", rule.pathRegex) +
           Field("nth", std::to_string(rule.nth)) + Field("count", std::to_string(rule.count)) +
           Field("action", ActionName(rule.action)) + Field("status", std::to_string(rule.status)) +
           Field("errorCode", rule.errorCode) + Field("errorMessage", rule.errorMessage) +
           Field("truncateAfter", std::to_string(rule.truncateAfter)) +
           Field("delayMs", std::to_string(rule.delayMs)) +
           Field("skewSeconds", std::to_string(rule.skewSeconds));
}

void FaultProxy::ClearRules() { Control("POST", "/clear-rules"); }

void FaultProxy::ClearRequests() { Control("POST", "/clear-requests"); }

std::vector<RecordedRequest> FaultProxy::Requests() const {
    std::vector<RecordedRequest> requests;
    std::istringstream lines(Control("GET", "/requests"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string name = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (name == "request") {
            requests.emplace_back();
        } else if (requests.empty() || name == "end") {
            continue;
        } else if (name == "method") {
            requests.back().method = value;
        } else if (name == "target") {
            requests.back().target = value;
        } else if (name == "status") {
            requests.back().status = std::stoi(value);
        } else if (name == "fault") {
            requests.back().fault = value;
        } else if (name == "bodyBytes") {
            requests.back().bodyBytes = std::stoll(value);
        } else if (name == "body") {
            requests.back().body = FromHex(value);
        } else if (name == "header") {
            const std::size_t split = value.find(' ');
            requests.back().headers[value.substr(0, split)] =
                split == std::string::npos ? "" : value.substr(split + 1);
        }
    }
    return requests;
}

}  // namespace testhost
