// The system's own five patterns, compiled as their callers compile them
// (flags 0x8B), on subjects shaped like the real ones: result pages of a few
// hundred kilobytes (the Baidu one and parts of the Google ones in GBK), the
// traffic service's reply, an imported list with mixed line ends, typed names.
#include "regex/detail/program.h"
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t sys = 0x8B;

// ---- patterns, byte for byte as the callers build them

std::string google_pattern(const std::string& firstWord) {
    const std::string head =
        "<div id=ssb><div id=prs>.*</div><p id=resultStats>&nbsp;.*?<b>([0-9,]*?)</b>";
    return "<div id=resultStats>[^0-9]*([0-9,]*).*?<nobr>|" + head + firstWord + "|" + head +
           " for|" + head + " \xb8\xf6|" + head + " ";
}

const std::string google_site = google_pattern(" from");
const std::string google_link = google_pattern(" linking to");
const std::string baidu_words = "\xb0\xd9\xb6\xc8\xd2\xbb\xcf\xc2\xa3\xac\xd5\xd2\xb5\xbd\xcf\xe0"
                                "\xb9\xd8\xcd\xf8\xd2\xb3";
const std::string baidu_pages = "\xc6\xaa"; // the counting word for documents
const std::string baidu = baidu_words + "[^0-9]*([0-9,]*?)" + baidu_pages;
const std::string alexa = "<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"";
const std::string line = "([^\r\n]*?)[\r\n]+";
const std::string entry = "^([0-9a-zA-Z\\.-]+)$";

// ---- subjects

// Filler that looks like a result list: tags, attributes, words, digits,
// GBK text, every few hundred bytes a "<div" and a "<b>".
std::string result_items(std::size_t size, unsigned seed, bool gbk) {
    std::mt19937 random(seed);
    const char* words[] = {"domain", "web", "search", "example", "news", "id", "div", "nobr"};
    std::string out;
    for (int n = 1; out.size() < size; ++n) {
        out += "<li class=g><h3 class=r><a href=\"http://www.";
        out += words[random() % 8];
        out += std::to_string(random() % 1000) + ".com/\">";
        for (int w = 0; w < 30; ++w) {
            out += words[random() % 8];
            out += w % 7 == 0 ? " <b>" + std::to_string(random() % 100) + "</b> " : " ";
        }
        if (gbk)
            for (int c = 0; c < 40; ++c) {
                out += static_cast<char>(0xb0 + random() % 0x27);
                out += static_cast<char>(0xa1 + random() % 0x5d);
            }
        out += "</a></h3><div class=s>cached - " + std::to_string(n) + "</div></li>\n";
    }
    return out;
}

std::string page(const std::string& statistics, std::size_t size = 300 << 10, bool gbk = false) {
    return "<html><head><title>site:example.com</title></head><body>\n" +
           result_items(size / 10, 1, gbk) + statistics + result_items(size, 2, gbk) +
           "</body></html>";
}

std::string second_layout(const std::string& afterCount) {
    return "<div id=ssb><div id=prs><b>Web</b></div><p id=resultStats>&nbsp;Results <b>1</b> "
           "- <b>10</b> of about <b>1,230,000</b>" +
           afterCount + " <b>example.com</b>. (<b>0.21</b> seconds)&nbsp;</p></div>\n";
}

// What a count query reads: the first non-empty group of the first match.
std::string count_of(const std::string& pattern, const std::string& body, regex::match_mode mode) {
    const regex::compiled_pattern compiled(pattern, sys, mode);
    regex::match_backrefs results;
    if (!compiled.match(body.data(), body.data() + body.size(), results).matched)
        return "";
    for (std::size_t i = 1; i < compiled.group_count(); ++i)
        if (!results.group(i).text().empty())
            return results.group(i).text();
    return "";
}

// The list and entry patterns are decided byte by byte; matching them
// must never fall back to backtracking.
TEST(SystemPatternTexts, LineAndEntryRunWithoutBacktracking) {
    for (const std::string& pattern : {line, entry})
        EXPECT_FALSE(regex::compiled_pattern(pattern, sys).program().linear.empty()) << pattern;
    EXPECT_TRUE(regex::compiled_pattern(google_site, sys).program().linear.empty());
}

TEST(SystemPatternTexts, HaveTheirDesignedLengths) {
    EXPECT_EQ(google_site.size(), 366u);
    EXPECT_EQ(google_link.size(), 372u);
    EXPECT_EQ(baidu.size(), 41u);
    EXPECT_EQ(alexa.size(), 36u);
}

class SystemPatterns : public testing::TestWithParam<regex::match_mode> {};

TEST_P(SystemPatterns, GoogleCountsFromEveryLayout) {
    const struct {
        std::string pattern;
        std::string statistics;
        std::string count;
    } rows[] = {
        {google_site,
         "<div id=resultStats>About 1,230,000 results<nobr>  (0.21 seconds)</nobr></div>\n",
         "1,230,000"},
        {google_site, "<DIV ID=resultStats>About 5,000 results<NOBR> </NOBR></DIV>\n", "5,000"},
        {google_site, second_layout(" from"), "1,230,000"},
        {google_site, second_layout(" for"), "1,230,000"},
        {google_site, second_layout(" \xb8\xf6"), "1,230,000"},
        {google_link, second_layout(" linking to"), "1,230,000"},
        {google_link, second_layout(" from"), "1"}, // only the blank follows: the first bold number
        {google_site, "<p>Your search did not match any documents.</p>", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.statistics);
        EXPECT_EQ(count_of(row.pattern, page(row.statistics), GetParam()), row.count);
    }
}

