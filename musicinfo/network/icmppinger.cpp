#include "network/icmppinger.h"

#include <unistd.h>

#include <algorithm>
#include <boost/asio.hpp>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "http/nettiming.h"

namespace aws {
namespace {

namespace asio = boost::asio;
using asio::ip::icmp;

constexpr unsigned char kEchoRequest = 8;
constexpr unsigned char kEchoReply = 0;
const char kEchoBody[] = "\"Hello!\" from Asio ping.";
constexpr auto kStopPoll = std::chrono::milliseconds(100);

std::vector<unsigned char> EchoRequest(std::uint16_t id, std::uint16_t sequence) {
    std::vector<unsigned char> packet(8 + sizeof(kEchoBody) - 1, 0);
    packet[0] = kEchoRequest;
    packet[1] = 0;  // code
    packet[4] = static_cast<unsigned char>(id >> 8);
    packet[5] = static_cast<unsigned char>(id & 0xff);
    packet[6] = static_cast<unsigned char>(sequence >> 8);
    packet[7] = static_cast<unsigned char>(sequence & 0xff);
    std::memcpy(packet.data() + 8, kEchoBody, sizeof(kEchoBody) - 1);
    std::uint16_t sum = IcmpPinger::Checksum(packet.data(), packet.size());
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum & 0xff);
    return packet;
}

// Whether a datagram of a raw ICMP socket (IPv4 header first) is the echo
// reply to (id, sequence).
bool IsMatchingReply(const unsigned char* data, std::size_t size, std::uint16_t id,
                     std::uint16_t sequence) {
    if (size < 20) return false;
    const std::size_t headerLength = static_cast<std::size_t>(data[0] & 0x0f) * 4;
    if ((data[0] >> 4) != 4 || headerLength < 20 || size < headerLength + 8) return false;
    const unsigned char* icmpPart = data + headerLength;
    const auto replyId = static_cast<std::uint16_t>((icmpPart[4] << 8) | icmpPart[5]);
    const auto replySeq = static_cast<std::uint16_t>((icmpPart[6] << 8) | icmpPart[7]);
    return icmpPart[0] == kEchoReply && icmpPart[1] == 0 && replyId == id && replySeq == sequence;
}

// Waits on the socket for the reply to (id, sequence) until deadline, or
// until a receive fails (then no reply can come).
int AwaitReply(asio::io_context& io, icmp::socket& socket, std::uint16_t id, std::uint16_t sequence,
               std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stop) {
    std::vector<unsigned char> buffer(65536);
    bool matched = false;
    bool failed = false;  // the socket gave an error: no reply can come
    bool pending = false;
    std::function<void()> receive = [&] {
        pending = true;
        socket.async_receive(asio::buffer(buffer),
                             [&](const boost::system::error_code& ec, std::size_t size) {
                                 pending = false;
                                 if (ec) {
                                     failed = true;
                                     return;
                                 }
                                 if (IsMatchingReply(buffer.data(), size, id, sequence))
                                     matched = true;
                                 else
                                     receive();
                             });
    };
    receive();
    while (!matched && !failed && !stop.load() && std::chrono::steady_clock::now() < deadline) {
        auto left = deadline - std::chrono::steady_clock::now();
        io.run_for(std::min<std::chrono::steady_clock::duration>(left, kStopPoll));
        if (io.stopped()) io.restart();
    }
    if (pending) {
        boost::system::error_code ignored;
        socket.cancel(ignored);
        io.run();  // lets the cancelled handler finish before the buffer goes
        io.restart();
    }
    if (matched) return IcmpPinger::kReply;
    return stop.load() ? IcmpPinger::kStopped : IcmpPinger::kNoReply;
}

bool SleepUnlessStopped(std::chrono::milliseconds pause, const std::atomic<bool>& stop) {
    const auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until) {
        if (stop.load()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stop.load();
}

}  // namespace

std::uint16_t IcmpPinger::Checksum(const unsigned char* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

bool IcmpPinger::RawSocketsAllowed() {
    static const bool allowed = [] {
        asio::io_context io;
        icmp::socket socket(io);
        boost::system::error_code ec;
        socket.open(icmp::v4(), ec);
        return !ec;
    }();
    return allowed;
}

int IcmpPinger::Ping(const std::string& host, const std::atomic<bool>& stop) {
    asio::io_context io;
    icmp::socket socket(io);
    boost::system::error_code ec;
    socket.open(icmp::v4(), ec);
    if (ec) return kUnavailable;  // EPERM and the like: no raw sockets for us

    icmp::resolver resolver(io);
    auto results = resolver.resolve(icmp::v4(), host, "", ec);
    if (ec || results.empty()) return kNoReply;
    const icmp::endpoint destination = *results.begin();

    const NetTiming timing = CurrentNetTiming();
    const auto id = static_cast<std::uint16_t>(::getpid() & 0xffff);
    static std::atomic<std::uint16_t> nextSequence{0};
    for (int request = 0; request < 4; ++request) {
        if (stop.load()) return kStopped;
        if (request > 0 && !SleepUnlessStopped(timing.pingResendPause, stop)) return kStopped;
        const auto sequence = static_cast<std::uint16_t>(++nextSequence);
        std::vector<unsigned char> packet = EchoRequest(id, sequence);
        socket.send_to(asio::buffer(packet), destination, 0, ec);
        if (ec) continue;
        int result = AwaitReply(io, socket, id, sequence,
                                std::chrono::steady_clock::now() + timing.pingReplyWait, stop);
        if (result != kNoReply) return result;
    }
    return kNoReply;
}

}  // namespace aws
