// Bytes the process's TCP connections have carried, as the kernel counts them: the bytes
// sent that the peer has acknowledged, and the bytes received. A plug-in call that sends a
// part of a hundred megabytes is one call that returns only at the end; these counters are how
// the host sees what the service has taken in the meantime, without asking the plug-in.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace plughost {

class NetworkMeter {
  public:
    struct Totals {
        std::uint64_t acknowledged = 0;  // bytes sent and acknowledged by the peer
        std::uint64_t received = 0;
    };

    // Reads the counters of every TCP socket the process holds and adds what each has moved
    // since the last reading. A connection that closes between two readings loses what it
    // moved after the last one, so the totals are a lower bound.
    Totals Sample();

  private:
    std::mutex mutex_;
    std::map<unsigned long, Totals> sockets_;  // by socket inode, the counters last read
    Totals totals_;
};

}  // namespace plughost
