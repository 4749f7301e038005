// A byte set spread out as 256 bytes, one per byte value: a loop over a run
// of bytes tests each with one load instead of a shift and a mask. Built
// while a pattern compiles, kept in its arena.
#pragma once

#include "regex/detail/arena_allocator.h"
#include "regex/detail/byte_table.h"

#include <cstdint>

namespace regex::detail {

// The members of `table` as 256 bytes (1 for a member), in `arena`.
const std::uint8_t* byte_map(arena_allocator& arena, const byte_table& table);

} // namespace regex::detail
