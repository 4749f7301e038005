// The flag word and the matching mode a pattern is compiled with.
#pragma once

#include <cstdint>

namespace regex {

// Bits of the flag word; combine them with | (the result converts to the
// std::uint32_t the constructor takes). Bits not listed have no meaning.
enum pattern_flags : std::uint32_t {
    noflags = 0x000,
    ignore_case = 0x001,    // letters compare without regard to case (inline i)
    global = 0x002,         // one call collects successive matches over the subject
    multiline = 0x004,      // ^ and $ also match at line feeds (inline m)
    single_line = 0x008,    // . also matches a line feed (inline s)
    rightmost = 0x010,      // search from the right end of the subject
    first_backrefs = 0x040, // with global: keep only the whole match of every match
    all_backrefs = 0x080,   // with global: keep every group of every match, in order
    normalize = 0x100,      // \a \f \n \r \t \\ (and \v in brackets) are control bytes
    extended = 0x200,       // white space and # comments between tokens are skipped (inline x)
};

// Where the matcher keeps its backtracking state.
enum match_mode : std::uint32_t {
    mode_recursive = 0, // on the thread's own stack, bounded by the stack's size
    mode_iterative = 1, // on a stack of the matcher's own
    mode_auto = 2,      // recursive unless the pattern can recurse without bound
};

} // namespace regex
