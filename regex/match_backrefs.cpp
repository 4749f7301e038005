#include "regex/match_backrefs.h"

#include <stdexcept>

namespace regex {

const backref_tag& match_backrefs::group(std::size_t i) const {
    if (i >= m_entries.size())
        throw std::out_of_range("match_backrefs::group: no such entry");
    return m_entries[i];
}

} // namespace regex
