// IcmpPinger: ICMP echo ("ping") of one IPv4 host through a raw socket.
// Raw sockets need privileges; where opening one is refused the pinger says
// so and the caller relies on the HTTP check alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace aws {

class IcmpPinger {
public:
    enum Result : int {
        kReply = 1,         // a matching echo reply arrived
        kNoReply = -1,      // no reply after the last request (or the host did not resolve)
        kUnavailable = -2,  // no raw socket allowed here: nothing was sent
        kStopped = -3,      // the stop flag was set
    };

    // Sends up to 4 echo requests (identifier = process id, rising sequence
    // numbers, body "\"Hello!\" from Asio ping."), waits the ping-reply time
    // for a matching reply and pauses the resend time between requests.
    // Blocks the calling thread; stop is polled at least every 100 ms.
    static int Ping(const std::string& host, const std::atomic<bool>& stop);

    // Whether this process may open a raw ICMP socket. Computed once.
    static bool RawSocketsAllowed();

    // The Internet checksum of a buffer (exposed for tests).
    static std::uint16_t Checksum(const unsigned char* data, std::size_t size);
};

}  // namespace aws
