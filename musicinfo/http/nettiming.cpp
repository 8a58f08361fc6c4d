#include "http/nettiming.h"

#include <mutex>

namespace aws {
namespace {

std::mutex& TimingLock() {
    static std::mutex lock;
    return lock;
}
NetTiming& TimingSlot() {
    static NetTiming timing;  // guarded by TimingLock()
    return timing;
}

}  // namespace

NetTiming CurrentNetTiming() {
    std::lock_guard<std::mutex> lock(TimingLock());
    return TimingSlot();
}

void SetNetTimingForTests(const NetTiming& timing) {
    std::lock_guard<std::mutex> lock(TimingLock());
    TimingSlot() = timing;
}

void ResetNetTimingForTests() {
    SetNetTimingForTests(NetTiming{});
}

unsigned long long TickCountMs() {
    return static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now().time_since_epoch())
                                               .count());
}

}  // namespace aws
