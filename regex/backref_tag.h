// One group result of a match: where the group's text starts and ends in the
// subject, and whether the group took part in the match.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace regex {

// The pointers point into the subject; they stay meaningful only while the
// subject lives unchanged.
struct backref_tag {
    const char* first = nullptr;  // first byte of the group's text
    const char* second = nullptr; // one past its last byte
    bool matched = false;         // the group took part in the match

    // The group's bytes, or the empty string when it did not take part.
    std::string text() const;
    std::string_view view() const;
    std::size_t length() const { return matched ? static_cast<std::size_t>(second - first) : 0; }
};

// The shared unmatched result a failed search returns; lives for the whole process.
inline constexpr backref_tag null_backref{};

} // namespace regex
