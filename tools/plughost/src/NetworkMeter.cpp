#include "NetworkMeter.h"

#include <dirent.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace plughost {

NetworkMeter::Totals NetworkMeter::Sample() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<unsigned long, Totals> seen;
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return totals_;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const int fd = std::atoi(entry->d_name);
        char target[64];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0) continue;
        target[length] = '\0';
        if (std::strncmp(target, "socket:[", 8) != 0) continue;
        const unsigned long inode = std::strtoul(target + 8, nullptr, 10);
        tcp_info info{};
        socklen_t size = sizeof info;
        // Not a TCP socket (or closed and reused meanwhile): nothing to count.
        if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
            size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
            continue;
        const Totals now{info.tcpi_bytes_acked, info.tcpi_bytes_received};
        const auto before = sockets_.find(inode);
        if (before != sockets_.end()) {
            if (now.acknowledged >= before->second.acknowledged)
                totals_.acknowledged += now.acknowledged - before->second.acknowledged;
            if (now.received >= before->second.received)
                totals_.received += now.received - before->second.received;
        } else {
            totals_.acknowledged += now.acknowledged;
            totals_.received += now.received;
        }
        seen[inode] = now;
    }
    closedir(folder);
    sockets_.swap(seen);
    return totals_;
}

}  // namespace plughost
