#include "testhost/MotoServer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "Internal.h"

namespace testhost {

MotoServer& MotoServer::Shared() {
    static MotoServer server(false);
    return server;
}

MotoServer& MotoServer::SharedTls() {
    static MotoServer server(true);
    return server;
}

MotoServer::MotoServer(bool tls) : tls_(tls) {
    if (tls_) MakeCertificates();
    // The free port may be taken between the probe and the server's bind: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Launch()) return;
    }
    if (!tempDir_.empty()) std::filesystem::remove_all(tempDir_);
    throw std::runtime_error("moto_server did not come up");
}

MotoServer::~MotoServer() {
    Stop();
    if (!tempDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
    }
}

void MotoServer::MakeCertificates() {
    std::string pattern = (std::filesystem::temp_directory_path() / "testhost-tls-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    tempDir_ = pattern;
    caFile_ = tempDir_ + "/ca.pem";
    certFile_ = tempDir_ + "/server.pem";
    keyFile_ = tempDir_ + "/server.key";
    const std::string dir = tempDir_;
    // A throw-away CA, and a certificate for the loopback address signed by it.
    const std::string script =
        "cd '" + dir +
        "' && printf 'subjectAltName=IP:127.0.0.1\\nbasicConstraints=CA:FALSE\\n' > ext.cnf"
        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2"
        " -subj '/CN=testhost CA'"
        " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr"
        " -subj '/CN=127.0.0.1'"
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
        " -out server.pem -days 2 -extfile ext.cnf) > /dev/null 2>&1";
    if (std::system(("(" + script).c_str()) != 0) {
        throw std::runtime_error("openssl could not make the test certificates");
    }
}

bool MotoServer::Launch() {
    port_ = internal::FreePort();
    std::vector<std::string> argv = {MOTO_SERVER_PROGRAM, "-H", "127.0.0.1", "-p",
                                     std::to_string(port_)};
    if (tls_) argv.insert(argv.end(), {"-c", certFile_, "-k", keyFile_});
    url_ = std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
    pid_ = internal::Spawn(argv, nullptr, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (internal::Exited(pid_)) {
            pid_ = -1;
            return false;
        }
        if (internal::Http("GET", url_ + "/", "", {}, caFile_, 2000).status != 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Stop();
    return false;
}

void MotoServer::Stop() {
    internal::Stop(pid_);
    pid_ = -1;
}

void MotoServer::Reset() {
    const auto result = internal::Http("POST", url_ + "/moto-api/reset", "", {}, caFile_);
    if (result.status != 200) throw std::runtime_error("moto reset failed: " + result.error);
}

}  // namespace testhost
