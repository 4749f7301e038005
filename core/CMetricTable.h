#pragma once

#include "queries/SQuerySpec.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a metric's column sorts by.
enum class ESortKey {
    // The row's PageRank number: -1 while the row waits for its scan.
    PageRank,
    // The text's leading number as atoi reads it.
    Number,
    // The same after every thousands comma is removed.
    Count,
};

// One metric: everything that tells it from the others, from the request to
// the column, the export and the check box.
struct SMetric {
    // The metric's name: the English column and export header, and its name
    // on the command line.
    std::string strId;
    // The column header's string id and the column's width in pixels.
    int nHeaderStringId = 0;
    int nColumnWidth = 80;
    // The id of the check box that ticks the metric.
    int nControlId = 0;
    // Ticked when the program starts.
    bool bDefault = false;
    // Always asked; its box cannot be unticked. Its text is also the row's
    // scan state (see CDomainRecord).
    bool bAlwaysAsked = false;
    SQuerySpec query;
    ESortKey sortKey = ESortKey::Count;
    // Smallest first (a rank); largest first otherwise.
    bool bAscending = false;
    // Where the metric is asked within a row's scan, first 0.
    int nQueryPlace = 0;
    // Its column in the export file after the domain, first 0; -1: not
    // exported. Quoted: written in double quotes.
    int nExportPlace = -1;
    bool bQuoted = true;
};

// The metrics in the order of the score list's columns, and the orders in
// which they are asked and exported.
class CMetricTable {
public:
    static const std::vector<SMetric>& Metrics();
    static std::size_t Count() { return Metrics().size(); }
    static const SMetric& At(std::size_t nMetric) { return Metrics()[nMetric]; }
    // The metric whose id matches strId, ignoring case.
    static std::optional<std::size_t> Find(std::string_view strId);
    // The metric that is always asked and holds the row's scan state.
    static std::size_t PageRankMetric();
    // Metric indexes in the order a row's services are asked.
    static const std::vector<std::size_t>& QueryOrder();
    // Metric indexes in the order of the export file's columns.
    static const std::vector<std::size_t>& ExportOrder();
};
