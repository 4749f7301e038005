// The compiler: reads the pattern text once, left to right, and builds the
// node tree in the program's arena (groups, alternatives, atoms and their
// repetitions), then hands the tree to the analysis (analysis.h).
//
// Every compile error is a bad_regexpr with one fixed message; the program is
// then unusable and its owner drops it with its arena.
#pragma once

#include "regex/detail/nodes.h"
#include "regex/detail/program.h"

#include <cstdint>
#include <vector>

namespace regex::detail {

class compiler {
public:
    // `prog.text` and `prog.flags` must be set; fills the rest of `prog`.
    static void compile(program& prog);

    // The repetition node for `atom` taken (min, max) times, greedy or lazy.
    // Throws bad_regexpr for atoms that cannot be repeated.
    static node* make_repeat(program& prog, node* atom, std::size_t min, std::size_t max,
                             bool greedy);

private:
    struct sequence {
        node* head = nullptr;
        node* tail = nullptr;
        void append(node* n);
    };
    struct quantifier {
        std::size_t min = 0;
        std::size_t max = 0;
        bool greedy = true;
    };

    explicit compiler(program& prog);

    group_node* parse_group(op kind, int capture, std::uint32_t flags, bool isRoot);
    void finish_group(group_node* g, std::vector<sequence>& alts);
    node* parse_paren(std::uint32_t& flags, bool& repeatable);
    node* parse_extension(std::uint32_t& flags, bool& repeatable);
    node* parse_conditional(std::uint32_t flags);
    node* parse_numbered_group(op kind, std::uint32_t flags);
    node* parse_flag_list(std::uint32_t& flags);
    group_node* parse_assertion_body(char kind, bool behind, std::uint32_t flags);
    node* parse_escape(std::uint32_t flags, sequence& seq);
    node* parse_number_escape(char first, int& byte);
    void parse_literal_run(std::uint32_t flags, sequence& seq, node*& atom);
    void parse_quote(std::uint32_t flags, sequence& seq);

    bool read_quantifier(std::uint32_t flags, quantifier& q);
    bool read_bound(const char*& cur, quantifier& q) const;
    void skip_extended(std::uint32_t flags);
    bool at_quantifier(std::uint32_t flags);

    node* make_literal(const std::vector<unsigned char>& bytes, bool icase);
    node* make_char(unsigned char c, bool icase);
    node* make_set(const byte_table& table);
    node* make_shared_set(const byte_table& table);
    node* make_plain(op kind);
    std::size_t take_noncapturing_number();

    program& m_prog;
    const char* m_cur;
    const char* m_end;
    std::size_t m_captures = 0; // capturing groups so far
};

} // namespace regex::detail
