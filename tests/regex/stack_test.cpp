// Stack exhaustion never crashes: the recursive matcher ends the attempt
// without a match on threads with small and large stacks, keeps the matches
// it recorded before, and the thread goes on; the iterative matcher does not
// depend on the stack at all.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <string>

namespace {

// Runs `body` on a new thread with a stack of `size` bytes and waits for it.
void run_on_stack(std::size_t size, const std::function<void()>& body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, size), 0);
    pthread_t thread;
    auto entry = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, entry, const_cast<std::function<void()>*>(&body)), 0);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

// Every iteration of a repeated group is a level of recursion.
const std::string deep = "(?:a|b)*c";

std::string long_run(std::size_t size) {
    return std::string(size, 'a') + "c";
}

// The thread sanitizer keeps a call stack of its own that cannot follow the
// tens of thousands of nested calls an 8 MiB stack holds.
#if defined(__SANITIZE_THREAD__)
constexpr bool thread_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool thread_sanitizer = true;
#else
constexpr bool thread_sanitizer = false;
#endif
#else
constexpr bool thread_sanitizer = false;
#endif

constexpr std::size_t big_stack = 8u << 20;
constexpr std::size_t small_stack = 256u << 10;

class StackExhaustion : public testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override {
        if (thread_sanitizer && GetParam() == big_stack)
            GTEST_SKIP() << "deeper than the thread sanitizer's own call stack";
    }
};

TEST_P(StackExhaustion, RecursiveAttemptEndsAndEarlierMatchesStay) {
    const std::string subject = "xc" + long_run(16u << 20);
    std::string outcome;
    std::string afterwards;
    run_on_stack(GetParam(), [&] {
        const regex::compiled_pattern pattern(deep, regex::global | regex::all_backrefs,
                                              regex::mode_recursive);
        regex::match_backrefs results;
        const bool found = regex::run_match(pattern, results, subject);
        outcome = regex_test::describe(results, found, subject.data());
        // The thread and its stack go on working, deep attempts included.
        regex::run_match(pattern, results, subject);
        afterwards = regex_test::run("(a|b)+", regex::noflags, regex::mode_recursive, "xab");
    });
    EXPECT_EQ(outcome, "c@1");
    EXPECT_EQ(afterwards, "ab@1 | b@2");
}

TEST_P(StackExhaustion, WithoutGlobalEveryEntryIsUnmatched) {
    const std::string subject = long_run(16u << 20);
    bool found = true;
    std::size_t entries = 0;
    bool anyMatched = false;
    run_on_stack(GetParam(), [&] {
        const regex::compiled_pattern pattern("(a|b)*c", regex::noflags, regex::mode_recursive);
        regex::match_backrefs results;
        found = regex::run_match(pattern, results, subject);
        entries = results.group_count();
        for (std::size_t i = 0; i < entries; ++i)
            anyMatched = anyMatched || results.group(i).matched;
    });
    EXPECT_FALSE(found);
    EXPECT_EQ(entries, 2u);
    EXPECT_FALSE(anyMatched);
}

INSTANTIATE_TEST_SUITE_P(Threads, StackExhaustion, testing::Values(big_stack, small_stack),
                         [](const auto& info) {
                             return info.param == big_stack ? "Stack8MiB" : "Stack256KiB";
                         });

TEST(StackExhaustion, IterativeFindsWhatRecursiveCannotOnASmallStack) {
    const std::string subject = long_run(1u << 20);
    std::string recursive;
    std::string iterative;
    std::string automatic;
    run_on_stack(small_stack, [&] {
        for (auto [mode, out] : {std::pair{regex::mode_recursive, &recursive},
                                 std::pair{regex::mode_iterative, &iterative},
                                 std::pair{regex::mode_auto, &automatic}}) {
            const regex::compiled_pattern pattern(deep, regex::noflags, mode);
            regex::match_backrefs results;
            const bool found = regex::run_match(pattern, results, subject);
            *out = found ? std::to_string(results.group(0).length()) : "none";
        }
    });
    EXPECT_EQ(recursive, "none");
    EXPECT_EQ(iterative, std::to_string(subject.size()));
    EXPECT_EQ(automatic, std::to_string(subject.size()));
}

// The compiler recurses once per nesting level: a pattern nested deeper than
// the stack holds is refused as memory exhaustion, one of moderate depth works.
TEST(StackExhaustion, DeepNestingIsRefusedNotACrash) {
    const std::string tooDeep = std::string(200000, '(') + "a" + std::string(200000, ')');
    const std::string moderate = std::string(40, '(') + "a" + std::string(40, ')');
    std::string refusal;
    std::string found;
    run_on_stack(small_stack, [&] {
        try {
            regex::compiled_pattern pattern(tooDeep);
        } catch (const std::bad_alloc& e) {
            refusal = e.what();
        }
        found = regex_test::run(moderate, regex::noflags, regex::mode_recursive, "xa");
    });
    EXPECT_EQ(refusal, "bad allocation");
    EXPECT_EQ(found.substr(0, 3), "a@1");
}

// mode_auto recurses only where the depth is bounded by the pattern.
TEST(StackExhaustion, RecursionSafetyOfPatterns) {
    const struct {
        std::string pattern;
        bool safe;
    } rows[] = {
        {"a*b+[c-d]{0,1000}", true},
        {"(a){0,16}", true},
        {"(?:ab)?", true},
        {"(a){0,17}", false},
        {"(a)*", false},
        {"(?:a|b)+?", false},
        {"a(?R)", false},
        {"(?>a){3,}", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(regex::compiled_pattern(row.pattern).recursion_safe(), row.safe) << row.pattern;
}

} // namespace
