#pragma once

#include "core/SMetric.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The metrics in the order of the score list's columns, and the orders in
// which they are asked and exported. The built-in definitions come first, in
// the order of their file names, then those of the user's files in
// $XDG_CONFIG_HOME/tallyvine/sources (~/.config when it is not set), in the
// order of their names. A user file that breaks a rule is left out, and the
// reason kept in LoadErrors().
class CMetricTable {
public:
    static const std::vector<SMetric>& Metrics();
    // "file:line: what is wrong", one per file left out, its control
    // characters escaped (see EscapeControls).
    static const std::vector<std::string>& LoadErrors();
    // Reads the definitions again (tests change XDG_CONFIG_HOME between
    // cases); no reference into the old table may be held.
    static void Reload();
    static std::size_t Count() { return Metrics().size(); }
    static const SMetric& At(std::size_t nMetric) { return Metrics()[nMetric]; }
    // The metric whose id matches strId, ignoring case.
    static std::optional<std::size_t> Find(std::string_view strId);
    // The metric that is always asked; its answer marks a row scanned.
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
