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
    // Where an export column comes when it has no fixed place: after the
    // fixed ones, and only while the metric is ticked.
    static constexpr int kExportWhenTicked = -2;
    static constexpr int kNeverExported = -1;

    // The metric's name: the English column and export header, and its name
    // on the command line.
    std::string strId;
    // The check box text, in English and in Simplified Chinese (may be
    // empty).
    std::string strLabel;
    std::string strLabelZhCN;
    // The definition file it came from; empty for a built-in metric.
    std::string strOrigin;
    // The least time between two requests of this metric, in milliseconds.
    int nIntervalMs = 0;
    // The column header's string id (0: the id is the header) and the
    // column's width in pixels.
    int nHeaderStringId = 0;
    int nColumnWidth = 80;
    // The id of the form's check box that ticks the metric (0: the window
    // makes a box of its own).
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
    // Its column in the export file after the domain, first 0, or one of
    // the two kinds above. Quoted: written in double quotes.
    int nExportPlace = kExportWhenTicked;
    bool bQuoted = true;
};

// The metrics in the order of the score list's columns, and the orders in
// which they are asked and exported. The built-in definitions come first, in
// the order of their file names, then those of the user's files in
// $XDG_CONFIG_HOME/tallyvine/sources (~/.config when it is not set), in the
// order of their names. A user file that breaks a rule is left out, and the
// reason kept in LoadErrors().
class CMetricTable {
public:
    static const std::vector<SMetric>& Metrics();
    // "file:line: what is wrong", one per file left out.
    static const std::vector<std::string>& LoadErrors();
    // Reads the definitions again (tests change XDG_CONFIG_HOME between
    // cases); no reference into the old table may be held.
    static void Reload();
    static std::size_t Count() { return Metrics().size(); }
    static const SMetric& At(std::size_t nMetric) { return Metrics()[nMetric]; }
    // The metric whose id matches strId, ignoring case.
    static std::optional<std::size_t> Find(std::string_view strId);
    // The metric that is always asked and holds the row's scan state.
    static std::size_t PageRankMetric();
    // Metric indexes in the order a row's services are asked.
    static const std::vector<std::size_t>& QueryOrder();
    // Metric indexes in the order of the export file's fixed columns.
    static const std::vector<std::size_t>& ExportOrder();
    // Whether the metric gets an export column while ticked.
    static bool ExportedWhenTicked(std::size_t nMetric) {
        return At(nMetric).nExportPlace == SMetric::kExportWhenTicked;
    }
};
