// The analysis after parsing: resolves back-references, computes every
// group's length bounds and the pattern's, finds the bytes that can begin a
// group or follow a repetition (so the matcher can skip hopeless positions),
// prepares the start of the search (try_later_starts, the literal prefix for
// the start scanner) and plans the linear moves when no match needs
// backtracking (linear_planner.h). None of it changes what a pattern matches.
#pragma once

#include "regex/detail/program.h"

namespace regex::detail {

// Throws bad_regexpr "reference to nonexistent group".
void analyse(program& prog);

} // namespace regex::detail
