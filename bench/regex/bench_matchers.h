// One benchmark run per matcher: compile the workload's pattern with the
// callers' flags (ignore case, global, dot matches line breaks, every match's
// groups) and match it over the workload's input. Each answers the number of
// result entries it produced, so that the matchers can be checked against
// each other.
#pragma once

#include "regex/pattern_flags.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace regex_bench {

struct workload {
    std::string name;
    std::string pattern;
    // One subject matched with every successive match (the replies, the
    // list), or many subjects matched one at a time (typed names).
    std::string text;
    std::vector<std::string> names;
    // The engine's result list made anew for every run, as by a caller that
    // matches once; else one list is kept from run to run, as by a caller
    // that matches again and again (the other matchers keep nothing).
    bool fresh_results = false;
};

// A matcher that could not finish a workload (a PCRE2 limit or error).
class matcher_failed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::size_t run_engine(const workload& work, regex::match_mode mode);
// The engine's plain backtracking search (the recursive matcher), even for a
// pattern the linear-time search takes: what the engine would do without it.
std::size_t run_engine_backtracking(const workload& work);
// Compiling alone, for the short replies where it weighs.
std::size_t compile_engine(const std::string& pattern);
std::size_t compile_pcre2(const std::string& pattern, bool jit);
std::size_t compile_std_regex(const std::string& pattern);
std::size_t run_pcre2(const workload& work, bool jit);
std::size_t run_std_regex(const workload& work);

} // namespace regex_bench
