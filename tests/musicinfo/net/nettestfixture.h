// Shared set-up of the network tests: libcurl initialised once for the
// program, short timings for every test, and an empty check cache.
#pragma once

#include <gtest/gtest.h>

#include <chrono>

#include "http/nettiming.h"
#include "http/webrequest.h"
#include "loopbackservers.h"

namespace nettest {

using namespace std::chrono_literals;

// Timings short enough for a fast suite, long enough for a loaded machine.
inline aws::NetTiming FastTiming() {
    aws::NetTiming t;
    t.probeInterval = 200ms;
    t.checkCache = 1500ms;
    t.verdictPoll = 50ms;
    t.stallLimit = 400ms;
    t.retryPause = 50ms;
    t.checkTimeout = 3000ms;
    t.connectTimeout = 3000ms;
    t.pingReplyWait = 500ms;
    t.pingResendPause = 50ms;
    return t;
}

class NetTest : public testing::Test {
protected:
    void SetUp() override {
        aws::SetNetTimingForTests(FastTiming());
        aws::WebRequest::ClearCheckCache();
        aws::InstallHttpProxy(nullptr);
    }
    void TearDown() override { aws::ResetNetTimingForTests(); }

    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

}  // namespace nettest
