// Which search a source's reply pattern takes, for the listing of sources.
#pragma once

#include "core/SMetric.h"

#include <string_view>

// "linear" when the metric reads its reply with a pattern the engine searches
// in time linear in the reply, "budgeted" when the pattern keeps the
// backtracking search under a step budget; empty when it reads no pattern.
std::string_view PatternSearchName(const SMetric& metric);
