#include "core/CMetricTable.h"

#include <algorithm>
#include <numeric>
#include <strings.h>

namespace {

// The result-statistics element of the newer search page layout, and the head
// of the older one, whose bold count is followed by a word.
constexpr std::string_view kGoogleStats = "<div id=resultStats>[^0-9]*([0-9,]*).*?<nobr>";
constexpr std::string_view kGoogleBar =
    "<div id=ssb><div id=prs>.*</div><p id=resultStats>&nbsp;.*?<b>([0-9,]*?)</b>";
// The words after the older layout's count: the query's own word, then "for",
// the counting word in GBK, a bare blank.
constexpr std::string_view kGoogleLaterWords[] = {" for", " \xB8\xF6", " "};

constexpr std::size_t GooglePatternLength(std::string_view strWord) {
    std::size_t nLength = kGoogleStats.size() + 4 * (1 + kGoogleBar.size()) + strWord.size();
    for (std::string_view strLater : kGoogleLaterWords) {
        nLength += strLater.size();
    }
    return nLength;
}
static_assert(GooglePatternLength(" from") == 366 && GooglePatternLength(" linking to") == 372);

std::string GooglePattern(std::string_view strWord) {
    std::string strPattern(kGoogleStats);
    strPattern.reserve(GooglePatternLength(strWord));
    auto addBar = [&](std::string_view strAfter) {
        strPattern.append("|").append(kGoogleBar).append(strAfter);
    };
    addBar(strWord);
    for (std::string_view strLater : kGoogleLaterWords) {
        addBar(strLater);
    }
    return strPattern;
}

// The result page's own words in GBK ("Baidu it, found related web pages"),
// the skipped non-digits and the count, then the GBK counting word for
// documents.
constexpr std::string_view kBaiduPattern =
    "\xB0\xD9\xB6\xC8\xD2\xBB\xCF\xC2\xA3\xAC\xD5\xD2\xB5\xBD\xCF\xE0\xB9\xD8\xCD\xF8\xD2\xB3"
    "[^0-9]*([0-9,]*?)"
    "\xC6\xAA";
static_assert(kBaiduPattern.size() == 41);

constexpr const char* kToolbarHost = "http://toolbarqueries.google.com";
constexpr const char* kTrafficHost = "http://data.alexa.com";
constexpr const char* kSearchHost = "http://www.google.com";
constexpr const char* kChineseSearchHost = "http://www.baidu.com";

// What a service's "nothing found" and block pages look like: one row per
// service. Every service's pages are also taken for a block when they say
// they detected unusual traffic or ask for a security check (in English, or
// in Chinese in UTF-8 or GBK).
struct SServiceRules {
    const char* pszNonePattern;
    bool bNoneWhenEmpty;
    std::vector<std::string> arrBlockHosts;
    std::vector<std::string> arrBlockPaths;
};

constexpr const char* kBlockPattern =
    R"(detected unusual traffic|security check|\xE5\xAE\x89\xE5\x85\xA8\xE9\xAA\x8C\xE8\xAF\x81|)"
    R"(\xB0\xB2\xC8\xAB\xD1\xE9\xD6\xA4)";

// An empty toolbar reply: no rank for the domain.
const SServiceRules kToolbarRules = {"", true, {}, {"/sorry/"}};
// A traffic-rank reply without a POPULARITY element.
const SServiceRules kTrafficRules = {R"(^(?!.*?<POPULARITY).*?<ALEXA)", false, {}, {}};
const SServiceRules kSearchRules = {
    "did not match any documents", false, {"consent.google.com"}, {"/sorry/"}};
// "Sorry, nothing found" in GBK or UTF-8.
const SServiceRules kChineseSearchRules = {
    R"(\xB1\xA7\xC7\xB8\xA3\xAC\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD|)"
    R"(\xE6\x8A\xB1\xE6\xAD\x89\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89\xE6\x89\xBE\xE5\x88\xB0)",
    false,
    {"wappass.baidu.com"},
    {}};

SQuerySpec WithRules(SQuerySpec query, const SServiceRules& rules) {
    query.strNonePattern = rules.pszNonePattern;
    query.bNoneWhenEmpty = rules.bNoneWhenEmpty;
    query.arrBlockHosts = rules.arrBlockHosts;
    query.arrBlockPaths = rules.arrBlockPaths;
    query.strBlockPattern = kBlockPattern;
    return query;
}

// A result count of one of the two web searches.
SQuerySpec CountQuery(const char* pszHost, std::string_view strPath, std::string strPattern,
                      bool bLaterMatches) {
    SQuerySpec query;
    query.strUrl = std::string(pszHost) + std::string(strPath) + "&timestamp={token}";
    query.strPattern = std::move(strPattern);
    query.bLaterMatches = bLaterMatches;
    return query;
}

SQuerySpec GoogleQuery(std::string_view strPath, std::string_view strWord) {
    return WithRules(CountQuery(kSearchHost, strPath, GooglePattern(strWord), true), kSearchRules);
}

SQuerySpec BaiduQuery(std::string_view strPath) {
    return WithRules(CountQuery(kChineseSearchHost, strPath, std::string(kBaiduPattern), false),
                     kChineseSearchRules);
}

SQuerySpec ToolbarQuery() {
    SQuerySpec query;
    query.strUrl = std::string(kToolbarHost) +
                   "/search?client=navclient-auto&ch=6{checksum}&ie=UTF-8&oe=UTF-8"
                   "&features=Rank&q=info:{domain_url}&timestamp={token}";
    query.strChecksumText = "info:{domain}";
    query.parser = EReplyParser::Toolbar;
    return WithRules(query, kToolbarRules);
}

SQuerySpec TrafficRankQuery() {
    SQuerySpec query;
    query.strUrl = std::string(kTrafficHost) +
                   "/data/+kR702tm5193bZ?cli=10&dat=snba&ver=7.0&cdt=alx_vw=20&wid=12206"
                   "&act=00000000000&ss=1680x1050&bw=964&t=0&ttl=35371&vis=1&rq=4&url={domain}";
    query.strPattern = "<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"";
    query.chElementEnd = '>';
    return WithRules(query, kTrafficRules);
}

struct SColumn {
    const char* pszId;
    int nHeaderStringId;
    int nWidth;
    int nControlId;
    int nQueryPlace;
    int nExportPlace;
};

SMetric MakeMetric(const SColumn& column, SQuerySpec query, ESortKey sortKey) {
    SMetric metric;
    metric.strId = column.pszId;
    metric.nHeaderStringId = column.nHeaderStringId;
    metric.nColumnWidth = column.nWidth;
    metric.nControlId = column.nControlId;
    metric.nQueryPlace = column.nQueryPlace;
    metric.nExportPlace = column.nExportPlace;
    metric.query = std::move(query);
    metric.sortKey = sortKey;
    return metric;
}

std::vector<SMetric> BuiltInMetrics() {
    std::vector<SMetric> metrics = {
        MakeMetric({"PR", 106, 50, 1018, 1, 0}, ToolbarQuery(), ESortKey::PageRank),
        MakeMetric({"Alexa", 117, 80, 1019, 0, 7}, TrafficRankQuery(), ESortKey::Number),
        MakeMetric({"GSite", 107, 90, 1014, 5, 1},
                   GoogleQuery("/search?q=site%3A{domain}", " from"), ESortKey::Count),
        MakeMetric({"GLink", 118, 60, 1025, 3, -1},
                   GoogleQuery("/search?q=link%3A{domain}", " linking to"), ESortKey::Count),
        MakeMetric({"GSearch1", 108, 85, 1020, 8, 2}, GoogleQuery("/search?q={domain}", " from"),
                   ESortKey::Count),
        MakeMetric({"GSearch2", 109, 85, 1021, 9, 3},
                   GoogleQuery("/search?q={domain}&filter=0", " from"), ESortKey::Count),
        MakeMetric({"BSite", 110, 90, 1015, 2, 4}, BaiduQuery("/s?wd=site%3A{domain}"),
                   ESortKey::Count),
        MakeMetric({"BLink", 119, 60, 1026, 4, -1}, BaiduQuery("/s?wd=Link%3A{domain}"),
                   ESortKey::Count),
        MakeMetric({"BSearch1", 111, 85, 1022, 6, 5}, BaiduQuery("/s?wd=%22{domain}%22"),
                   ESortKey::Count),
        MakeMetric({"BSearch2", 112, 85, 1023, 7, 6}, BaiduQuery("/s?wd=%22{domain}%22&cl=0"),
                   ESortKey::Count),
    };
    // PageRank, the traffic rank and the two site counts are ticked at start;
    // PageRank is always asked, its bare number leads the export, and the
    // traffic rank sorts smallest first.
    for (std::size_t nMetric : {0, 1, 2, 6}) {
        metrics[nMetric].bDefault = true;
    }
    metrics[0].bAlwaysAsked = true;
    metrics[0].bQuoted = false;
    metrics[1].bAscending = true;
    return metrics;
}

// The metric indexes ordered by a place; those with a negative place left out.
std::vector<std::size_t> OrderBy(int SMetric::*pPlace) {
    const std::vector<SMetric>& metrics = CMetricTable::Metrics();
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < metrics.size(); ++i) {
        if (metrics[i].*pPlace >= 0) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return metrics[a].*pPlace < metrics[b].*pPlace;
    });
    return order;
}

} // namespace

const std::vector<SMetric>& CMetricTable::Metrics() {
    static const std::vector<SMetric> metrics = BuiltInMetrics();
    return metrics;
}

std::optional<std::size_t> CMetricTable::Find(std::string_view strId) {
    const std::vector<SMetric>& metrics = Metrics();
    for (std::size_t i = 0; i < metrics.size(); ++i) {
        const std::string& strName = metrics[i].strId;
        if (strName.size() == strId.size() &&
            strncasecmp(strName.data(), strId.data(), strId.size()) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t CMetricTable::PageRankMetric() {
    static const std::size_t nMetric = [] {
        const std::vector<SMetric>& metrics = Metrics();
        const auto it = std::find_if(metrics.begin(), metrics.end(),
                                     [](const SMetric& m) { return m.bAlwaysAsked; });
        return static_cast<std::size_t>(it - metrics.begin());
    }();
    return nMetric;
}

const std::vector<std::size_t>& CMetricTable::QueryOrder() {
    static const std::vector<std::size_t> order = OrderBy(&SMetric::nQueryPlace);
    return order;
}

const std::vector<std::size_t>& CMetricTable::ExportOrder() {
    static const std::vector<std::size_t> order = OrderBy(&SMetric::nExportPlace);
    return order;
}
