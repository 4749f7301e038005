#pragma once

#include <cstdint>
#include <string_view>

// The number at the start of a text as atoi reads it (blanks, a sign, then
// digits; 0 when there are none), in 64 bits, saturating at either end.
// Blanks are the "C" locale's, whatever locale the process has set.
std::int64_t LeadingNumber(std::string_view strText);
