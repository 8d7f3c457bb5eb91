#include "Internal.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/sha.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace testhost {
namespace internal {

pid_t Spawn(const std::vector<std::string>& argv, int* stdoutPipe, bool keepStderr) {
    int pipeFds[2] = {-1, -1};
    if (stdoutPipe != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Own group, so that stopping it reaches whatever the program starts; and dies with
        // us, so that a test that crashes leaves no server behind.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(stdoutPipe != nullptr ? pipeFds[1] : devNull, STDOUT_FILENO);
        if (!keepStderr) dup2(devNull, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);
    if (stdoutPipe != nullptr) {
        close(pipeFds[1]);
        *stdoutPipe = pipeFds[0];
    }
    return pid;
}

bool Exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || done < 0) {
            kill(-pid, SIGKILL);  // anything left in the group
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

namespace {

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* user) {
    auto* headers = static_cast<std::map<std::string, std::string>*>(user);
    std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) headers->clear();  // a new response (after 100 Continue)
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t\r\n");
        (*headers)[name] = first == std::string::npos ? "" : value.substr(first, last - first + 1);
    }
    return size * count;
}

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : digest) {
        text.push_back(hex[byte >> 4]);
        text.push_back(hex[byte & 0xF]);
    }
    return text;
}

}  // namespace

std::string CanonicalQueryUrl(const std::string& url) {
    const std::size_t mark = url.find('?');
    if (mark == std::string::npos) return url;
    std::vector<std::string> parameters;
    const std::string query = url.substr(mark + 1);
    for (std::size_t at = 0; at <= query.size();) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string parameter = query.substr(at, end - at);
        if (!parameter.empty()) {
            if (parameter.find('=') == std::string::npos) parameter += '=';
            parameters.push_back(std::move(parameter));
        }
        at = end + 1;
    }
    // By name, then by value: compare the name and the value apart, as '=' sorts after
    // characters that may end a name.
    std::sort(parameters.begin(), parameters.end(), [](const std::string& a, const std::string& b) {
        const std::size_t ea = a.find('='), eb = b.find('=');
        const int byName = a.compare(0, ea, b, 0, eb);
        return byName != 0 ? byName < 0 : a.compare(ea + 1, std::string::npos, b, eb + 1) < 0;
    });
    std::string out = url.substr(0, mark);
    for (std::size_t i = 0; i < parameters.size(); ++i) out += (i == 0 ? "?" : "&") + parameters[i];
    return out;
}

HttpResult Http(const std::string& method, const std::string& url, const std::string& body,
                const std::map<std::string, std::string>& headers, const std::string& caFile,
                long timeoutMs, const Signing* signing, bool keepConnection) {
    static CurlGlobal global;
    // One handle per thread for the kept connections: a handle's connections are its own.
    struct KeptHandle {
        CURL* curl = nullptr;
        ~KeptHandle() {
            if (curl != nullptr) curl_easy_cleanup(curl);
        }
    };
    static thread_local KeptHandle kept;
    HttpResult result;
    CURL* curl = nullptr;
    if (keepConnection) {
        if (kept.curl == nullptr) kept.curl = curl_easy_init();
        curl = kept.curl;
        if (curl != nullptr) curl_easy_reset(curl);
    } else {
        curl = curl_easy_init();
    }
    if (curl == nullptr) {
        result.error = "curl_easy_init failed";
        return result;
    }
    curl_slist* list = nullptr;
    // An empty header keeps libcurl from sending one; its signer would sign it all the same,
    // and the server would not find it: signed requests let libcurl send "Expect" as it likes.
    if (signing == nullptr) list = curl_slist_append(list, "Expect:");
    for (const auto& [name, value] : headers) {
        list = curl_slist_append(list, (name + ": " + value).c_str());
    }
    const std::string target = signing != nullptr ? CanonicalQueryUrl(url) : url;
    if (signing != nullptr) {
        list = curl_slist_append(list, ("x-amz-content-sha256: " + Sha256Hex(body)).c_str());
        curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, ("aws:amz:" + signing->region + ":s3").c_str());
        curl_easy_setopt(curl, CURLOPT_USERNAME, signing->accessKey.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, signing->secretKey.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    // Loopback only: no proxy from the environment may take these requests elsewhere.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
    if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method != "GET" || !body.empty()) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (method != "GET" && method != "DELETE") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body.size()));
        }
    }
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    } else {
        result.error = curl_easy_strerror(code);
    }
    curl_slist_free_all(list);
    if (!keepConnection) curl_easy_cleanup(curl);
    return result;
}

}  // namespace internal
}  // namespace testhost
