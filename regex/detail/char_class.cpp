#include "regex/detail/char_class.h"

namespace regex::detail {

std::uint16_t class_by_name(std::string_view name) {
    struct entry {
        std::string_view name;
        std::uint16_t mask;
    };
    static constexpr entry names[] = {
        {"alnum", cls_alnum}, {"alpha", cls_alpha}, {"blank", cls_blank}, {"cntrl", cls_cntrl},
        {"digit", cls_digit}, {"graph", cls_graph}, {"lower", cls_lower}, {"print", cls_print},
        {"punct", cls_punct}, {"space", cls_space}, {"upper", cls_upper}, {"xdigit", cls_xdigit},
    };
    for (const auto& e : names)
        if (e.name == name)
            return e.mask;
    return 0;
}

} // namespace regex::detail
