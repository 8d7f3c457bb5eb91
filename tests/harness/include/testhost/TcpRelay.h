// Forwards every TCP connection made to a loopback port to another loopback port, byte for
// byte in both directions and nothing else. In front of a TLS server it passes the handshake
// through, so that the client verifies the server's own certificate: this is how a plug-in
// built with a fixed loopback endpoint reaches whichever server a test uses.
#pragma once

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

namespace testhost {

class TcpRelay {
  public:
    // Listens on 127.0.0.1:`port` (0: a free port), waiting up to `bindWaitMs` for another test
    // process to let go of that port; throws std::runtime_error when it cannot.
    TcpRelay(int port, int targetPort, int bindWaitMs = 30000);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return port_; }
    // Connections accepted so far.
    int Connections() const { return connections_; }

  private:
    struct Link {
        int client = -1;
        int server = -1;
        std::thread upstream;
        std::thread downstream;
        std::atomic<int> finished{0};  // directions that have ended
    };

    void Accept();
    // Joins and closes the links whose two directions have ended.
    void Reap(bool all);

    int listener_ = -1;
    int port_ = 0;
    int targetPort_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::list<Link> links_;
    std::thread acceptor_;
};

}  // namespace testhost
