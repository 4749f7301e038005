// Helpers of the engine's table tests: run a pattern through one matcher and
// describe the result list in a form a table row can spell out.
#pragma once

#include "regex/regex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace regex_test {

// Both matchers; every table runs through each.
inline constexpr regex::match_mode both_modes[] = {regex::mode_recursive, regex::mode_iterative};

inline std::string mode_name(regex::match_mode mode) {
    return mode == regex::mode_recursive ? "recursive" : "iterative";
}

// The result list of one call: every entry as "text@offset", an unmatched
// entry as "-", entries joined by " | "; "none" when the call answered false.
inline std::string describe(const regex::match_backrefs& results, bool found,
                            const char* subjectBegin) {
    if (!found)
        return "none";
    std::string out;
    for (std::size_t i = 0; i < results.group_count(); ++i) {
        if (i)
            out += " | ";
        const regex::backref_tag& tag = results.group(i);
        if (!tag.matched)
            out += "-";
        else
            out += tag.text() + "@" + std::to_string(tag.first - subjectBegin);
    }
    return out;
}

inline std::string run_limited(const regex::compiled_pattern& compiled, std::string_view subject,
                               const regex::match_limits& limits) {
    regex::match_backrefs results;
    const regex::match_status status = regex::run_match(compiled, results, subject.data(),
                                                        subject.data() + subject.size(), limits);
    return describe(results, status == regex::match_status::found, subject.data());
}

inline std::string backtracking(const regex::compiled_pattern& compiled, std::string_view subject) {
    regex::match_limits limits;
    limits.backtrack_only = true;
    return run_limited(compiled, subject, limits);
}

// The linear-time search with its memory from the start, as a reply that
// defeats plain backtracking gets it.
inline std::string linear_at_once(const regex::compiled_pattern& compiled,
                                  std::string_view subject) {
    regex::match_limits limits;
    limits.linear_at_once = true;
    return run_limited(compiled, subject, limits);
}

// Every row also checks that the linear-time search and the plain
// backtracking search agree.
inline std::string run(std::string_view pattern, std::uint32_t flags, regex::match_mode mode,
                       std::string_view subject) {
    const regex::compiled_pattern compiled(pattern, flags, mode);
    regex::match_backrefs results;
    const bool found =
        regex::run_match(compiled, results, subject.data(), subject.data() + subject.size());
    const std::string out = describe(results, found, subject.data());
    EXPECT_EQ(backtracking(compiled, subject), out)
        << "backtracking search, pattern " << pattern << ", subject " << subject;
    EXPECT_EQ(linear_at_once(compiled, subject), out)
        << "linear-time search at once, pattern " << pattern << ", subject " << subject;
    return out;
}

// Control bytes shown as \xNN so that a failing row reads well.
inline std::string printable(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace regex_test
