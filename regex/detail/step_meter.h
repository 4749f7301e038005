// Counts the work of one match call, so that a budget can end it and a
// cancel flag be looked at often enough, whatever the pattern does.
#pragma once

#include "regex/match_limits.h"

#include <cstdint>

namespace regex::detail {

// Thrown out of a matcher when the budget runs out or the call is cancelled;
// run_match catches it and reports the status.
struct match_stopped {
    match_status why;
};

class step_meter {
public:
    // Charged steps between two looks at the flag and the budget: a step is a
    // node visit or about 64 scanned bytes, so a look comes every few
    // microseconds to a millisecond.
    static constexpr std::uint64_t check_every = 2048;

    void limit(std::uint64_t budget, const std::atomic<bool>* cancel) {
        m_budget = budget;
        m_cancel = cancel;
    }

    const std::atomic<bool>* cancel_flag() const { return m_cancel; }

    [[gnu::always_inline]] void charge(std::uint64_t steps = 1) {
        m_used += steps;
        if (m_used >= m_nextCheck) [[unlikely]]
            check();
    }
    // Scanning `bytes` bytes.
    [[gnu::always_inline]] void charge_scan(std::uint64_t bytes) { charge(1 + (bytes >> 6)); }

private:
    [[gnu::noinline]] void check() {
        m_nextCheck = m_used + check_every;
        if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed))
            throw match_stopped{match_status::cancelled};
        if (m_budget != 0 && m_used > m_budget)
            throw match_stopped{match_status::too_long};
    }

    std::uint64_t m_used = 0;
    std::uint64_t m_nextCheck = check_every;
    std::uint64_t m_budget = 0;
    const std::atomic<bool>* m_cancel = nullptr;
};

} // namespace regex::detail
