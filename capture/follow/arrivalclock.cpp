#include "follow/arrivalclock.h"

#include <time.h>

#include <algorithm>

namespace capdev {

int64_t MonotonicMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

CArrivalClock::CArrivalClock(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(&MonotonicMicroseconds)) {}

void CArrivalClock::Reset(uint32_t bytesPerSecond) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytesPerSecond = bytesPerSecond;
    m_total = 0;
    m_next = 0;
    m_count = 0;
}

void CArrivalClock::Stamp(uint32_t bytes) {
    const int64_t now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bytesPerSecond == 0 || bytes == 0)
        return;
    m_total += bytes;
    const auto position = static_cast<int64_t>(m_total * 1000000 / m_bytesPerSecond);
    m_offsets[m_next] = now - position;
    m_next = (m_next + 1) % kStamps;
    m_count = std::min(m_count + 1, kStamps);
}

bool CArrivalClock::Origin(int64_t* us) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_count == 0)
        return false;
    *us = *std::min_element(m_offsets.begin(), m_offsets.begin() + m_count);
    return true;
}

int64_t CArrivalClock::Now() const { return m_clock(); }

}  // namespace capdev
