// Turns fuzz input into a pattern of the syntax the engine shares with PCRE2
// (what the differential test's notes leave out is never produced), so that
// every pattern compiles in both and their answers can be compared.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace regex_check {

class pattern_generator {
public:
    // normalize: the escapes \n \r \t may be written.
    pattern_generator(FuzzedDataProvider& input, bool normalize);

    // A whole pattern: alternatives of sequences of items.
    std::string generate();

    // True when a repeated group holds another repetition: the subject must
    // then stay short, since backtracking grows with its power.
    bool nested_repetition() const { return m_nestedRepetition; }

private:
    std::string alternatives(int depth);
    std::string sequence(int depth);
    std::string item(int depth);
    std::string atom(int depth, bool& repeatable, bool& holdsRepetition);
    std::string group(int depth, bool& repeatable, bool& holdsRepetition);
    std::string lookbehind();
    std::string lookahead(int depth, bool positive);
    std::string conditional(int depth);
    std::string fixed_width_atom();
    std::string literal();
    std::string class_escape();
    std::string bracket_set();
    std::string set_item();
    std::string quantifier(bool ofGroup);
    std::string assertion();
    bool budget_left() const;

    FuzzedDataProvider& m_input;
    bool m_normalize;
    int m_items = 0;
    int m_openCaptures = 0;   // capturing groups opened so far
    int m_closedCaptures = 0; // the highest group number closed so far
    bool m_nestedRepetition = false;
    int m_captureFree = 0; // inside a construct whose groups PCRE2 keeps differently
};

} // namespace regex_check
