#pragma once

#include "core/CCellNote.h"
#include "core/SPassSummary.h"

#include <QString>

// What the window says of cells and passes, in the active language.

// The phrase of a failure's reason ("blocked by the service").
QString ReasonText(EFailReason reason);

// A cell's tooltip: for a failure the metric, the reason, the status and the
// detail ("<id>: blocked by the service (HTTP 429)" and the address); for
// none "nothing found"; for a value when it was fetched; empty otherwise.
QString CellStateText(const QString& strMetric, const SCellState& state);

// After a pass: how many cells the whole list shows failed, and which
// metrics failed in every row that asked them, with their last reason and
// how long their source is suspended; empty when none failed.
QString PassSummaryText(const SPassSummary& summary);
