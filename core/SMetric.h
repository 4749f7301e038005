#pragma once

#include "lists/SListDefinition.h"
#include "queries/SQueryRule.h"

#include <string>

// What a metric's column sorts by.
enum class ESortKey {
    // The row's PageRank number: -1 while the row waits for its scan.
    PageRank,
    // The text's leading number as atoi reads it.
    Number,
    // The same after every thousands comma is removed.
    Count,
    // An ISO date (YYYY-MM-DD) as text, which orders as the dates do; an
    // empty cell comes last in either direction.
    Date,
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
    // The column's width in pixels.
    int nColumnWidth = 80;
    // Ticked when the program starts.
    bool bDefault = false;
    // Always asked; its box cannot be unticked. Its answer marks the row
    // scanned (see CDomainRecord).
    bool bAlwaysAsked = false;
    SQueryRule query;
    // Set for a list source, which answers from a downloaded list instead
    // of a request per row.
    SListSource listSource;
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
