// Stack exhaustion never crashes and changes no result: when the recursive
// matcher runs short of stack on threads with small and large stacks, the
// attempt is run again by the iterative matcher, which does not depend on
// the stack at all, and the thread goes on.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

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

// The backtracking search of the recursive matcher, the one patterns with
// back-references take (the others take the linear-time search).
std::string recursive_backtracking(const std::string& pattern, std::uint32_t flags,
                                   const std::string& subject) {
    const regex::compiled_pattern compiled(pattern, flags, regex::mode_recursive);
    return regex_test::backtracking(compiled, subject);
}

std::string whole_match_lengths(const regex::match_backrefs& results) {
    std::string out;
    for (std::size_t i = 0; i < results.group_count(); ++i)
        out +=
            (i ? " " : "") + (results.group(i).matched ? std::to_string(results.group(i).length())
                                                       : std::string("-"));
    return out;
}

TEST_P(StackExhaustion, RecursiveMatcherFallsBackToTheIterativeOne) {
    const std::string subject = "xc" + long_run(1u << 18);
    const std::string expected = "c@1 | " + long_run(1u << 18) + "@2";
    std::string outcome;
    std::string afterwards;
    run_on_stack(GetParam(), [&] {
        outcome = recursive_backtracking(deep, regex::global | regex::first_backrefs, subject);
        // The thread and its stack go on working.
        afterwards = regex_test::run("(a|b)+", regex::noflags, regex::mode_recursive, "xab");
    });
    EXPECT_TRUE(outcome == expected) << outcome.substr(0, 40);
    EXPECT_EQ(afterwards, "ab@1 | b@2");
}

TEST_P(StackExhaustion, WithoutGlobalTheDeepMatchIsFound) {
    const std::string subject = long_run(1u << 20);
    std::string lengths;
    run_on_stack(GetParam(), [&] {
        // The back-reference keeps the pattern on the backtracking search.
        const regex::compiled_pattern pattern("()(a|b)*c\\1", regex::noflags,
                                              regex::mode_recursive);
        ASSERT_FALSE(pattern.linear_time());
        regex::match_backrefs results;
        ASSERT_EQ(regex::run_match(pattern, results, subject.data(),
                                   subject.data() + subject.size(), regex::match_limits{}),
                  regex::match_status::found);
        lengths = whole_match_lengths(results);
    });
    EXPECT_EQ(lengths, std::to_string(subject.size()) + " 0 1");
}

INSTANTIATE_TEST_SUITE_P(Threads, StackExhaustion, testing::Values(big_stack, small_stack),
                         [](const auto& info) {
                             return info.param == big_stack ? "Stack8MiB" : "Stack256KiB";
                         });

// A repeated group over 60 KB: every mode finds the value, on a small stack
// too, by the linear-time search and by the backtracking one.
TEST(StackExhaustion, EveryModeFindsWhatOnceRanOutOfStack) {
    std::string subject;
    for (int i = 0; i < 30000; ++i)
        subject += "ac";
    subject += "x";
    std::vector<std::string> found;
    run_on_stack(small_stack, [&] {
        for (auto mode : {regex::mode_recursive, regex::mode_iterative, regex::mode_auto}) {
            const regex::compiled_pattern pattern("^(ac)*(x)", regex::noflags, mode);
            regex::match_backrefs results;
            regex::run_match(pattern, results, subject);
            found.push_back(whole_match_lengths(results));
            found.push_back(regex_test::backtracking(pattern, subject).substr(0, 5));
        }
    });
    const std::vector<std::string> expected = {"60001 2 1", "acaca",     "60001 2 1",
                                               "acaca",     "60001 2 1", "acaca"};
    EXPECT_EQ(found, expected);
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
