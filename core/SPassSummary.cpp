#include "core/SPassSummary.h"

void SMetricTally::Count(const SCellState& state) {
    ++nAsked;
    switch (state.outcome) {
    case EOutcome::Value:
        ++nValues;
        break;
    case EOutcome::None:
        ++nNone;
        break;
    case EOutcome::Failed:
        ++nFailed;
        ++arrByReason[static_cast<std::size_t>(state.reason)];
        lastFailure = state;
        break;
    case EOutcome::NotAsked:
        --nAsked;
        break;
    }
}

std::size_t SPassSummary::FailedCells() const {
    std::size_t nFailed = 0;
    for (const SMetricTally& tally : arrMetrics) {
        nFailed += tally.nFailed;
    }
    return nFailed;
}
