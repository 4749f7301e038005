// Character sets: the bracket expressions [...] and the class escapes
// \d \D \s \S \w \W.
//
// A set is built item by item while the compiler reads the brackets (bytes,
// ranges, named classes, negated named classes, nested class escapes) and is
// then closed into one 256-entry membership table, so that the matcher answers
// "is this byte a member" with a single load whatever the set was made of.
#pragma once

#include "regex/detail/byte_table.h"

#include <cstdint>
#include <vector>

namespace regex::detail {

class charset {
public:
    explicit charset(bool negated = false) : m_negated(negated) {}

    // Reads a bracket expression. `cur` points just after the '['; on return
    // it points after the closing ']'. `flags` are the pattern flags in force
    // (ignore_case, normalize). Throws bad_regexpr "invalid range specified in
    // character set" or "expecting end of character set".
    static byte_table parse(const char*& cur, const char* end, std::uint32_t flags);

    // The closed table of a class escape letter: one of d D s S w W. Built
    // once per process, safely from any thread.
    static const byte_table& shared(char letter);

    // Under ignore_case a byte goes in with both its letter cases.
    void add_byte(unsigned char c, bool icase);
    // Throws bad_regexpr when last < first.
    void add_range(unsigned char first, unsigned char last, bool icase);
    void add_class(std::uint16_t mask) { m_pendingMask |= mask; }
    void add_negated_class(std::uint16_t mask) { m_negatedMasks.push_back(mask); }
    // A nested set (\D \S \W inside brackets), given by its closed table.
    void add_nested(const byte_table& closed) { m_nested.push_back(&closed); }

    // The membership of every byte, the set's own negation applied.
    byte_table close() const;

private:
    bool m_negated;
    byte_table m_table;
    std::uint16_t m_pendingMask = 0;
    std::vector<std::uint16_t> m_negatedMasks;
    std::vector<const byte_table*> m_nested;
};

} // namespace regex::detail
