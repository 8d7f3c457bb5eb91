#include "testhost/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testhost {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Copies from `from` to `to` until `from` ends, then passes the end on, so that a client that
// half-closes its side still gets the whole answer.
void Pump(int from, int to, std::atomic<int>* finished) {
    struct Done {
        std::atomic<int>* finished;
        ~Done() { ++*finished; }
    } done{finished};
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t got = recv(from, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t n =
                send(to, buffer.data() + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // The other side is gone: stop reading this one too.
                shutdown(from, SHUT_RD);
                return;
            }
            sent += n;
        }
    }
    shutdown(to, SHUT_WR);
}

}  // namespace

TcpRelay::TcpRelay(int port, int targetPort, int bindWaitMs) : targetPort_(targetPort) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = Loopback(port);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bindWaitMs);
    while (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EADDRINUSE || std::chrono::steady_clock::now() >= deadline) {
            const std::string reason = std::strerror(errno);
            close(listener_);
            throw std::runtime_error(
                "the relay cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + reason);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    socklen_t length = sizeof address;
    if (listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener_);
        throw std::runtime_error("the relay cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

TcpRelay::~TcpRelay() {
    stopping_ = true;
    // Wakes the blocked accept().
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
    Reap(true);
}

void TcpRelay::Reap(bool all) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto link = links_.begin(); link != links_.end();) {
        if (!all && link->finished < 2) {
            ++link;
            continue;
        }
        shutdown(link->client, SHUT_RDWR);
        shutdown(link->server, SHUT_RDWR);
        link->upstream.join();
        link->downstream.join();
        close(link->client);
        close(link->server);
        link = links_.erase(link);
    }
}

void TcpRelay::Accept() {
    while (!stopping_) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // shut down
        }
        ++connections_;
        Reap(false);
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = Loopback(targetPort_);
        if (server < 0 ||
            connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            // The client sees its connection closed, as it would with no server there.
            if (server >= 0) close(server);
            close(client);
            continue;
        }
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard<std::mutex> lock(mutex_);
        Link& link = links_.emplace_back();
        link.client = client;
        link.server = server;
        link.upstream = std::thread(Pump, client, server, &link.finished);
        link.downstream = std::thread(Pump, server, client, &link.finished);
    }
}

}  // namespace testhost
