// The reference the engine is checked against, shared by the differential test
// and the fuzz target: PCRE2 compiled so that it means what the engine means by
// the syntax both understand, and driven through the engine's search rules
// (rightmost starts, the global loop with its empty-match rule, the result
// layouts), so that both answer with the same list of spans.
//
// Header only, because the test program takes every .cpp of its folder and
// nothing else.
#pragma once

#include "regex/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace regex_check {

// One result entry as offsets into the subject; {-1, -1} when the group did
// not take part.
struct span {
    long first = -1;
    long second = -1;
    bool operator==(const span&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const span& s) {
    return out << '(' << s.first << ',' << s.second << ')';
}

// What a whole match call answered: its result list and its return value.
struct call_result {
    bool found = false;
    std::vector<span> entries;
    bool operator==(const call_result&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const call_result& r) {
    out << (r.found ? "found" : "none") << " [";
    for (const span& s : r.entries)
        out << s;
    return out << ']';
}

// Runs the engine's whole match call and turns its entries into spans.
inline call_result engine_call(const regex::compiled_pattern& pattern, std::string_view subject,
                               const regex::match_limits& limits = {}) {
    regex::match_backrefs results;
    call_result out;
    out.found = regex::run_match(pattern, results, subject.data(), subject.data() + subject.size(),
                                 limits) == regex::match_status::found;
    for (const regex::backref_tag& tag : results.entries()) {
        if (!tag.matched)
            out.entries.push_back(span{});
        else
            out.entries.push_back(span{static_cast<long>(tag.first - subject.data()),
                                       static_cast<long>(tag.second - subject.data())});
    }
    return out;
}

// Raised when PCRE2 gives up (match or depth limit): the case decides nothing.
class reference_gave_up : public std::runtime_error {
public:
    reference_gave_up() : std::runtime_error("PCRE2 reached its match limit") {}
};

// Bytes as the text of a C++ string literal: how findings are reported.
inline std::string printable(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
            // A hex escape in a C++ literal would swallow a following hex digit.
            out += "\"\"";
        }
    }
    return out;
}

class pcre2_reference {
public:
    // Throws std::invalid_argument with PCRE2's message when PCRE2 rejects
    // the pattern.
    pcre2_reference(std::string_view pattern, std::uint32_t flags,
                    std::uint32_t match_limit = 10'000'000)
        : m_flags(flags) {
        std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
            pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
        // The engine's line break is the line feed alone.
        pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
        int error = 0;
        PCRE2_SIZE offset = 0;
        m_code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   compile_options(flags), &error, &offset, context.get()));
        if (!m_code) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(error, message, sizeof message);
            throw std::invalid_argument(reinterpret_cast<const char*>(message));
        }
        std::uint32_t captures = 0;
        pcre2_pattern_info(m_code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
        m_groups = captures + 1;
        m_data.reset(pcre2_match_data_create(static_cast<std::uint32_t>(m_groups), nullptr));
        m_context.reset(pcre2_match_context_create(nullptr));
        pcre2_set_match_limit(m_context.get(), match_limit);
        pcre2_set_depth_limit(m_context.get(), match_limit);
    }

    // Capturing groups plus one.
    std::size_t group_count() const { return m_groups; }

    // The whole match call as the engine defines it for the flags given at
    // construction. Throws reference_gave_up.
    call_result call(std::string_view subject) const {
        if (!(m_flags & regex::global)) {
            std::optional<std::vector<span>> found = attempt(subject, 0, false);
            call_result out;
            out.found = found.has_value();
            out.entries = found ? *found : std::vector<span>(m_groups);
            return out;
        }
        return global_call(subject);
    }

private:
    struct code_free {
        void operator()(pcre2_code* code) const { pcre2_code_free(code); }
    };
    struct data_free {
        void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
    };
    struct context_free {
        void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
    };

    static std::uint32_t compile_options(std::uint32_t flags) {
        // PCRE2's shortcuts are left off: its start analysis misjudges groups
        // repeated {0} times, and it makes -? possessive before (?>|_).
        std::uint32_t options =
            PCRE2_NO_START_OPTIMIZE | PCRE2_NO_DOTSTAR_ANCHOR | PCRE2_NO_AUTO_POSSESS;
        if (flags & regex::ignore_case)
            options |= PCRE2_CASELESS;
        // The engine's ^ also matches after a line feed that ends the subject.
        if (flags & regex::multiline)
            options |= PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX;
        if (flags & regex::single_line)
            options |= PCRE2_DOTALL;
        if (flags & regex::extended)
            options |= PCRE2_EXTENDED;
        return options;
    }

    // Successive matches: each search starts where the last match ended, and
    // an empty match is never followed by another at the same place.
    call_result global_call(std::string_view subject) const {
        call_result out;
        std::size_t start = 0;
        bool prevEmpty = false;
        while (std::optional<std::vector<span>> found = attempt(subject, start, prevEmpty)) {
            append(out.entries, *found);
            const span whole = found->front();
            prevEmpty = whole.first == whole.second;
            start = static_cast<std::size_t>(whole.second);
        }
        out.found = !out.entries.empty();
        return out;
    }

    void append(std::vector<span>& entries, const std::vector<span>& match) const {
        if (m_flags & regex::first_backrefs)
            entries.push_back(match.front());
        else if (m_flags & regex::all_backrefs)
            entries.insert(entries.end(), match.begin(), match.end());
        else
            entries = match;
    }

    std::optional<std::vector<span>> attempt(std::string_view subject, std::size_t start,
                                             bool prevEmpty) const {
        if (!(m_flags & regex::rightmost))
            return run(subject, start, prevEmpty ? PCRE2_NOTEMPTY_ATSTART : 0);
        // Rightmost: the first start, from the right, at which the pattern matches.
        for (std::size_t at = subject.size() + 1; at-- > start;) {
            std::uint32_t options = PCRE2_ANCHORED;
            if (prevEmpty && at == start)
                options |= PCRE2_NOTEMPTY_ATSTART;
            if (std::optional<std::vector<span>> found = run(subject, at, options))
                return found;
        }
        return std::nullopt;
    }

    std::optional<std::vector<span>> run(std::string_view subject, std::size_t start,
                                         std::uint32_t options) const {
        const int rc = pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                   subject.size(), start, options, m_data.get(), m_context.get());
        if (rc == PCRE2_ERROR_NOMATCH)
            return std::nullopt;
        if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
            rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_NOMEMORY)
            throw reference_gave_up();
        if (rc < 0)
            throw std::logic_error("pcre2_match failed with " + std::to_string(rc));
        const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(m_data.get());
        std::vector<span> groups(m_groups);
        for (std::size_t i = 0; i < static_cast<std::size_t>(rc); ++i) {
            if (vector[2 * i] != PCRE2_UNSET)
                groups[i] =
                    span{static_cast<long>(vector[2 * i]), static_cast<long>(vector[2 * i + 1])};
        }
        return groups;
    }

    std::uint32_t m_flags;
    std::unique_ptr<pcre2_code, code_free> m_code;
    std::unique_ptr<pcre2_match_data, data_free> m_data;
    std::unique_ptr<pcre2_match_context, context_free> m_context;
    std::size_t m_groups = 1;
};

} // namespace regex_check
