// Character classification and case mapping of the "C" locale, as constant
// tables. The engine never asks the process's locale: a program that sets a
// UTF-8 locale must still see bytes 0x80 to 0xFF as plain, caseless,
// classless bytes, so that GBK text compares exactly.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace regex::detail {

// Class bits, one per class name of a bracket expression.
enum class_mask : std::uint16_t {
    cls_alnum = 0x001,
    cls_alpha = 0x002,
    cls_blank = 0x004,
    cls_cntrl = 0x008,
    cls_digit = 0x010,
    cls_graph = 0x020,
    cls_lower = 0x040,
    cls_print = 0x080,
    cls_punct = 0x100,
    cls_space = 0x200,
    cls_upper = 0x400,
    cls_xdigit = 0x800,
};

constexpr std::uint16_t classify_c_locale(unsigned c) {
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool space = c == ' ' || (c >= '\t' && c <= '\r');
    const bool cntrl = c < 0x20 || c == 0x7F;
    const bool print = c >= 0x20 && c < 0x7F;
    const bool graph = print && c != ' ';
    const bool alpha = upper || lower;
    std::uint16_t m = 0;
    m |= (alpha || digit) ? cls_alnum : 0;
    m |= alpha ? cls_alpha : 0;
    m |= (c == ' ' || c == '\t') ? cls_blank : 0;
    m |= cntrl ? cls_cntrl : 0;
    m |= digit ? cls_digit : 0;
    m |= graph ? cls_graph : 0;
    m |= lower ? cls_lower : 0;
    m |= print ? cls_print : 0;
    m |= (graph && !alpha && !digit) ? cls_punct : 0;
    m |= space ? cls_space : 0;
    m |= upper ? cls_upper : 0;
    m |= (digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) ? cls_xdigit : 0;
    return m;
}

inline constexpr std::array<std::uint16_t, 256> class_table = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned c = 0; c < 256; ++c)
        t[c] = classify_c_locale(c);
    return t;
}();

constexpr unsigned char to_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

constexpr unsigned char to_upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The byte's other letter case, or the byte itself when it has none.
constexpr unsigned char other_case(unsigned char c) {
    const unsigned char l = to_lower(c);
    return l != c ? l : to_upper(c);
}

constexpr bool has_class(unsigned char c, std::uint16_t mask) {
    return (class_table[c] & mask) != 0;
}

// The mask of a bracket class name such as "alpha" (without the colons), or 0
// when the name is not one of the twelve.
std::uint16_t class_by_name(std::string_view name);

} // namespace regex::detail
