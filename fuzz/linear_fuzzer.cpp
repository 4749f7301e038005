// Fuzz target of the linear-time search: for every pattern that takes it
// (generated from the engine's syntax, or arbitrary bytes), its results must
// be those of the plain backtracking search, in every mode, over subjects
// longer than the backtracking differential can afford. The backtracking
// side runs with a step budget; a case it cannot finish decides nothing.
#include "fuzz/fuzz_inputs.h"
#include "fuzz/pattern_generator.h"

namespace {

using regex_check::call_result;
using regex_check::engine_call;

constexpr std::size_t max_raw_pattern = 64;
constexpr std::size_t max_subject = 96;
constexpr std::uint64_t backtracking_budget = 2'000'000;

void compare(const std::string& pattern, std::uint32_t flags, const std::string& subject) {
    regex::match_limits backtrack;
    backtrack.backtrack_only = true;
    backtrack.step_budget = backtracking_budget;
    regex::match_limits linear;
    linear.linear_at_once = true;
    for (regex::match_mode mode :
         {regex::mode_recursive, regex::mode_iterative, regex::mode_auto}) {
        const regex::compiled_pattern compiled(pattern, flags, mode);
        if (!compiled.linear_time())
            return;
        regex::match_backrefs results;
        if (regex::run_match(compiled, results, subject.data(), subject.data() + subject.size(),
                             backtrack) == regex::match_status::too_long)
            return;
        const call_result expected = engine_call(compiled, subject, backtrack);
        const call_result got = engine_call(compiled, subject, linear);
        if (got != expected)
            regex_check::report("linear-time search differs from backtracking", pattern, flags,
                                subject, expected, got);
    }
}

void check_generated(FuzzedDataProvider& input) {
    const std::uint32_t flags = regex_check::generated_flags(input);
    regex_check::pattern_generator generator(input, (flags & regex::normalize) != 0);
    const std::string pattern = generator.generate();
    const std::string subject = regex_check::generated_subject(input, max_subject);
    try {
        compare(pattern, flags, subject);
    } catch (const regex::bad_regexpr&) {
        // the generator's syntax is the differential target's concern
    }
}

void check_raw(FuzzedDataProvider& input) {
    const std::uint32_t flags = input.ConsumeIntegral<std::uint16_t>() & 0x3df;
    const std::string pattern = input.ConsumeRandomLengthString(max_raw_pattern);
    const std::string subject = regex_check::generated_subject(input, max_subject);
    try {
        compare(pattern, flags, subject);
    } catch (const regex::bad_regexpr&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        check_generated(input);
    else
        check_raw(input);
    return 0;
}
