// Fuzz target of the pattern engine. The first input byte chooses between
//  - a pattern generated from the syntax the engine shares with PCRE2, run
//    over a subject: the recursive, iterative and automatic matchers must give
//    PCRE2's answer;
//  - arbitrary bytes as a pattern: compiling them either works or throws
//    bad_regexpr, and a pattern that compiles gives the same answer through
//    both matchers.
// Any disagreement prints the case as a row for the differential test's
// table and aborts.
#include "fuzz/fuzz_inputs.h"
#include "fuzz/pattern_generator.h"
#include "fuzz/pcre2_reference.h"
#include "regex/regex.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

using regex_check::call_result;
using regex_check::engine_call;
using regex_check::generated_flags;
using regex_check::generated_subject;
using regex_check::printable;
using regex_check::report;

constexpr std::size_t max_raw_pattern = 64;
constexpr std::size_t max_raw_subject = 8;
constexpr std::size_t max_subject = 32;
constexpr std::size_t max_subject_nested = 12;

void compare_matchers(const std::string& pattern, std::uint32_t flags, const std::string& subject,
                      const call_result& expected, const char* against) {
    const regex::compiled_pattern recursive(pattern, flags, regex::mode_recursive);
    const regex::compiled_pattern iterative(pattern, flags, regex::mode_iterative);
    const regex::compiled_pattern automatic(pattern, flags, regex::mode_auto);
    const call_result byRecursion = engine_call(recursive, subject);
    if (byRecursion != expected)
        report(against, pattern, flags, subject, expected, byRecursion);
    const call_result byIteration = engine_call(iterative, subject);
    if (byIteration != byRecursion)
        report("iterative matcher differs from recursive", pattern, flags, subject, byRecursion,
               byIteration);
    const call_result byChoice = engine_call(automatic, subject);
    if (byChoice != byRecursion)
        report("mode_auto differs from recursive", pattern, flags, subject, byRecursion, byChoice);
}

void check_generated(FuzzedDataProvider& input) {
    const std::uint32_t flags = generated_flags(input);
    regex_check::pattern_generator generator(input, (flags & regex::normalize) != 0);
    const std::string pattern = generator.generate();
    const std::string subject =
        generated_subject(input, generator.nested_repetition() ? max_subject_nested : max_subject);
    call_result expected;
    try {
        const regex_check::pcre2_reference reference(pattern, flags, 1'000'000);
        expected = reference.call(subject);
    } catch (const std::invalid_argument&) {
        return; // outside what the generator means to produce
    } catch (const regex_check::reference_gave_up&) {
        return;
    }
    try {
        compare_matchers(pattern, flags, subject, expected, "engine differs from PCRE2");
    } catch (const regex::bad_regexpr& error) {
        std::fprintf(stderr, "PCRE2 compiles \"%s\" (flags %u), the engine throws \"%s\"\n",
                     printable(pattern).c_str(), flags, error.what());
        std::abort();
    }
}

void check_raw(FuzzedDataProvider& input) {
    const std::uint32_t flags = input.ConsumeIntegral<std::uint16_t>() & 0x3df;
    const std::string pattern = input.ConsumeRandomLengthString(max_raw_pattern);
    const std::string subject = input.ConsumeBytesAsString(max_raw_subject);
    call_result first;
    try {
        const regex::compiled_pattern recursive(pattern, flags, regex::mode_recursive);
        first = engine_call(recursive, subject);
    } catch (const regex::bad_regexpr&) {
        return; // the one exception a bad pattern may raise
    }
    compare_matchers(pattern, flags, subject, first, "recursive matcher gives two answers");
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
