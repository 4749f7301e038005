#include "regex/backref_tag.h"

namespace regex {

std::string backref_tag::text() const {
    return std::string(view());
}

std::string_view backref_tag::view() const {
    if (!matched)
        return {};
    return std::string_view(first, static_cast<std::size_t>(second - first));
}

} // namespace regex
