#include "core/PatternSearch.h"

#include "queries/CMetricQuery.h"

std::string_view PatternSearchName(const SMetric& metric) {
    if (metric.query.parser != EReplyParser::Pattern) {
        return {};
    }
    return CMetricQuery::PatternIsLinear(metric.query) ? "linear" : "budgeted";
}
