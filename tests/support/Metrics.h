#pragma once

#include "core/CMetricTable.h"
#include "queries/CMetricQuery.h"

#include <cstddef>
#include <string>

// The built-in metrics by name, as indexes into the metric table, for tests
// that name one. Tranco, Created and FirstSeen are not among the score list's
// first ten and are unticked at start; the list sources follow them, unticked too.
namespace Metric {
enum : std::size_t {
    PR,
    Alexa,
    GSite,
    GLink,
    GSearch1,
    GSearch2,
    BSite,
    BLink,
    BSearch1,
    BSearch2,
    Tranco,
    Created,
    FirstSeen,
    TrancoList,
    Majestic,
    MajesticRefSubNets,
    Umbrella,
    CrUX,
    Count,
    // How many metrics the score list had before Tranco joined.
    TheTen = Tranco,
};
} // namespace Metric

// One metric's query through the query set: its value text.
inline std::string Ask(CMetricQuery& query, std::size_t nMetric, const std::string& strDomain) {
    return query.Query(CMetricTable::At(nMetric).query, strDomain).strValue;
}
