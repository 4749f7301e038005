// A compiled regular expression and the calls that run it over a subject.
//
// Usage:
//     regex::compiled_pattern pat("<b>([0-9,]*)</b>", regex::ignore_case | regex::global);
//     regex::match_backrefs results;
//     if (regex::run_match(pat, results, body.data(), body.data() + body.size())) ...
//
// Subjects and patterns are byte strings; a byte is one character. Letter case
// and classes are those of the "C" locale whatever locale the process has set.
#pragma once

#include "regex/backref_tag.h"
#include "regex/match_backrefs.h"
#include "regex/match_limits.h"
#include "regex/pattern_flags.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace regex {

namespace detail {
class program;
}

class compiled_pattern {
public:
    // Compiles `text`. Throws bad_regexpr with a fixed message for a bad
    // pattern, std::bad_alloc when memory runs out; nothing is kept then.
    explicit compiled_pattern(std::string_view text, std::uint32_t flags = noflags,
                              match_mode mode = mode_recursive);
    ~compiled_pattern();
    compiled_pattern(compiled_pattern&&) noexcept;
    compiled_pattern& operator=(compiled_pattern&&) noexcept;
    compiled_pattern(const compiled_pattern&) = delete;
    compiled_pattern& operator=(const compiled_pattern&) = delete;

    // Runs run_match; answers null_backref when nothing matched, else entry 0
    // of `results` (valid until the next call on `results`).
    const backref_tag& match(const char* begin, const char* end, match_backrefs& results) const;
    const backref_tag& match(std::string_view subject, match_backrefs& results) const;
    // Zero-terminated subject.
    const backref_tag& match(const char* subject, match_backrefs& results) const;

    const std::string& text() const;
    std::uint32_t flags() const;
    match_mode mode() const;
    // Capturing groups plus one: the length of one match's result entries.
    std::size_t group_count() const;
    // Bounds on the length of any match; max_length() is SIZE_MAX when unbounded.
    std::size_t min_length() const;
    std::size_t max_length() const;
    // False when the pattern can recurse without bound (mode_auto then iterates).
    bool recursion_safe() const;
    // True when every match call takes time at most proportional to the
    // pattern's size times the subject's (no back-references, recursion,
    // conditionals, look-around, atomic groups or counted group repetitions);
    // false when the call keeps the backtracking search, which a step budget
    // can bound.
    bool linear_time() const;

    const detail::program& program() const { return *m_program; }

private:
    std::unique_ptr<detail::program> m_program;
};

// Runs the whole match call of `pattern` over [begin, end) and stores the
// result list in `results`; true when the list is not empty.
//  - without global: entry 0 the leftmost match, entry n group n, all
//    unmatched when there is none;
//  - with global: successive non-overlapping matches; all_backrefs keeps every
//    match's entries one after the other, first_backrefs only every whole
//    match, neither only the last match's entries.
// When the recursive matcher runs short of stack, the attempt in progress
// is run again by the iterative matcher, with the same results.
bool run_match(const compiled_pattern& pattern, match_backrefs& results, const char* begin,
               const char* end);
// The same within `limits`: when the budget runs out or the cancel flag is
// seen, the call ends at once with empty results and says why.
match_status run_match(const compiled_pattern& pattern, match_backrefs& results, const char* begin,
                       const char* end, const match_limits& limits);
bool run_match(const compiled_pattern& pattern, match_backrefs& results, std::string_view subject);
// Zero-terminated subject.
bool run_match(const compiled_pattern& pattern, match_backrefs& results, const char* subject);

} // namespace regex
