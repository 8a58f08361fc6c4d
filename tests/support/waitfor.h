#pragma once

// Waiting in tests: for a condition, up to a deadline; never for a fixed
// time before a check.

#include <chrono>
#include <functional>

namespace testsupport {

// Checks `done` every few milliseconds until it holds or `timeout` has
// passed, and once more at the deadline; true when it held. A check that
// something must not happen watches for a short while instead:
// EXPECT_FALSE(WaitFor(happened, 300ms)). Qt tests, which need their events
// processed meanwhile, use QTest::qWaitFor the same way.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testsupport
