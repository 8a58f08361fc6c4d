// The timing of the HTTP layer and of the network state, in one record.
//
// The shipped library always runs with the defaults below. Tests (of this
// folder and of the rest of the service) shorten them by calling
// SetNetTimingForTests() before the code under test starts its transfers or
// its state thread; the record is internal to the library and never exported.
#pragma once

#include <chrono>

namespace aws {

struct NetTiming {
    using ms = std::chrono::milliseconds;
    ms probeInterval{5000};    // state thread: pause between probe passes
    ms checkCache{5000};       // reachability check: age below which the cached result is used
    ms verdictPoll{2000};      // waiting for a verdict: polling interval while the state is unknown
    ms stallLimit{9000};       // transfer: no progress for longer than this aborts the try
    ms retryPause{1000};       // transfer: pause between two tries
    ms checkTimeout{15000};    // reachability check: whole-transfer time-out
    ms connectTimeout{15000};  // every transfer: connect time-out
    ms pingReplyWait{3000};    // ICMP echo: wait for a matching reply
    ms pingResendPause{1000};  // ICMP echo: pause before sending again
};

// A copy of the timing in force; callable from any thread.
NetTiming CurrentNetTiming();

// Replaces the timing for the whole process. For tests only; callable from any
// thread, takes effect for transfers and waits that start afterwards.
void SetNetTimingForTests(const NetTiming& timing);

// The defaults again.
void ResetNetTimingForTests();

// Milliseconds on a monotonic clock (the service's "tick count").
unsigned long long TickCountMs();

}  // namespace aws
