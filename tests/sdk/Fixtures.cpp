#include "Fixtures.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace sdktest {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // A test process that dies without running its destructors takes the server along.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], STDOUT_FILENO);
        // The servers' request logs would drown the test output.
        int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    stdoutFd_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    if (stdoutFd_ >= 0) close(stdoutFd_);
}

std::string ChildProcess::ReadLine() {
    std::string line;
    char c;
    while (read(stdoutFd_, &c, 1) == 1) {
        if (c == '\n') break;
        line.push_back(c);
    }
    return line;
}

int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    int port = ntohs(address.sin_port);
    close(fd);
    return port;
}

void RunOrFail(const std::string& command) {
    int rc = std::system(command.c_str());
    if (rc != 0) throw std::runtime_error("command failed: " + command);
}

namespace {
size_t CollectBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* out) {
    std::string line(data, size * count);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
        (*static_cast<std::map<std::string, std::string>*>(out))[name] = value;
    }
    return size * count;
}
}  // namespace

RawResponse RawRequest(const std::string& baseUrl, const std::string& method,
                       const std::string& target, const std::string& body,
                       const std::string& caFile) {
    RawResponse response;
    CURL* curl = curl_easy_init();
    std::string url = baseUrl + target;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.empty() || method == "PUT" || method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/xml");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return response;
}

MotoServer::MotoServer(bool tls) {
    char pattern[] = "/tmp/sdk-moto-XXXXXX";
    dir_ = mkdtemp(pattern);
    int port = FreeLoopbackPort();
    std::vector<std::string> argv = {"moto_server", "-H", "127.0.0.1", "-p", std::to_string(port)};
    if (tls) {
        const std::string d = dir_;
        auto makeCa = [&](const std::string& name) {
            RunOrFail("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + name +
                      " -keyout " + d + "/" + name + ".key -out " + d + "/" + name +
                      ".pem >/dev/null 2>&1");
        };
        makeCa("ca");
        makeCa("otherca");
        RunOrFail("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d +
                  "/server.key -out " + d + "/server.csr >/dev/null 2>&1");
        RunOrFail("printf 'subjectAltName=IP:127.0.0.1\\nbasicConstraints=CA:FALSE\\n' > " + d +
                  "/ext.cnf");
        RunOrFail("openssl x509 -req -in " + d + "/server.csr -CA " + d + "/ca.pem -CAkey " + d +
                  "/ca.key -CAcreateserial -days 2 -extfile " + d + "/ext.cnf -out " + d +
                  "/server.pem >/dev/null 2>&1");
        caFile_ = d + "/ca.pem";
        otherCaFile_ = d + "/otherca.pem";
        argv.insert(argv.end(), {"-c", d + "/server.pem", "-k", d + "/server.key"});
    }
    url_ = std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
    process_ = new ChildProcess(argv);
    for (int i = 0; i < 200; ++i) {
        if (RawRequest(url_, "GET", "/", "", caFile_).status == 200) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    delete process_;
    process_ = nullptr;
    throw std::runtime_error("moto_server did not come up on " + url_);
}

MotoServer::~MotoServer() {
    delete process_;
    RunOrFail("rm -rf " + dir_);
}

void MotoServer::CreateBucket(const std::string& bucket, const std::string& locationConstraint) {
    std::string body;
    if (!locationConstraint.empty()) {
        body =
            "<CreateBucketConfiguration xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
            "<LocationConstraint>" +
            locationConstraint + "</LocationConstraint></CreateBucketConfiguration>";
    }
    RawResponse response = RawRequest(url_, "PUT", "/" + bucket, body, caFile_);
    if (response.status != 200) {
        throw std::runtime_error("cannot create bucket " + bucket + ": " + response.body);
    }
}

FaultProxy::FaultProxy(const std::string& targetUrl) {
    process_ = new ChildProcess({SDK_TEST_PYTHON, SDK_TEST_FAULTPROXY, "--target", targetUrl});
    std::istringstream ready(process_->ReadLine());
    std::string word;
    int port = 0;
    int controlPort = 0;
    ready >> word >> port >> controlPort;
    if (word != "ready") {
        delete process_;
        process_ = nullptr;
        throw std::runtime_error("the fault proxy did not start");
    }
    url_ = "http://127.0.0.1:" + std::to_string(port);
    controlUrl_ = "http://127.0.0.1:" + std::to_string(controlPort);
}

FaultProxy::~FaultProxy() { delete process_; }

std::string FaultProxy::Control(const std::string& method, const std::string& path,
                                const std::string& body) {
    RawResponse response = RawRequest(controlUrl_, method, path, body);
    if (response.status != 200) throw std::runtime_error("fault proxy control failed: " + path);
    return response.body;
}

void FaultProxy::AddRule(const ProxyRule& rule) {
    std::ostringstream text;
    text << "method " << rule.method << "\n"
         << "pathRegex " << rule.pathRegex << "\n"
         << "nth " << rule.nth << "\ncount " << rule.count << "\n"
         << "action " << rule.action << "\nstatus " << rule.status << "\n"
         << "errorCode " << rule.errorCode << "\nerrorMessage " << rule.errorMessage << "\n"
         << "truncateAfter " << rule.truncateAfter << "\ndelayMs " << rule.delayMs
         << "\nskewSeconds " << rule.skewSeconds << "\n";
    Control("POST", "/rules", text.str());
}

void FaultProxy::ClearRules() { Control("POST", "/clear-rules"); }

void FaultProxy::ClearRequests() { Control("POST", "/clear-requests"); }

std::vector<ProxiedRequest> FaultProxy::Requests() {
    std::vector<ProxiedRequest> requests;
    std::istringstream lines(Control("GET", "/requests"));
    std::string line;
    auto fromHex = [](const std::string& hex) {
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return out;
    };
    while (std::getline(lines, line)) {
        size_t space = line.find(' ');
        std::string name = line.substr(0, space);
        std::string value = space == std::string::npos ? "" : line.substr(space + 1);
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
            requests.back().body = fromHex(value);
        } else if (name == "header") {
            size_t split = value.find(' ');
            requests.back().headers[value.substr(0, split)] =
                split == std::string::npos ? "" : value.substr(split + 1);
        }
    }
    return requests;
}

}  // namespace sdktest
