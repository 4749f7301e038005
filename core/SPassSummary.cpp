#include "core/SPassSummary.h"

#include "core/CMetricTable.h"

#include <ctime>

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
        // Cells of a pass come in time order; those of a list walk do not.
        if (nFailed == 1 || state.nFetchedAt >= lastFailure.nFetchedAt) {
            lastFailure = state;
        }
        break;
    case EOutcome::NotAsked:
        --nAsked;
        break;
    }
}

namespace {

std::size_t FailedIn(const std::vector<SMetricTally>& tallies) {
    std::size_t nFailed = 0;
    for (const SMetricTally& tally : tallies) {
        nFailed += tally.nFailed;
    }
    return nFailed;
}

} // namespace

std::size_t SPassSummary::FailedCells() const {
    return FailedIn(arrMetrics);
}

std::size_t SPassSummary::ListFailedCells() const {
    return FailedIn(arrList);
}

std::string SPassSummary::SuspensionText() const {
    std::string strText;
    for (std::size_t nMetric = 0; nMetric < arrSuspendedUntil.size(); ++nMetric) {
        if (arrSuspendedUntil[nMetric] != 0 && nMetric < CMetricTable::Count()) {
            strText += (strText.empty() ? "" : "; ") + CMetricTable::At(nMetric).strId + ": " +
                       SuspendedUntilText(arrSuspendedUntil[nMetric]);
        }
    }
    return strText;
}

std::string SuspendedUntilText(std::int64_t nUntil) {
    const auto tUntil = static_cast<std::time_t>(nUntil);
    std::tm local{};
    char szClock[16] = "";
    if (localtime_r(&tUntil, &local) != nullptr) {
        std::strftime(szClock, sizeof szClock, "%H:%M", &local);
    }
    return std::string("suspended until ") + szClock;
}
