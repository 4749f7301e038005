#include "core/DomainValidation.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

struct SEntryCase {
    std::string strText;
    bool bAccepted;
};

class DomainValidationTest : public testing::TestWithParam<SEntryCase> {};

TEST_P(DomainValidationTest, AcceptsOnlyLettersDigitsDotsAndHyphens) {
    EXPECT_EQ(IsValidDomain(GetParam().strText), GetParam().bAccepted);
}

INSTANTIATE_TEST_SUITE_P(Names, DomainValidationTest,
                         testing::Values(
                             // Accepted unchanged, case and a www label included.
                             SEntryCase{"example.com", true}, SEntryCase{"www.example.com", true},
                             SEntryCase{"EXAMPLE.COM", true}, SEntryCase{"123.45.67.89", true},
                             SEntryCase{"a-b.example", true}, SEntryCase{"x", true},
                             // No structure check: dots and hyphens alone pass.
                             SEntryCase{".", true}, SEntryCase{"..", true}, SEntryCase{"-", true},
                             SEntryCase{std::string(5000, 'a'), true},
                             // Refused: addresses, ports, blanks, other bytes.
                             SEntryCase{"", false}, SEntryCase{"http://example.com/", false},
                             SEntryCase{"example.com:80", false}, SEntryCase{" example.com", false},
                             SEntryCase{"example.com ", false}, SEntryCase{"example.com\t", false},
                             SEntryCase{"ex_ample.com", false},
                             SEntryCase{"b\xC3\xBC"
                                        "cher.example",
                                        false},
                             SEntryCase{"\xEF\xBB\xBF"
                                        "example.com",
                                        false},
                             SEntryCase{"a\0b"s, false}, SEntryCase{"a\0"s, false},
                             SEntryCase{"example.com\r", false},
                             // "$" matches before a final line feed, but such a text is no name.
                             SEntryCase{"example.com\n", false}, SEntryCase{"\n", false},
                             SEntryCase{"a.com\nb.com", false}));

TEST(DomainValidationThreads, GivesTheSameAnswersOnSeveralThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                const bool bGood = IsValidDomain("host" + std::to_string(i) + ".example");
                const bool bBad = IsValidDomain("host " + std::to_string(i));
                failures[t] += (bGood && !bBad) ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
