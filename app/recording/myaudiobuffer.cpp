#include "myaudiobuffer.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstring>

CMyAudioBuffer::CMyAudioBuffer(int capacity)
    : m_data(std::size_t(std::max(capacity, 1))), m_capacity(std::max(capacity, 1)) {}

CMyAudioBuffer::~CMyAudioBuffer() = default;

void CMyAudioBuffer::SetStep(int bytes) {
    if (bytes <= 0) return;
    QMutexLocker lock(&m_mutex);
    m_step = bytes;
}

void CMyAudioBuffer::Clear() {
    QMutexLocker lock(&m_mutex);
    m_read = 0;
    m_count = 0;
    m_fed = false;
    m_repeats = 0;
}

int CMyAudioBuffer::Push(int n, const char* data) {
    if (n < 0 || (n > 0 && data == nullptr)) return -1;
    QMutexLocker lock(&m_mutex);
    if (m_count >= m_capacity) return -1;
    const int taken = std::min(n, m_capacity - m_count);
    const int write = (m_read + m_count) % m_capacity;
    const int first = std::min(taken, m_capacity - write);
    std::memcpy(m_data.data() + write, data, std::size_t(first));
    std::memcpy(m_data.data(), data + first, std::size_t(taken - first));
    m_count += taken;
    if (taken > 0) {
        m_fed = true;
        m_repeats = 0;
    }
    return taken;
}

int CMyAudioBuffer::Read(int m, char* out) {
    QMutexLocker lock(&m_mutex);
    if (m_count == 0) {
        if (!m_fed || m_repeats >= kMaxRepeats || m > m_capacity) return -1;
        ++m_repeats;
        if (m > 0 && out != nullptr) CopyOut((m_read - m + m_capacity) % m_capacity, m, out);
        return 0;
    }
    if (m > m_capacity) return 1;
    if (m <= 0 || out == nullptr) return 0;
    // Older audio than the newest m bytes will never be shown: skip it.
    if (m_count > m) {
        m_read = (m_read + m_count - m) % m_capacity;
        m_count = m;
    }
    const int older = m - m_count;
    CopyOut((m_read - older + m_capacity) % m_capacity, m, out);
    const int drop = std::min(m_step > 0 ? m_step : m_count, m_count);
    m_read = (m_read + drop) % m_capacity;
    m_count -= drop;
    return 0;
}

int CMyAudioBuffer::Count() const {
    QMutexLocker lock(&m_mutex);
    return m_count;
}

int CMyAudioBuffer::Step() const {
    QMutexLocker lock(&m_mutex);
    return m_step;
}

void CMyAudioBuffer::CopyOut(int from, int n, char* out) const {
    const int first = std::min(n, m_capacity - from);
    std::memcpy(out, m_data.data() + from, std::size_t(first));
    std::memcpy(out + first, m_data.data(), std::size_t(n - first));
}
