#include "queries/CJqProgram.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using EKind = CJqProgram::SOutput::EKind;

std::shared_ptr<const CJqProgram> Compiled(const std::string& strProgram) {
    std::string strError;
    auto pProgram = CJqProgram::Compile(strProgram, strError);
    EXPECT_NE(pProgram, nullptr) << strProgram << ": " << strError;
    return pProgram;
}

struct OutputCase {
    const char* pszName;
    const char* pszProgram;
    const char* pszReply;
    EKind kind;
    const char* pszText; // the value, or a part of the reason
};

class JqOutputTest : public testing::TestWithParam<OutputCase> {};

// Every case runs both in a child and in this process: the two agree.
TEST_P(JqOutputTest, TheFirstOutputDecides) {
    const OutputCase& test = GetParam();
    const auto pProgram = Compiled(test.pszProgram);
    ASSERT_NE(pProgram, nullptr);
    for (const CJqProgram::SOutput& output :
         {pProgram->Run(test.pszReply), pProgram->RunHere(test.pszReply)}) {
        EXPECT_EQ(output.kind, test.kind);
        if (test.kind == EKind::Value) {
            EXPECT_EQ(output.strText, test.pszText);
        } else {
            EXPECT_NE(output.strText.find(test.pszText), std::string::npos) << output.strText;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, JqOutputTest,
    testing::Values(
        // Values: strings bare, numbers as jq prints them.
        OutputCase{"String", ".a", R"({"a":"x y"})", EKind::Value, "x y"},
        OutputCase{"Integer", ".a", R"({"a":140})", EKind::Value, "140"},
        OutputCase{"Fraction", ".a", R"({"a":0.25})", EKind::Value, "0.25"},
        OutputCase{"FirstOfSeveral", ".[]", "[3,4]", EKind::Value, "3"},
        OutputCase{"NewestRank", ".ranks | max_by(.date) | .rank",
                   R"({"ranks":[{"date":"2026-11-29","rank":140},)"
                   R"({"date":"2026-12-01","rank":123},{"date":"2026-11-30","rank":131}]})",
                   EKind::Value, "123"},
        // No value.
        OutputCase{"Null", ".a", "{}", EKind::Nothing, ""},
        OutputCase{"False", ".a", R"({"a":false})", EKind::Nothing, ""},
        OutputCase{"NoOutput", ".[] | select(. > 9)", "[1,2]", EKind::Nothing, ""},
        OutputCase{"EmptyText", ".a", R"({"a":""})", EKind::Nothing, ""},
        // Failures, with what went wrong.
        OutputCase{"Object", ".", R"({"a":1})", EKind::Failed, "object"},
        OutputCase{"Array", ".", "[1]", EKind::Failed, "array"},
        OutputCase{"True", ".", "true", EKind::Failed, "boolean"},
        OutputCase{"RuntimeError", ".events[]", "{}", EKind::Failed, "Cannot iterate over null"},
        OutputCase{"ErrorWithAnObject", "error({\"why\":1})", "1", EKind::Failed, "{\"why\":1}"},
        OutputCase{"NotJson", ".", "<html>busy</html>", EKind::Failed, "the reply is not JSON"},
        OutputCase{"TwoTexts", ".", "1 2", EKind::Failed, "the reply is not JSON"}),
    [](const testing::TestParamInfo<OutputCase>& info) { return info.param.pszName; });

TEST(JqProgramTest, AProgramThatDoesNotCompileSaysWhatJqSays) {
    for (const char* pszProgram : {".[", ".a |", "nosuchfunction(1)"}) {
        std::string strError;
        EXPECT_EQ(CJqProgram::Compile(pszProgram, strError), nullptr) << pszProgram;
        EXPECT_NE(strError.find("jq: error"), std::string::npos) << strError;
        EXPECT_EQ(strError.find('\n'), std::string::npos) << "one line: " << strError;
    }
    std::string strError;
    EXPECT_EQ(CJqProgram::Compile(std::string(".a\0.b", 5), strError), nullptr);
}

// A program from a file reads its reply and nothing else: not the keys in
// the environment (libjq binds $ENV as it compiles), not files through
// modules (a module libjq cannot find used to abort the process).
TEST(JqProgramTest, AProgramThatReachesOutsideItsReplyIsRefused) {
    const struct {
        std::string strProgram;
        const char* pszWhy;
    } kCases[] = {
        {"$ENV.HOME", "environment ($ENV)"},
        {"$ ENV.HOME", "environment ($ENV)"},
        {"$ # a comment\n ENV | keys", "environment ($ENV)"},
        {"\"key: \\($ENV.HOME)\"", "environment ($ENV)"},
        {"import \"data\" as $d; $d", "modules ('import')"},
        {"# first a comment\n  include \"x\"; 1", "modules ('include')"},
        {"import \"/nowhere/x\" as $d; $d", "modules ('import')"},
        {"module {a: 1}; 1", "modules ('module')"},
        {std::string(5000, ' ') + ".", "longer than 4096 bytes"},
    };
    for (const auto& test : kCases) {
        std::string strError;
        EXPECT_EQ(CJqProgram::Compile(test.strProgram, strError), nullptr) << test.strProgram;
        EXPECT_NE(strError.find(test.pszWhy), std::string::npos) << strError;
    }
    // Names that only look alike are fine.
    for (const char* pszProgram : {"$ENVELOPE", ".ENV", "1 as $ENVX | .", ".a | tostring"}) {
        std::string strError;
        const bool bCompiled = CJqProgram::Compile(pszProgram, strError) != nullptr;
        EXPECT_EQ(strError.find("environment"), std::string::npos) << pszProgram;
        EXPECT_TRUE(bCompiled || strError.find("jq: error") != std::string::npos) << strError;
    }
    // The env builtin reads the environment as it runs: a child finds none.
    EXPECT_EQ(Compiled("env | length")->Run("1").strText, "0");
}

// A long error message (libjq quotes the whole reply after a parse error)
// stays short enough for a cell's detail.
TEST(JqProgramTest, MessagesStayShort) {
    const auto pProgram = Compiled(".");
    const std::string strReply = "[" + std::string(100000, '1') + ",";
    const CJqProgram::SOutput output = pProgram->Run(strReply);
    EXPECT_EQ(output.kind, EKind::Failed);
    EXPECT_LE(output.strText.size(), 300u);
}

// Programs from definition files are untrusted: one that never ends, or
// grows without end, costs its deadline and nothing else.
TEST(JqProgramTest, ARunawayProgramIsStoppedAtItsDeadline) {
    struct RunawayCase {
        const char* pszProgram;
        const char* pszReason;
    };
    const RunawayCase kCases[] = {
        {"last(range(1e15))", "ran longer than 300 ms"},
        {"def f: f; f", "ran longer than 300 ms"},
        {"[range(1e10)] | length", ""},
        {"\"x\" * 1e10 | length", ""},
    };
    for (const RunawayCase& test : kCases) {
        const auto pProgram = Compiled(test.pszProgram);
        const auto start = std::chrono::steady_clock::now();
        const CJqProgram::SOutput output = pProgram->Run("1", 300);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << test.pszProgram;
        EXPECT_EQ(output.kind, EKind::Failed) << test.pszProgram;
        EXPECT_NE(output.strText.find(test.pszReason), std::string::npos) << output.strText;
    }
    // The program still serves afterwards.
    EXPECT_EQ(Compiled(".a")->Run(R"({"a":7})").strText, "7");
}

TEST(JqProgramTest, CancellationEndsARunAtOnce) {
    const auto pProgram = Compiled("last(range(1e15))");
    std::atomic<bool> bCancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(100ms);
        bCancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const CJqProgram::SOutput output = pProgram->Run("1", 10000, &bCancel);
    canceller.join();
    EXPECT_EQ(output.kind, EKind::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// Programs are compiled, run and freed from several threads at once, as the
// window reads source files while the worker runs; libjq only ever sees one
// of them at a time.
TEST(JqProgramTest, ThreadsShareProgramsSafely) {
    const auto pShared = Compiled(".a");
    std::vector<std::thread> threads;
    std::atomic<int> nWrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::string strError;
            const auto pOwn = CJqProgram::Compile(".b // .a", strError);
            for (int i = 0; i < 10; ++i) {
                const std::string strReply = "{\"a\":" + std::to_string(t * 100 + i) + "}";
                const std::string strWant = std::to_string(t * 100 + i);
                const bool bRight = pShared->Run(strReply).strText == strWant &&
                                    pShared->RunHere(strReply).strText == strWant &&
                                    pOwn != nullptr && pOwn->RunHere(strReply).strText == strWant;
                nWrong += bRight ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(nWrong, 0);
}

} // namespace
