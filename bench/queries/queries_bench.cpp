// What reading one Tranco reply costs: the jq program of the built-in source
// against a reply pattern of the engine on the same reply, side by side.
//
// - Pattern: the engine with the flags every reply pattern has, taking the
//   first rank (a pattern cannot choose the newest day; the cost is what
//   matters here).
// - JqHere: the jq program evaluated in this process (parse and run).
// - JqBounded: the same as the scan runs it, in a child process with its
//   limits; the fork grows with the process, so it is also measured with
//   256 MiB of touched memory beside it, as a long list in the window has.
// - JqCompile: once per definition file, when the file is read.
//
// The argument is the number of days in the reply (the service lists about
// a month; a year for a large reply).
#include "queries/CJqProgram.h"
#include "regex/regex.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string TrancoReply(int nDays) {
    std::string strReply = R"({"domain":"example.com","ranks":[)";
    for (int i = 0; i < nDays; ++i) {
        const int nDay = i % 28 + 1;
        const int nMonth = i / 28 % 12 + 1;
        strReply += (i == 0 ? "" : ",");
        strReply += R"({"date":"2026-)" + std::string(nMonth < 10 ? "0" : "") +
                    std::to_string(nMonth) + "-" + std::string(nDay < 10 ? "0" : "") +
                    std::to_string(nDay) + R"(","rank":)" + std::to_string(900 + i % 50) + "}";
    }
    return strReply + "]}";
}

constexpr const char* kProgram = ".ranks | max_by(.date) | .rank";
constexpr const char* kPattern = R"("rank":\s*([0-9]+))";

std::shared_ptr<const CJqProgram> Program() {
    std::string strError;
    static const auto pProgram = CJqProgram::Compile(kProgram, strError);
    return pProgram;
}

void Pattern(benchmark::State& state) {
    const std::string strReply = TrancoReply(static_cast<int>(state.range(0)));
    const regex::compiled_pattern pattern(
        kPattern, regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs,
        regex::mode_recursive);
    for (auto _ : state) {
        regex::match_backrefs results;
        regex::run_match(pattern, results, strReply.data(), strReply.data() + strReply.size());
        std::string strValue = results.group(1).text();
        benchmark::DoNotOptimize(strValue);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * strReply.size()));
}

void JqHere(benchmark::State& state) {
    const std::string strReply = TrancoReply(static_cast<int>(state.range(0)));
    const auto pProgram = Program();
    for (auto _ : state) {
        CJqProgram::SOutput output = pProgram->RunHere(strReply);
        benchmark::DoNotOptimize(output);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * strReply.size()));
}

void JqBounded(benchmark::State& state) {
    const std::string strReply = TrancoReply(static_cast<int>(state.range(0)));
    const auto pProgram = Program();
    std::vector<char> ballast(static_cast<std::size_t>(state.range(1)) << 20);
    std::memset(ballast.data(), 1, ballast.size());
    for (auto _ : state) {
        CJqProgram::SOutput output = pProgram->Run(strReply);
        benchmark::DoNotOptimize(output);
    }
    state.counters["ballast_MiB"] = static_cast<double>(state.range(1));
}

void JqCompile(benchmark::State& state) {
    for (auto _ : state) {
        std::string strError;
        auto pProgram = CJqProgram::Compile(kProgram, strError);
        benchmark::DoNotOptimize(pProgram);
    }
}

} // namespace

BENCHMARK(Pattern)->Arg(30)->Arg(365);
BENCHMARK(JqHere)->Arg(30)->Arg(365);
BENCHMARK(JqBounded)->Args({30, 0})->Args({365, 0})->Args({30, 256})->Unit(benchmark::kMicrosecond);
BENCHMARK(JqCompile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
