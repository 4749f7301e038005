// What the fuzz targets of the pattern engine share: flag words and
// subjects drawn from the input, and the report of a disagreement.
#pragma once

#include "fuzz/pcre2_reference.h"
#include "regex/regex.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace regex_check {

// Subject bytes: what the generated literals and sets can meet, plus line
// breaks, a digit, a zero byte and the other case of the letters.
constexpr char subject_bytes[] = "aAbBcC \n\r1-_,.\xb8\xe9";
constexpr std::size_t subject_byte_count = sizeof subject_bytes; // with the zero byte

[[noreturn]] inline void report(const char* what, const std::string& pattern, std::uint32_t flags,
                                const std::string& subject, const call_result& expected,
                                const call_result& got) {
    std::ostringstream text;
    text << what << "\n  corpus_row{\"" << printable(pattern) << "\", {\"" << printable(subject)
         << "\"}, " << flags << " | fixed_flags},\n  expected " << expected << "\n  got      "
         << got << '\n';
    std::fputs(text.str().c_str(), stderr);
    std::abort();
}

inline std::uint32_t generated_flags(FuzzedDataProvider& input) {
    std::uint32_t flags = input.ConsumeIntegral<std::uint8_t>() &
                          (regex::ignore_case | regex::multiline | regex::single_line);
    if (input.ConsumeBool())
        flags |= regex::normalize;
    switch (input.ConsumeIntegralInRange(0, 5)) {
    case 0:
        return flags | regex::global | regex::all_backrefs;
    case 1:
        return flags | regex::global | regex::first_backrefs;
    case 2:
        return flags | regex::global;
    case 3:
        return flags | regex::rightmost;
    case 4:
        return flags | regex::rightmost | regex::global | regex::all_backrefs;
    default:
        return flags;
    }
}

inline std::string generated_subject(FuzzedDataProvider& input, std::size_t cap) {
    std::string subject;
    while (subject.size() < cap && input.remaining_bytes() > 0)
        subject += subject_bytes[input.ConsumeIntegral<std::uint8_t>() % subject_byte_count];
    return subject;
}

} // namespace regex_check
