#include "Probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plughost {

std::string ProbeEndpoint(const std::string& url) {
    std::string rest = url;
    std::string port = "443";
    const std::string::size_type scheme = rest.find("://");
    if (scheme != std::string::npos) {
        if (rest.compare(0, scheme, "http") == 0) port = "80";
        rest = rest.substr(scheme + 3);
    }
    rest = rest.substr(0, rest.find('/'));
    std::string host = rest;
    if (!rest.empty() && rest[0] == '[') {
        const std::string::size_type close = rest.find(']');
        if (close == std::string::npos) return "";
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] == ':') port = rest.substr(close + 2);
    } else if (const std::string::size_type colon = rest.rfind(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (host.empty() || port.empty()) return "";

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr)
        return "host not found: " + host;
    std::string result = "no answer to a connection attempt within 1 s";
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          found->ai_protocol);
    if (fd >= 0) {
        int error = 0;
        if (connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd wait{fd, POLLOUT, 0};
                if (poll(&wait, 1, 1000) == 1) {
                    socklen_t size = sizeof error;
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                } else {
                    error = ETIMEDOUT;
                }
            }
        }
        if (error == 0)
            result = "it accepts connections, but the service does not answer";
        else if (error == ECONNREFUSED)
            result = "connection refused";
        else if (error != ETIMEDOUT)
            result = std::string("cannot connect: ") + std::strerror(error);
        close(fd);
    }
    freeaddrinfo(found);
    return result;
}

}  // namespace plughost
