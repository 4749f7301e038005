#include "lists/CListParser.h"
#include "lists/ListNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SParsed {
    std::vector<std::string> rows; // "name=value|value"
    std::size_t nBroken = 0;
    std::string strError;
};

// Feeds the text in pieces of nPiece bytes, so that lines and marks split
// across pieces are read as whole.
SParsed Parse(const SListDefinition& definition, const std::string& strText,
              std::size_t nPiece = 3) {
    SParsed parsed;
    CListParser parser(definition,
                       [&](std::string_view strName, const std::vector<std::string_view>& values) {
                           std::string strRow = std::string(strName) + "=";
                           for (std::size_t i = 0; i < values.size(); ++i) {
                               strRow += (i > 0 ? "|" : "") + std::string(values[i]);
                           }
                           parsed.rows.push_back(strRow);
                           return true;
                       });
    bool bGoing = true;
    for (std::size_t i = 0; bGoing && i < strText.size(); i += nPiece) {
        bGoing = parser.Feed(std::string_view(strText).substr(i, nPiece));
    }
    if (bGoing) {
        parser.Finish();
    }
    parsed.nBroken = parser.BrokenLines();
    parsed.strError = parser.Error();
    return parsed;
}

SListDefinition RankShape() {
    SListDefinition definition;
    definition.nameColumn = {2, {}};
    definition.valueColumns = {{1, {}}};
    return definition;
}

TEST(ListParser, RankListWithCrlfMarkAndNoFinalLineEnd) {
    const SParsed parsed =
        Parse(RankShape(), "\xEF\xBB\xBF"
                           "1,Google.com\r\n2,www.Example.co.uk.\r\n\r\n3,a.org");
    EXPECT_EQ(parsed.rows,
              (std::vector<std::string>{"google.com=1", "www.example.co.uk=2", "a.org=3"}));
    EXPECT_EQ(parsed.nBroken, 0u);
}

TEST(ListParser, HeaderNamesTheColumns) {
    SListDefinition definition;
    definition.bHeader = true;
    definition.nameColumn = {0, "Domain"};
    definition.valueColumns = {{0, "GlobalRank"}, {0, "RefSubNets"}};
    definition.names = EListNames::Host;
    const SParsed parsed = Parse(definition, "GlobalRank,TldRank,Domain,TLD,RefSubNets\n"
                                             "1,1,google.com,com,300\n"
                                             "2,1,\"blog.example.de\",de,200\n");
    EXPECT_EQ(parsed.rows, (std::vector<std::string>{"google.com=1|300", "blog.example.de=2|200"}));
}

TEST(ListParser, MissingHeaderColumnIsAnError) {
    SListDefinition definition;
    definition.bHeader = true;
    definition.nameColumn = {0, "origin"};
    definition.valueColumns = {{0, "rank"}};
    const SParsed parsed = Parse(definition, "site,rank\nhttps://a.com,1000\n");
    EXPECT_EQ(parsed.strError, "the list has no column 'origin'");
    EXPECT_TRUE(parsed.rows.empty());
}

TEST(ListParser, CommentsAndTabsAndReversedNames) {
    SListDefinition definition;
    definition.bComments = true;
    definition.chSeparator = '\t';
    definition.nameColumn = {5, {}};
    definition.valueColumns = {{3, {}}};
    definition.names = EListNames::Reversed;
    const SParsed parsed =
        Parse(definition, "#hc_pos\t#hc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n"
                          "1\t3.2e7\t4\t0.01\tcom.example\t120\n"
                          "2\t3.1e7\t1\t0.02\tuk.co.bbc\t80\n");
    EXPECT_EQ(parsed.rows, (std::vector<std::string>{"example.com=4", "bbc.co.uk=1"}));
}

TEST(ListParser, BrokenLinesAreCountedNotRead) {
    std::string strText = "1,a.com\n2\n3,\n,b.com\n4,has space.com\n5,c.com\n";
    strText += std::string(CListParser::kLongestLine + 10, 'x') + "\n6,d.com\n";
    const SParsed parsed = Parse(RankShape(), strText, 4096);
    EXPECT_EQ(parsed.rows, (std::vector<std::string>{"a.com=1", "c.com=5", "d.com=6"}));
    EXPECT_EQ(parsed.nBroken, 5u);
}

TEST(ListParser, OriginsAreKeptAsSchemeAndHost) {
    SListDefinition definition;
    definition.bHeader = true;
    definition.nameColumn = {0, "origin"};
    definition.valueColumns = {{0, "rank"}};
    definition.names = EListNames::Origin;
    const SParsed parsed = Parse(definition, "origin,rank\nhttps://WWW.Example.com/,1000\n"
                                             "http://example.com,5000\nftp://x.com,1000\n");
    EXPECT_EQ(parsed.rows, (std::vector<std::string>{"https://www.example.com=1000",
                                                     "http://example.com=5000"}));
    EXPECT_EQ(parsed.nBroken, 1u);
}

struct SLookupCase {
    const char* pszDomain;
    EListLookup lookup;
    std::vector<std::string> names;
};

TEST(ListNames, LookupNamesByForm) {
    const SLookupCase cases[] = {
        {"www.example.co.uk", EListLookup::Registrable, {"example.co.uk"}},
        {"Example.COM.", EListLookup::Registrable, {"example.com"}},
        {"http://a.b.example.com:8080/path", EListLookup::Registrable, {"example.com"}},
        {"co.uk", EListLookup::Registrable, {}},
        {"blog.example.co.uk", EListLookup::Host, {"blog.example.co.uk", "example.co.uk"}},
        {"example.com", EListLookup::Host, {"example.com"}},
        {"www.example.com",
         EListLookup::Origin,
         {"https://example.com", "https://www.example.com", "http://example.com",
          "http://www.example.com"}},
        {"shop.example.co.uk",
         EListLookup::Origin,
         {"https://shop.example.co.uk", "https://www.shop.example.co.uk",
          "http://shop.example.co.uk", "http://www.shop.example.co.uk"}},
        {"", EListLookup::Host, {}},
    };
    for (const SLookupCase& test : cases) {
        EXPECT_EQ(LookupNames(test.pszDomain, test.lookup), test.names) << test.pszDomain;
    }
}

} // namespace
