// The recursive matcher: a backtracking matcher that keeps its choice points
// in its own call frames.
//
// match(n, p) answers whether the sequence from node n, followed by everything
// that comes after it up to the end of the pattern, matches at p. Nodes that
// leave no choice (literals, sets, anchors) are handled in a loop; only choice
// points (alternatives, repetitions, group ends that must undo their result)
// recurse. Before every recursion the matcher compares its frame with the
// thread's stack limit and throws stack_exhausted rather than overflow.
#pragma once

#include "regex/detail/match_state.h"

#include <cstdint>
#include <vector>

namespace regex::detail {

class recursive_matcher {
public:
    // `st` must outlive the matcher.
    explicit recursive_matcher(match_state& st);

    // Tries group 0 at `p`; on success the group results are in st.caps.
    // Throws stack_exhausted when the thread's stack runs short.
    bool match_at(const char* p);
    // Nothing to free: the recursive matcher's state lives in its frames.
    void release() {}

private:
    bool match(const node* n, const char* p);
    bool match_group(const group_node& g, const char* p);
    bool match_group_end(const group_node& g, const char* p);
    bool match_star(const star_node& s, const char* p);
    bool match_star_ref(const star_node& s, const char* p);
    bool enter_repeat(const repeat_node& r, const char* p);
    bool repeat_step(const repeat_node& r, const char* p);
    bool repeat_tail(const repeat_node& r, const char* p);
    bool match_atomic(const group_node& g, const char* p);
    bool match_assertion(const group_node& a, const char* p);
    bool match_conditional(const group_node& g, const char* p);
    bool match_recursion(const node* n, const char* p);
    bool inner_end(const group_node& owner, const char* p);
    bool end_of_pattern(const char* p);

    // Tries the alternatives of a group in order; for an atomic group or an
    // assertion the end position of the first success is then in m_innerEnd.
    bool run_inner(const group_node& g, const char* p);
    bool continue_after(const group_node& g, const char* p, std::size_t saved);
    std::size_t save_groups(std::uint32_t low, std::uint32_t high);
    void restore_groups(std::size_t mark);

    match_state& m_st;
    std::uintptr_t m_limit;
    const char* m_innerEnd = nullptr;
    const char* m_behindTarget = nullptr;
    // Group results saved around atomic groups, assertions and recursion.
    struct saved_group {
        std::uint32_t number;
        backref_tag tag;
        const char* pending;
    };
    std::vector<saved_group> m_saved;
    std::vector<repeat_state> m_savedRepeats;
};

} // namespace regex::detail
