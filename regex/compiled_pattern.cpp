#include "regex/compiled_pattern.h"

#include "regex/detail/compiler.h"
#include "regex/detail/program.h"

#include <cstring>

namespace regex {

compiled_pattern::compiled_pattern(std::string_view text, std::uint32_t flags, match_mode mode)
    : m_program(std::make_unique<detail::program>()) {
    m_program->text = std::string(text);
    m_program->flags = flags;
    m_program->mode = mode;
    detail::compiler::compile(*m_program);
}

compiled_pattern::~compiled_pattern() = default;
compiled_pattern::compiled_pattern(compiled_pattern&&) noexcept = default;
compiled_pattern& compiled_pattern::operator=(compiled_pattern&&) noexcept = default;

const backref_tag& compiled_pattern::match(const char* begin, const char* end,
                                           match_backrefs& results) const {
    if (!run_match(*this, results, begin, end))
        return null_backref;
    return results.entries().front();
}

const backref_tag& compiled_pattern::match(std::string_view subject,
                                           match_backrefs& results) const {
    return match(subject.data(), subject.data() + subject.size(), results);
}

const backref_tag& compiled_pattern::match(const char* subject, match_backrefs& results) const {
    return match(subject, subject + std::strlen(subject), results);
}

const std::string& compiled_pattern::text() const {
    return m_program->text;
}
std::uint32_t compiled_pattern::flags() const {
    return m_program->flags;
}
match_mode compiled_pattern::mode() const {
    return m_program->mode;
}
std::size_t compiled_pattern::group_count() const {
    return m_program->capture_groups;
}
std::size_t compiled_pattern::min_length() const {
    return m_program->min_length;
}
std::size_t compiled_pattern::max_length() const {
    return m_program->max_length;
}
bool compiled_pattern::recursion_safe() const {
    return m_program->recursion_safe;
}
bool compiled_pattern::linear_time() const {
    return m_program->memo_search;
}

bool run_match(const compiled_pattern& pattern, match_backrefs& results, std::string_view subject) {
    return run_match(pattern, results, subject.data(), subject.data() + subject.size());
}

bool run_match(const compiled_pattern& pattern, match_backrefs& results, const char* subject) {
    return run_match(pattern, results, subject, subject + std::strlen(subject));
}

} // namespace regex
