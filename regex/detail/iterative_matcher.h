// The iterative matcher: the same backtracking search as the recursive
// matcher, with its choice points and undo records on a stack of its own
// instead of the thread's stack, so that no subject is too long for it.
//
// The search walks the node sequences in a loop. A choice point (another
// alternative, a repetition that can give back or take more, the other way
// out of a group repetition, the start of an atomic group or assertion) pushes
// a record and goes on with its first choice; every change to the group
// results or repetition counters pushes an undo record. On failure records are
// popped: undo records restore, the first choice record found resumes. The
// first 1024 bytes of that stack live in the matcher object; more comes from
// the heap and is freed by release() at the end of every attempt.
//
// Given a visit_memo in the match state (the linear-time search of
// memo_planner.h), it is never twice at the same point and position, and
// never takes an unbounded single-byte repetition through a position twice.
#pragma once

#include "regex/detail/match_state.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace regex::detail {

class iterative_matcher {
public:
    explicit iterative_matcher(match_state& st);
    ~iterative_matcher();
    iterative_matcher(const iterative_matcher&) = delete;
    iterative_matcher& operator=(const iterative_matcher&) = delete;

    // Tries group 0 at `p`; on success the group results are in st.caps.
    // Throws std::bad_alloc when its stack cannot grow.
    bool match_at(const char* p);
    // Frees the heap part of the stack.
    void release();

private:
    enum kind : std::uint8_t {
        undo_cap,    // index: group; a, b, count: its previous result
        undo_pend,   // index: group; a: its previous pending start
        undo_rep,    // index: repetition id; count, a: its previous state
        alt,         // n: group; index: next alternative; a: position
        star_greedy, // n: repetition; a: lowest position; b: current position
        star_lazy,   // n: repetition; a: where it began; b: current position
        ref_step,    // n: repetition of a back-reference; a: where it began; b: current
        rep_next,    // n: group repetition; a: position to go on after it
        rep_body,    // n: group repetition; a: position to start another iteration
        barrier,     // n: atomic group, assertion or (?R); a: position; b: look-behind
                     // start or outer (?R) start; index: enclosing barrier
    };
    struct record {
        kind k;
        std::uint32_t index;
        union {
            const node* n;     // choice points and barriers
            std::size_t count; // undo records
        };
        const char* a;
        const char* b;
    };

    record& push(kind k);
    void push_choice(kind k, const node* n, const char* a, const char* b);
    void save_repeat(std::uint32_t id);
    void pop_undo(const record& r);
    void cut();
    void unwind_barrier();
    bool resume_barrier(const node*& n, const char*& p);
    void push_alternatives(const group_node& g, std::uint32_t first, const char* p);
    bool enter_alternatives(const group_node& g, const node*& n, const char* p);
    // The groups and counters saved at the innermost (?R): put back, dropped.
    void restore_recursion();
    void drop_recursion();

    // The linear-time search: true when the search was at `memo` (a node's
    // point number) and `p` before, which means that way fails.
    bool remembered(std::uint32_t memo, const char* p);
    bool in_empty_iteration(std::uint32_t point, const char* p) const;
    // A greedy unbounded repetition may stop in [lo, hi]: drops the stops at
    // and after the first position it went through before. False when none
    // is left.
    bool cut_greedy(const star_node& s, const char* lo, const char*& hi);
    // A lazy unbounded repetition goes through [from, to]: false when it
    // went through one of them before.
    bool pass_lazy(const star_node& s, const char* from, const char* to);
    const char* lazy_find(const star_node& s, const char* base, const char* from);
    const char* visited_before(std::uint32_t point, const char* from, const char* cap);
    std::size_t offset(const char* p) const { return static_cast<std::size_t>(p - m_st.begin); }

    match_state& m_st;
    static constexpr std::size_t inline_records = 1024 / sizeof(record);
    record m_inline[inline_records];
    record* m_data = m_inline;
    std::size_t m_size = 0;
    std::size_t m_capacity = inline_records;
    std::size_t m_topBarrier = SIZE_MAX;
    // Group results and counters saved around (?R).
    std::vector<backref_tag> m_savedCaps;
    std::vector<const char*> m_savedPend;
    std::vector<repeat_state> m_savedReps;
};

} // namespace regex::detail
