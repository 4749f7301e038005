#include "core/DomainValidation.h"

#include "regex/regex.h"

#include <mutex>

namespace {

constexpr const char* kEntryPattern = "^([0-9a-zA-Z\\.-]+)$";
constexpr std::uint32_t kEntryFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

// A compiled pattern serves one thread at a time, so the shared one is
// matched under a lock; the check is short and uncontended.
struct SEntryPattern {
    std::mutex lock;
    regex::compiled_pattern pattern{kEntryPattern, kEntryFlags, regex::mode_recursive};
    regex::match_backrefs results;
};

SEntryPattern& EntryPattern() {
    static SEntryPattern entry;
    return entry;
}

} // namespace

bool IsValidDomain(const std::string& strText) {
    if (strText.empty()) {
        return false;
    }
    SEntryPattern& entry = EntryPattern();
    std::lock_guard<std::mutex> guard(entry.lock);
    const char* pEnd = strText.data() + strText.size();
    const regex::backref_tag& match = entry.pattern.match(strText.data(), pEnd, entry.results);
    // "$" also matches before a final line feed; such a text is not a name.
    return match.matched && match.first == strText.data() && match.second == pEnd;
}
