// The result list of a match call: entry 0 is the whole match, entry n the
// capturing group n; under the global flag the entries of successive matches
// follow each other (see compiled_pattern.h).
#pragma once

#include "regex/backref_tag.h"

#include <cstddef>
#include <vector>

namespace regex {

class match_backrefs {
public:
    // Number of entries of the last call's result.
    std::size_t group_count() const { return m_entries.size(); }
    // Entry i; throws std::out_of_range when i is not below group_count().
    const backref_tag& group(std::size_t i) const;
    // The begin of the subject of the last call (null before the first call).
    const char* subject_begin() const { return m_subjectBegin; }

    // Used by the matcher to hand over a finished result.
    std::vector<backref_tag>& entries() { return m_entries; }
    const std::vector<backref_tag>& entries() const { return m_entries; }
    void set_subject_begin(const char* begin) { m_subjectBegin = begin; }

private:
    std::vector<backref_tag> m_entries;
    const char* m_subjectBegin = nullptr;
};

} // namespace regex
