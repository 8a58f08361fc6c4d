// A counting semaphore of the pthreads family, owned by one object.
#pragma once

#include <semaphore.h>

#include <cerrno>

namespace aws {

class CountingSemaphore {
public:
    explicit CountingSemaphore(unsigned initial = 0) : m_valid(sem_init(&m_sem, 0, initial) == 0) {}
    ~CountingSemaphore() {
        if (m_valid) sem_destroy(&m_sem);
    }
    CountingSemaphore(const CountingSemaphore&) = delete;
    CountingSemaphore& operator=(const CountingSemaphore&) = delete;

    // False when the system could not create it; then Post and Wait fail.
    bool IsValid() const { return m_valid; }
    bool Post() { return m_valid && sem_post(&m_sem) == 0; }
    // Waits until the count is above 0 and takes one; interruptions by
    // signals are resumed.
    bool Wait() {
        if (!m_valid) return false;
        int rc;
        do {
            rc = sem_wait(&m_sem);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

private:
    sem_t m_sem{};
    const bool m_valid;
};

}  // namespace aws
