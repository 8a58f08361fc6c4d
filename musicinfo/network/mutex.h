// Mutex: the service's process-local mutex, usable with std::lock_guard and
// std::unique_lock.
#pragma once

#include <mutex>

namespace aws {

class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() { m_mutex.lock(); }
    bool try_lock() { return m_mutex.try_lock(); }
    void unlock() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
};

}  // namespace aws
