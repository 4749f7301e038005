#include "queries/CMetricQuery.h"
#include "tests/support/Metrics.h"

#include "tests/support/ServicePages.h"
#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

namespace {

using Service = ServiceTestBed::Service;
using service_pages::ToGbk;
using Operation = std::size_t;

struct ReplyCase {
    const char* pszName;
    std::string strBody;
    const char* pszValue;
};

// Serves each case's body as the service's reply and reads it with the query.
class ReplyParsingTest : public ::testing::Test {
protected:
    ServiceTestBed m_bed;
    CMetricQuery m_query{m_bed.Hosts()};

    template <std::size_t N>
    void Expect(Service service, Operation operation, const ReplyCase (&cases)[N]) {
        for (const auto& test : cases) {
            m_bed.SetHandler(service, [&](const httplib::Request&, httplib::Response& res) {
                res.set_content(test.strBody, "text/html");
            });
            EXPECT_EQ(Ask(m_query, operation, "x.com"), test.pszValue) << test.pszName;
        }
    }
};

TEST_F(ReplyParsingTest, AlexaTakesTheDigitsOfTheFirstPopularityText) {
    const ReplyCase kCases[] = {
        {"rank", "<SD>\n<POPULARITY URL=\"x.com/\" TEXT=\"12345\" SOURCE=\"panel\"/>\n</SD>",
         "12345"},
        {"lower case", "<popularity url=\"x.com/\" text=\"678\"/>", "678"},
        {"line break in the address", "<POPULARITY URL=\"x.com/\nx\" TEXT=\"90\"/>", "90"},
        {"the first of two",
         "<POPULARITY URL=\"a/\" TEXT=\"11\"/><POPULARITY URL=\"b/\" TEXT=\"22\"/>", "11"},
        {"empty value", "<POPULARITY URL=\"x.com/\" TEXT=\"\"/><SPEED TEXT=\"1421\"/>", ""},
        // Such a match runs on into another element: its digits are no rank.
        {"commas, a later TEXT",
         "<POPULARITY URL=\"x.com/\" TEXT=\"1,234\"/>\n<SPEED TEXT=\"1421\" PCT=\"53\"/>", ""},
        {"sign, a later TEXT", "<POPULARITY URL=\"x.com/\" TEXT=\"-5\"/><SPEED TEXT=\"14\"/>", ""},
        {"blank, nothing later", "<POPULARITY URL=\"x.com/\" TEXT=\" 12\"/>", ""},
        {"no element", "<ALEXA VER=\"0.9\"><SD TITLE=\"A\"/></ALEXA>", ""},
        {"a NUL before the element",
         std::string("<ALEXA>") + '\0' + "<POPULARITY URL=\"x/\" TEXT=\"1\"/>", ""},
    };
    Expect(Service::Alexa, Metric::Alexa, kCases);
}

// The bar of the older layout around a bold count and the words after it.
std::string Bar(const std::string& strAfterNbsp) {
    return "<html><body><div id=ssb><div id=prs><b>Web</b></div><p id=resultStats>&nbsp;" +
           strAfterNbsp + "</p></div><ol><li>x.com</li></ol></body></html>";
}

const std::string kStats = "<div id=resultStats>About 1,230,000 results<nobr> (0.21 seconds)"
                           "&nbsp;</nobr></div>";

TEST_F(ReplyParsingTest, GoogleSiteReadsEitherLayout) {
    const ReplyCase kCases[] = {
        {"statistics element", "<html><body>" + kStats + "<ol><li>1 2 3</li></ol>", "1,230,000"},
        {"upper-case tags", "<DIV ID=RESULTSTATS>About 5 results<NOBR>", "5"},
        {"statistics without <nobr>", "<div id=resultStats>About 5 results</div>", ""},
        {"bar, from", Bar("Results <b>1</b> - <b>10</b> of about <b>2,500</b> from <b>x.com</b>"),
         "2,500"},
        {"bar, for", Bar("Results <b>1</b> - <b>10</b> of about <b>2,600</b> for <b>x.com</b>"),
         "2,600"},
        {"bar, GBK counting word",
         Bar(ToGbk("获得约 <b>777</b> 个结果，以下是第 <b>1</b>-<b>10</b> 个")), "777"},
        {"bar, UTF-8 counting word: the first count before a blank",
         Bar("获得约 <b>778</b> 个结果，以下是第 <b>1</b>-<b>10</b> 个"), "778"},
        {"bar, an unknown word: the first count before a blank",
         Bar("Ergebnisse <b>1</b> - <b>10</b> von <b>3,000</b> aus <b>x.com</b>"), "1"},
        {"bar, upper-case tags",
         "<DIV ID=SSB><DIV ID=PRS>W</DIV><P ID=RESULTSTATS>&NBSP;<B>44</B> FROM x", "44"},
        {"the bar runs to the last statistics paragraph",
         Bar("<b>1</b> from a</p></div><div>b</div><p id=resultStats>&nbsp;<b>2</b> from b"), "2"},
        {"empty bold count, a later statistics element", Bar("<b></b> for <b>x.com</b>") + kStats,
         "1,230,000"},
        {"empty bold count, nothing later", Bar("<b></b> for <b>x.com</b>"), ""},
        {"no digit before <nobr> nor after", "<div id=resultStats>No results<nobr></nobr>", ""},
        {"nothing found", "<p>Your search - <b>site:x.com</b> - did not match any documents.</p>",
         ""},
    };
    Expect(Service::Google, Metric::GSite, kCases);
}

TEST_F(ReplyParsingTest, GoogleLinkDiffersOnlyInTheBarsFirstWord) {
    const ReplyCase kCases[] = {
        {"statistics element", kStats, "1,230,000"},
        {"bar, linking to",
         Bar("Results <b>1</b> - <b>10</b> of about <b>4,321</b> linking to <b>x.com</b>"),
         "4,321"},
        {"bar, for", Bar("Results <b>1</b> - <b>10</b> of about <b>2,600</b> for <b>x.com</b>"),
         "2,600"},
        {"bar, from is not its word: the first count before a blank",
         Bar("Results <b>1</b> - <b>10</b> of about <b>2,500</b> from <b>x.com</b>"), "1"},
    };
    Expect(Service::Google, Metric::GLink, kCases);
}

TEST_F(ReplyParsingTest, BaiduReadsTheGbkCountBeforeItsCountingWord) {
    const std::string strWords = "百度一下，找到相关网页";
    const ReplyCase kCases[] = {
        {"about a count", ToGbk("<td>" + strWords + "约1,230,000篇，用时0.001秒</td>"),
         "1,230,000"},
        {"a plain count", ToGbk(strWords + "12篇"), "12"},
        {"UTF-8 page", "<td>" + strWords + "约1,230,000篇</td>", ""},
        {"another counting word", ToGbk(strWords + "约1,230,000个，共5篇"), ""},
        {"the second place that holds a count", ToGbk(strWords + "约7个 " + strWords + "约8篇"),
         "8"},
        {"no count", ToGbk(strWords + "篇"), ""},
        {"nothing found", ToGbk("抱歉，没有找到与“x.com”相关的网页。"), ""},
    };
    Expect(Service::Baidu, Metric::BSite, kCases);
}

} // namespace
