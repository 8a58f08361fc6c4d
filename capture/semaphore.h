#pragma once

// Counting semaphore with a ceiling: the delivery thread releases it after
// each block it pushes, the encoder thread waits on it.

#include <condition_variable>
#include <mutex>

namespace capdev {

class CSemaphore {
public:
    CSemaphore(int initial, int maximum);

    // Adds `count`. A release that would lift the count above the maximum
    // fails as a whole and returns false (the recorder's encoder drains the
    // ring on every wake, so a lost release loses no audio). Any thread.
    bool Release(int count = 1);
    // Waits without time limit until the count is positive, then takes one.
    void Wait();
    // Takes one if the count is positive; never blocks.
    bool TryWait();

private:
    const int m_max;
    std::mutex m_mutex;
    std::condition_variable m_cond;  // signalled on every successful Release
    int m_count;                     // guarded by m_mutex
};

}  // namespace capdev
