#include "ringbuffer.h"

#include <algorithm>
#include <cstring>

namespace capdev {

CRingBuffer::CRingBuffer(uint32_t capacity)
    : m_capacity(capacity), m_data(new uint8_t[capacity > 0 ? capacity : 1]) {}

int CRingBuffer::Push(const void* data, uint32_t bytes, uint32_t* dropped) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t n = std::min(bytes, m_capacity - m_count);
    m_dropped += bytes - n;
    if (dropped)
        *dropped = bytes - n;
    if (m_count == m_capacity)
        return -1;
    const uint32_t write = static_cast<uint32_t>((uint64_t(m_read) + m_count) % m_capacity);
    const uint32_t first = std::min(n, m_capacity - write);
    const auto* src = static_cast<const uint8_t*>(data);
    std::memcpy(m_data.get() + write, src, first);
    std::memcpy(m_data.get(), src + first, n - first);
    m_count += n;
    return 0;
}

int CRingBuffer::Pop(void* out, uint32_t maxBytes, uint32_t* got) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_count == 0) {
        *got = 0;
        return -1;
    }
    const uint32_t k = std::min(maxBytes, m_count);
    const uint32_t first = std::min(k, m_capacity - m_read);
    auto* dst = static_cast<uint8_t*>(out);
    std::memcpy(dst, m_data.get() + m_read, first);
    std::memcpy(dst + first, m_data.get(), k - first);
    m_read = static_cast<uint32_t>((uint64_t(m_read) + k) % m_capacity);
    m_count -= k;
    *got = k;
    return 0;
}

uint32_t CRingBuffer::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

uint64_t CRingBuffer::DroppedBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

}  // namespace capdev
