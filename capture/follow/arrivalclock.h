#pragma once

// Ties captured audio to the monotonic clock. The input's delivery thread
// stamps every block it hands to the recorder with the time it arrived; the
// encoder asks at what time a given position of the input was captured.
//
// A block arrives some time after its last sample was captured, and that
// delay varies from block to block (the server delivers in bursts, threads
// wake late). The least-delayed block of the last ten seconds or so tells the
// truth best, so the clock keeps the smallest offset between arrival and
// position over the last kStamps blocks; over that span the clocks of the
// sound card and of the machine drift apart by well under a millisecond.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

namespace capdev {

// Microseconds of CLOCK_MONOTONIC, the clock that the program's
// announcements carry.
int64_t MonotonicMicroseconds();

class CArrivalClock {
public:
    // Reads the time in microseconds; null: MonotonicMicroseconds.
    using Clock = std::function<int64_t()>;
    static constexpr unsigned kStamps = 256;

    explicit CArrivalClock(Clock clock = nullptr);

    // Forgets every stamp; positions count from 0 again in bytes of an input
    // that delivers `bytesPerSecond`. Caller's thread, before the input
    // delivers.
    void Reset(uint32_t bytesPerSecond);
    // `bytes` more of the input have arrived now. Delivery thread.
    void Stamp(uint32_t bytes);
    // The time (microseconds) at which input position 0 was captured, as
    // the least-delayed recent block tells it. False before the first stamp.
    // Any thread.
    bool Origin(int64_t* us) const;
    // The clock's time now. Any thread.
    int64_t Now() const;

private:
    const Clock m_clock;
    mutable std::mutex m_mutex;
    // All guarded by m_mutex.
    uint32_t m_bytesPerSecond = 0;
    uint64_t m_total = 0;                      // bytes stamped since Reset
    std::array<int64_t, kStamps> m_offsets{};  // arrival minus position, per block
    unsigned m_next = 0;                       // where the next offset goes
    unsigned m_count = 0;                      // offsets held, up to kStamps
};

}  // namespace capdev