TEST_P(SystemPatterns, GoogleSecondLayoutOnAGbkPage) {
    const std::string body = page(second_layout(" \xb8\xf6"), 300 << 10, true);
    EXPECT_EQ(count_of(google_site, body, GetParam()), "1,230,000");
}

TEST_P(SystemPatterns, BaiduCountFromAGbkPage) {
    const std::string about = "\xd4\xbc";
    const std::string statistics = "<td nowrap>" + baidu_words + about + "1,230,000" + baidu_pages +
                                   "\xa3\xac\xd3\xc3\xca\xb1 0.021</td>\n";
    EXPECT_EQ(count_of(baidu, page(statistics, 300 << 10, true), GetParam()), "1,230,000");
    // The same words in UTF-8 do not hold the GBK bytes.
    const std::string utf8 = "<td>\xe7\x99\xbe\xe5\xba\xa6\xe4\xb8\x80\xe4\xb8\x8b\xef\xbc\x8c"
                             "\xe6\x89\xbe\xe5\x88\xb0\xe7\x9b\xb8\xe5\x85\xb3\xe7\xbd\x91\xe9"
                             "\xa1\xb5\xe7\xba\xa6"
                             "1,230,000\xe7\xaf\x87</td>";
    EXPECT_EQ(count_of(baidu, page(utf8, 300 << 10, true), GetParam()), "");
    // A count followed by another word does not match there.
    const std::string other = baidu_words + about + "1,230,000\xb8\xf6";
    EXPECT_EQ(count_of(baidu, page(other, 300 << 10, true), GetParam()), "");
}

TEST_P(SystemPatterns, AlexaRankFromTheReply) {
    const std::string reply =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ALEXA VER=\"0.9\" URL=\"example.com/\">\n"
        "<SD TITLE=\"A\" FLAGS=\"\" HOST=\"example.com\">\n<TITLE TEXT=\"Example Domain\"/>\n"
        "<LINKSIN NUM=\"2145\"/>\n<SPEED TEXT=\"1172\" PCT=\"45\"/>\n</SD>\n<SD>\n"
        "<POPULARITY URL=\"example.com/\" TEXT=\"12345\" SOURCE=\"panel\"/>\n"
        "<REACH RANK=\"11234\"/>\n</SD>\n</ALEXA>";
    EXPECT_EQ(count_of(alexa, reply, GetParam()), "12345");
    EXPECT_EQ(count_of(alexa, "<popularity url=\"a\r\nb/\" text=\"77\"/>", GetParam()), "77");
    EXPECT_EQ(count_of(alexa, "<POPULARITY URL=\"a/\" TEXT=\"n/a\"/>", GetParam()), "");
}

TEST_P(SystemPatterns, ImportSplitsMixedLineEnds) {
    std::mt19937 random(7);
    const char* ends[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\n\n"};
    std::string list;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string name = "host" + std::to_string(random() % 100000) + ".example.com";
        if (i % 97 == 0)
            name = "  spaced name\t"; // the split keeps what stands on the line
        list += name + ends[random() % 5];
        expected.push_back(name);
    }
    list += "unterminated.example.com"; // a last line without a break is not matched

    const regex::compiled_pattern compiled(line, sys, GetParam());
    regex::match_backrefs results;
    ASSERT_TRUE(regex::run_match(compiled, results, list.data(), list.data() + list.size()));
    std::vector<std::string> names;
    for (std::size_t k = 1; k < results.group_count(); k += 2)
        names.push_back(results.group(k).text());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(results.group_count(), 2 * expected.size());
}

TEST_P(SystemPatterns, EntryAcceptsOnlyWholeNames) {
    const struct {
        std::string text;
        bool accepted;
    } rows[] = {
        {"example.com", true},
        {"WWW.Example-1.CO.UK", true},
        {"a", true},
        {"-.-", true},
        {"", false},
        {"exa mple.com", false},
        {" example.com", false},
        {"example.com/", false},
        {"ex_ample.com", false},
        {"b\xfc\x63her.de", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const regex::compiled_pattern compiled(entry, sys, GetParam());
        regex::match_backrefs results;
        const bool found = regex::run_match(compiled, results, row.text);
        EXPECT_EQ(found, row.accepted);
        const regex::backref_tag& whole = found ? results.group(0) : regex::null_backref;
        EXPECT_EQ(whole.matched, row.accepted);
        if (row.accepted) {
            EXPECT_EQ(results.group(1).text(), row.text);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothMatchers, SystemPatterns, testing::ValuesIn(regex_test::both_modes),
                         [](const auto& info) { return regex_test::mode_name(info.param); });

} // namespace
