// A moto_server process on a free loopback port, owned by the test process.
#pragma once

#include <sys/types.h>

#include <string>

namespace testhost {

class MotoServer {
  public:
    // Process-wide servers, started on first use and stopped when the process exits. Call them
    // from the main thread: the server is bound to the life of the thread that started it, so
    // a crashed test never leaves it behind.
    static MotoServer& Shared();
    // The same over TLS, with a certificate for 127.0.0.1 signed by a throw-away CA (CaFile()).
    static MotoServer& SharedTls();

    // A private server, stopped by the destructor. Throws std::runtime_error when it does not
    // come up.
    explicit MotoServer(bool tls = false);
    ~MotoServer();
    MotoServer(const MotoServer&) = delete;
    MotoServer& operator=(const MotoServer&) = delete;

    const std::string& Url() const { return url_; }  // "http://127.0.0.1:PORT" (https for TLS)
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // PEM file of the CA that signed the server's certificate; empty without TLS.
    const std::string& CaFile() const { return caFile_; }

    // Drops every bucket and object (moto's reset API).
    void Reset();

  private:
    void MakeCertificates();
    bool Launch();
    void Stop();

    bool tls_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string url_;
    std::string tempDir_;
    std::string caFile_;
    std::string certFile_;
    std::string keyFile_;
};

}  // namespace testhost
