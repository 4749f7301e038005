#pragma once

#include "core/CCellNote.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one metric's cells gave.
struct SMetricTally {
    std::size_t nAsked = 0;
    std::size_t nValues = 0;
    std::size_t nNone = 0;
    std::size_t nFailed = 0;
    // Failures by reason.
    std::array<std::size_t, static_cast<std::size_t>(EFailReason::Unavailable) + 1> arrByReason{};
    // The most recent failure, for messages.
    SCellState lastFailure;

    void Count(const SCellState& state);
    // Asked at least once, and every time it failed.
    bool AllFailed() const { return nAsked > 0 && nFailed == nAsked; }
};

// What a pass over the rows gave, by metric index.
struct SPassSummary {
    // The rows this pass scanned, and what their cells gave.
    std::size_t nRows = 0;
    std::vector<SMetricTally> arrMetrics;
    // The cells the whole list shows now, the pass's and those of earlier
    // passes alike.
    std::vector<SMetricTally> arrList;
    // Until when each metric's source is suspended after rate limits it
    // could not wait out, in seconds since 1970; 0 when it is not.
    std::vector<std::int64_t> arrSuspendedUntil;

    std::size_t FailedCells() const;
    // The failed cells the list shows now.
    std::size_t ListFailedCells() const;
    // "GSite: suspended until 14:05" for each suspended source, joined by
    // "; "; empty when none is.
    std::string SuspensionText() const;
};

// "suspended until HH:MM", local time: a suspended source's cells say it.
std::string SuspendedUntilText(std::int64_t nUntil);
