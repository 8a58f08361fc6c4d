// A span of time that several transfers share: from its start they have so
// many milliseconds in all, however many of them there are, however often
// they are tried again and however long each one would wait by itself. A
// transfer takes what is left as its own overall limit (WebRequest's
// SetTimeLimitMs), so even one that stalls ends with the budget.
//
// A budget is a value (its end on the tick clock): copies share the end.
// Any thread.
#pragma once

#include <algorithm>
#include <cstdint>

#include "http/nettiming.h"

namespace aws {

class TimeBudget {
public:
    // A budget that never runs out.
    TimeBudget() = default;
    // A budget of `ms` milliseconds from now.
    static TimeBudget StartingNow(std::uint32_t ms) {
        TimeBudget budget;
        budget.m_limited = true;
        budget.m_end = TickCountMs() + ms;
        return budget;
    }

    bool Limited() const { return m_limited; }
    bool Spent() const { return m_limited && TickCountMs() >= m_end; }
    // Milliseconds left; 0 once spent. Meaningless without a limit.
    std::uint32_t LeftMs() const {
        const unsigned long long now = TickCountMs();
        return !m_limited || now >= m_end ? 0 : static_cast<std::uint32_t>(m_end - now);
    }
    // A transfer's own limit (0 = none) cut to what is left, and at least
    // 1 ms, so that a limited budget never turns into "no limit".
    std::uint32_t Cap(std::uint32_t limitMs) const {
        if (!m_limited) return limitMs;
        const std::uint32_t left = std::max<std::uint32_t>(LeftMs(), 1);
        return limitMs == 0 || limitMs > left ? left : limitMs;
    }

private:
    bool m_limited = false;
    unsigned long long m_end = 0;  // tick at which the budget is spent
};

}  // namespace aws
