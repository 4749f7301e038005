#pragma once

#include "core/CCellNote.h"

#include <array>
#include <cstddef>
#include <vector>

// What one metric's queries gave in a pass.
struct SMetricTally {
    std::size_t nAsked = 0;
    std::size_t nValues = 0;
    std::size_t nNone = 0;
    std::size_t nFailed = 0;
    // Failures by reason.
    std::array<std::size_t, static_cast<std::size_t>(EFailReason::Unavailable) + 1> arrByReason{};
    // The last failure, for messages.
    SCellState lastFailure;

    void Count(const SCellState& state);
    // Asked at least once, and every time it failed.
    bool AllFailed() const { return nAsked > 0 && nFailed == nAsked; }
};

// What a pass over the rows gave, by metric index.
struct SPassSummary {
    std::size_t nRows = 0;
    std::vector<SMetricTally> arrMetrics;

    std::size_t FailedCells() const;
};
