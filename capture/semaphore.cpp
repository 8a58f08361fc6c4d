#include "semaphore.h"

namespace capdev {

CSemaphore::CSemaphore(int initial, int maximum) : m_max(maximum), m_count(initial) {}

bool CSemaphore::Release(int count) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (count <= 0 || m_count > m_max - count)
            return false;
        m_count += count;
    }
    m_cond.notify_one();
    return true;
}

void CSemaphore::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return m_count > 0; });
    --m_count;
}

bool CSemaphore::TryWait() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_count <= 0)
        return false;
    --m_count;
    return true;
}

}  // namespace capdev
