#include "bench/regex/bench_matchers.h"

#include "regex/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <memory>
#include <regex>

namespace regex_bench {

namespace {

constexpr std::uint32_t caller_flags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

template <typename T, void (*Free)(T*)> struct pcre2_free {
    void operator()(T* p) const { Free(p); }
};
using code_ptr = std::unique_ptr<pcre2_code, pcre2_free<pcre2_code, pcre2_code_free>>;
using data_ptr =
    std::unique_ptr<pcre2_match_data, pcre2_free<pcre2_match_data, pcre2_match_data_free>>;
using context_ptr =
    std::unique_ptr<pcre2_match_context, pcre2_free<pcre2_match_context, pcre2_match_context_free>>;
using jit_stack_ptr =
    std::unique_ptr<pcre2_jit_stack, pcre2_free<pcre2_jit_stack, pcre2_jit_stack_free>>;

// PCRE2 compiled and set up to finish whatever the work: no match or depth
// limit, a JIT stack large enough for a page.
class pcre2_matcher {
public:
    pcre2_matcher(const std::string& pattern, bool jit) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        m_code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_CASELESS | PCRE2_DOTALL, &error, &offset, nullptr));
        if (!m_code)
            throw matcher_failed("pcre2_compile failed");
        if (jit && pcre2_jit_compile(m_code.get(), PCRE2_JIT_COMPLETE) != 0)
            throw matcher_failed("pcre2_jit_compile failed");
        m_data.reset(pcre2_match_data_create_from_pattern(m_code.get(), nullptr));
        m_context.reset(pcre2_match_context_create(nullptr));
        pcre2_set_match_limit(m_context.get(), UINT32_MAX);
        pcre2_set_depth_limit(m_context.get(), UINT32_MAX);
        if (jit) {
            m_stack.reset(pcre2_jit_stack_create(32 * 1024, 256 << 20, nullptr));
            pcre2_jit_stack_assign(m_context.get(), nullptr, m_stack.get());
        }
        std::uint32_t captures = 0;
        pcre2_pattern_info(m_code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
        m_entries = captures + 1;
    }

    // Every successive match, as the engine's global call collects them; the
    // number of entries all_backrefs would keep.
    std::size_t all_matches(const std::string& text) const {
        std::size_t entries = 0;
        std::size_t start = 0;
        std::uint32_t options = 0;
        while (match(text, start, options)) {
            const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(m_data.get());
            entries += m_entries;
            options = vector[0] == vector[1] ? PCRE2_NOTEMPTY_ATSTART : 0;
            start = vector[1];
        }
        return entries;
    }

    bool match(const std::string& text, std::size_t start, std::uint32_t options) const {
        const int rc = pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()),
                                   text.size(), start, options, m_data.get(), m_context.get());
        if (rc == PCRE2_ERROR_NOMATCH)
            return false;
        if (rc < 0)
            throw matcher_failed("pcre2_match failed with " + std::to_string(rc));
        return true;
    }

    std::size_t entries() const { return m_entries; }

private:
    code_ptr m_code;
    data_ptr m_data;
    context_ptr m_context;
    jit_stack_ptr m_stack;
    std::size_t m_entries = 1;
};

// std::regex has no flag for a dot that matches line breaks: every dot
// outside brackets becomes [\s\S].
std::string ecmascript_pattern(const std::string& pattern) {
    std::string out;
    bool inSet = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\' && i + 1 < pattern.size()) {
            out += c;
            out += pattern[++i];
        } else if (inSet) {
            inSet = c != ']';
            out += c;
        } else if (c == '[') {
            inSet = true;
            out += c;
        } else {
            out += c == '.' ? std::string("[\\s\\S]") : std::string(1, c);
        }
    }
    return out;
}

} // namespace

static std::size_t run_engine_into(const workload& work, regex::match_mode mode,
                                   regex::match_backrefs& results,
                                   const regex::match_limits& limits = {}) {
    const regex::compiled_pattern pattern(work.pattern, caller_flags, mode);
    if (work.names.empty()) {
        regex::run_match(pattern, results, work.text.data(), work.text.data() + work.text.size(),
                         limits);
        return results.group_count();
    }
    std::size_t entries = 0;
    for (const std::string& name : work.names) {
        if (regex::run_match(pattern, results, name.data(), name.data() + name.size(), limits) ==
            regex::match_status::found)
            entries += results.group_count();
    }
    return entries;
}

std::size_t run_engine_backtracking(const workload& work) {
    regex::match_backrefs results;
    regex::match_limits limits;
    limits.backtrack_only = true;
    return run_engine_into(work, regex::mode_recursive, results, limits);
}

std::size_t run_engine(const workload& work, regex::match_mode mode) {
    if (work.fresh_results) {
        regex::match_backrefs results;
        return run_engine_into(work, mode, results);
    }
    static regex::match_backrefs kept;
    return run_engine_into(work, mode, kept);
}

std::size_t compile_engine(const std::string& pattern) {
    return regex::compiled_pattern(pattern, caller_flags, regex::mode_recursive).group_count();
}

std::size_t compile_pcre2(const std::string& pattern, bool jit) {
    return pcre2_matcher(pattern, jit).entries();
}

std::size_t compile_std_regex(const std::string& pattern) {
    return std::regex(ecmascript_pattern(pattern), std::regex::ECMAScript | std::regex::icase)
               .mark_count() +
           1;
}

std::size_t run_pcre2(const workload& work, bool jit) {
    const pcre2_matcher matcher(work.pattern, jit);
    if (work.names.empty())
        return matcher.all_matches(work.text);
    std::size_t entries = 0;
    for (const std::string& name : work.names)
        entries += matcher.all_matches(name);
    return entries;
}

std::size_t run_std_regex(const workload& work) {
    const std::regex pattern(ecmascript_pattern(work.pattern),
                             std::regex::ECMAScript | std::regex::icase);
    std::size_t entries = 0;
    if (work.names.empty()) {
        for (std::sregex_iterator it(work.text.begin(), work.text.end(), pattern), end; it != end;
             ++it)
            entries += it->size();
        return entries;
    }
    for (const std::string& name : work.names) {
        std::smatch match;
        if (std::regex_search(name, match, pattern))
            entries += match.size();
    }
    return entries;
}

} // namespace regex_bench
