// The node tree a pattern compiles into.
//
// A pattern is a tree of node sequences. Every node points to the next node of
// its sequence; the last node of an alternative is an end node that leads back
// out of its group (to the group's own `next`, which is the repetition's tail
// when the group is repeated). The matchers walk these sequences: the
// recursive one in continuation style on the thread's stack, the iterative one
// with backtracking records on a stack of its own.
//
// All nodes live in the pattern's arena and are trivially destructible.
#pragma once

#include "regex/detail/byte_table.h"
#include "regex/detail/pair_scan.h"

#include <cstddef>
#include <cstdint>

namespace regex::detail {

inline constexpr std::size_t unbounded = SIZE_MAX;

enum class op : std::uint8_t {
    literal,           // lit_node: a run of bytes
    one_byte,          // set_node: one byte of a table (character, either case, '.', set)
    subject_begin,     // ^ without multiline, \A
    line_begin,        // ^ with multiline
    end_or_final_lf,   // $ without multiline, \Z
    line_end,          // $ with multiline
    subject_end,       // \z
    word_boundary,     // \b
    not_word_boundary, // \B
    backref,           // backref_node
    group,             // group_node: capturing (capture >= 0) or not; alternatives end in group_end
    atomic,            // group_node: (?>...); alternatives end in inner_end
    assertion,         // group_node: look-ahead/behind; alternatives end in inner_end
    cond_ref,          // group_node: (?(n)yes|no); branches end in group_end
    cond_assert,       // group_node: (?(?=...)yes|no); `condition` is the assertion
    star,              // star_node: repetition of a one-byte atom
    star_ref,          // star_node: repetition of a back-reference
    repeat,            // repeat_node: repetition of a group
    group_end,         // end_node, owner a group_node
    repeat_tail,       // end_node, owner a repeat_node
    inner_end,         // end_node, owner an atomic or assertion group_node
    recurse,           // (?R)
    end_pattern,       // after group 0
};

struct node {
    op kind;
    // 1 + its index among the points the linear-time search remembers its
    // visits at (visit_memo.h); 0 when it is none.
    std::uint32_t memo = 0;
    node* next = nullptr;
};

struct lit_node : node {
    bool icase = false;
    std::uint32_t length = 0;
    const unsigned char* bytes = nullptr; // lower-cased under icase
};

struct set_node : node {
    const byte_table* table = nullptr;
    bool dot = false; // written as '.'
};

struct backref_node : node {
    bool icase = false;
    std::uint32_t number = 0; // capturing group number
};

struct end_node : node {
    node* owner = nullptr;
};

struct group_node : node {
    int capture = -1; // capturing group number, -1 when not capturing
    std::uint32_t alt_count = 0;
    node** alts = nullptr;                  // first node of every alternative, in the order written
    end_node* end = nullptr;                // the end node every alternative leads to
    const byte_table* first = nullptr;      // bytes any match must begin with, when known
    const byte_table** alt_first = nullptr; // the same per alternative (null: unknown)
    std::uint32_t cap_low = 0;              // capturing groups inside: [cap_low, cap_high)
    std::uint32_t cap_high = 0;
    std::size_t min_width = 0;
    std::size_t max_width = unbounded;
    // assertion
    bool negative = false;
    bool behind = false;
    group_node* conditional = nullptr; // the cond_assert this assertion decides
    // cond_ref / cond_assert
    std::uint32_t cond_group = 0;
    group_node* condition = nullptr;
};

struct star_node : node {
    bool greedy = true;
    bool any = false; // the atom takes every byte
    bool dot = false; // the atom was written as a dot
    std::size_t min = 0;
    std::size_t max = unbounded;
    const byte_table* atom = nullptr;       // one_byte atom
    const std::uint8_t* atom_map = nullptr; // the same, one byte per member: the scanning loops
    const backref_node* ref = nullptr;      // star_ref atom
    // Bytes that can begin what follows the repetition, when it cannot match
    // empty (null otherwise): positions before other bytes are not tried.
    const byte_table* follow = nullptr;
    int follow_single = -1; // the only member of `follow`, if one
    // What follows when it begins with a literal: candidates are checked
    // against it in the scanning loop rather than by a full attempt.
    const lit_node* follow_lit = nullptr;
    bool follow_by_ends = false; // follow_lit is long enough to search by its two ends
    end_pair follow_ends;
    // Lazy scan: stop at a follow byte or at a byte the atom refuses (the
    // only such byte, or a map of them).
    const std::uint8_t* lazy_stop_map = nullptr;
    int lazy_stop_single = -1;
    // Linear-time search, unbounded repetitions: 1 + the point whose visits
    // are the positions the repetition has gone through (0: none).
    std::uint32_t loop = 0;
};

struct repeat_node : node {
    bool greedy = true;
    std::size_t min = 0;
    std::size_t max = unbounded;
    std::uint32_t id = 0; // index of its counter in the match state
    group_node* body = nullptr;
    end_node* tail = nullptr;
};

inline const lit_node& as_lit(const node* n) {
    return *static_cast<const lit_node*>(n);
}
inline const set_node& as_set(const node* n) {
    return *static_cast<const set_node*>(n);
}
inline const backref_node& as_ref(const node* n) {
    return *static_cast<const backref_node*>(n);
}
inline const end_node& as_end(const node* n) {
    return *static_cast<const end_node*>(n);
}
inline const group_node& as_group(const node* n) {
    return *static_cast<const group_node*>(n);
}
inline const star_node& as_star(const node* n) {
    return *static_cast<const star_node*>(n);
}
inline const repeat_node& as_repeat(const node* n) {
    return *static_cast<const repeat_node*>(n);
}

} // namespace regex::detail
