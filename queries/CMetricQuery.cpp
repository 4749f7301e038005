#include "queries/CMetricQuery.h"

#include "net/CWebClient.h"
#include "queries/TextHelpers.h"
#include "regex/regex.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view kPageRankPrefix = "info:";

// A toolbar reply reads "Rank_1:1:7\n": the value follows the last colon.
// Anything not starting with "Rank" (an error page, say) holds no value.
std::string ParsePageRankReply(const std::string& strReply) {
    if (!strReply.starts_with("Rank")) {
        return {};
    }
    const std::size_t nColon = strReply.rfind(':');
    const std::size_t nStart = nColon == std::string::npos ? 0 : nColon + 1;
    return ReplaceAll(std::string_view(strReply).substr(nStart), "\n", "");
}

// Every reply pattern is compiled case-insensitive, global, with "." taking
// line breaks, and keeps the groups of every match in order.
constexpr std::uint32_t kReplyFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

// How a value is read out of a reply: the pattern and the group rule. The
// value is the first non-empty group of the first match.
struct SReplyRule {
    std::string (*makePattern)();
    // When the first match's groups are all empty, take the first count text
    // among the entries of the later matches.
    bool bLaterMatches;
    // A first match holding this byte has run past the element it started
    // in, so its group belongs to another element: no value ('\0': no bound).
    char chElementEnd;
};

std::string AlexaPattern() {
    return "<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"";
}

// The result-statistics element of the newer page layout, and the head of the
// older one, whose bold count is followed by a word.
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

std::string GoogleSitePattern() {
    return GooglePattern(" from");
}

std::string GoogleLinkPattern() {
    return GooglePattern(" linking to");
}

// The result page's own words in GBK ("Baidu it, found related web pages"),
// the skipped non-digits and the count, then the GBK counting word for
// documents.
constexpr std::string_view kBaiduPattern =
    "\xB0\xD9\xB6\xC8\xD2\xBB\xCF\xC2\xA3\xAC\xD5\xD2\xB5\xBD\xCF\xE0\xB9\xD8\xCD\xF8\xD2\xB3"
    "[^0-9]*([0-9,]*?)"
    "\xC6\xAA";
static_assert(kBaiduPattern.size() == 41);

std::string BaiduPattern() {
    return std::string(kBaiduPattern);
}

constexpr SReplyRule kAlexaReply = {AlexaPattern, false, '>'};
constexpr SReplyRule kGoogleSiteReply = {GoogleSitePattern, true, '\0'};
constexpr SReplyRule kGoogleLinkReply = {GoogleLinkPattern, true, '\0'};
constexpr SReplyRule kBaiduReply = {BaiduPattern, false, '\0'};

// Digits and thousands commas, at least one digit.
bool IsCountText(std::string_view strText) {
    return strText.find_first_not_of("0123456789,") == std::string_view::npos &&
           strText.find_first_of("0123456789") != std::string_view::npos;
}

std::string ReadValue(const regex::match_backrefs& results, std::size_t nEntriesPerMatch,
                      const SReplyRule& rule) {
    if (rule.chElementEnd != '\0' &&
        results.group(0).view().find(rule.chElementEnd) != std::string_view::npos) {
        return {};
    }
    for (std::size_t i = 1; i < nEntriesPerMatch; ++i) {
        if (results.group(i).length() > 0) {
            return results.group(i).text();
        }
    }
    if (rule.bLaterMatches) {
        for (std::size_t i = nEntriesPerMatch; i < results.group_count(); ++i) {
            if (IsCountText(results.group(i).view())) {
                return results.group(i).text();
            }
        }
    }
    return {};
}

template <const SReplyRule& kRule> std::string ParseReply(const std::string& strReply) {
    // Compiled once per thread: a compiled pattern serves one thread at a time.
    thread_local const regex::compiled_pattern pattern(kRule.makePattern(), kReplyFlags,
                                                       regex::mode_recursive);
    regex::match_backrefs results;
    if (!regex::run_match(pattern, results, strReply.data(), strReply.data() + strReply.size())) {
        return {};
    }
    return ReadValue(results, pattern.group_count(), kRule);
}

} // namespace

const CMetricQuery::SRequest CMetricQuery::kAlexaRank = {
    &CServiceHosts::strAlexa,
    "/data/+kR702tm5193bZ?cli=10&dat=snba&ver=7.0&cdt=alx_vw=20&wid=12206&act=00000000000"
    "&ss=1680x1050&bw=964&t=0&ttl=35371&vis=1&rq=4&url=",
    "", false};
const CMetricQuery::SRequest CMetricQuery::kGoogleSite = {&CServiceHosts::strGoogle,
                                                          "/search?q=site%3A", "", true};
const CMetricQuery::SRequest CMetricQuery::kGoogleLink = {&CServiceHosts::strGoogle,
                                                          "/search?q=link%3A", "", true};
const CMetricQuery::SRequest CMetricQuery::kGoogleSearch1 = {&CServiceHosts::strGoogle,
                                                             "/search?q=", "", true};
const CMetricQuery::SRequest CMetricQuery::kGoogleSearch2 = {&CServiceHosts::strGoogle,
                                                             "/search?q=", "&filter=0", true};
const CMetricQuery::SRequest CMetricQuery::kBaiduSite = {&CServiceHosts::strBaidu, "/s?wd=site%3A",
                                                         "", true};
const CMetricQuery::SRequest CMetricQuery::kBaiduLink = {&CServiceHosts::strBaidu, "/s?wd=Link%3A",
                                                         "", true};
const CMetricQuery::SRequest CMetricQuery::kBaiduSearch1 = {&CServiceHosts::strBaidu, "/s?wd=%22",
                                                            "%22", true};
const CMetricQuery::SRequest CMetricQuery::kBaiduSearch2 = {&CServiceHosts::strBaidu, "/s?wd=%22",
                                                            "%22&cl=0", true};

CMetricQuery::CMetricQuery(CServiceHosts hosts, const std::atomic<bool>* pCancel)
    : m_hosts(std::move(hosts)), m_pCancel(pCancel) {}

CMetricQuery::~CMetricQuery() = default;

std::string CMetricQuery::QueryPageRank(std::string strDomain) {
    return Run([&] { return PageRankUrl(strDomain); }, ParsePageRankReply);
}

std::string CMetricQuery::QueryAlexaRank(std::string strDomain) {
    return Run(kAlexaRank, strDomain, ParseReply<kAlexaReply>);
}

std::string CMetricQuery::QueryGoogleSite(std::string strDomain) {
    return Run(kGoogleSite, strDomain, ParseReply<kGoogleSiteReply>);
}

std::string CMetricQuery::QueryGoogleLink(std::string strDomain) {
    return Run(kGoogleLink, strDomain, ParseReply<kGoogleLinkReply>);
}

std::string CMetricQuery::QueryGoogleSearch1(std::string strDomain) {
    return Run(kGoogleSearch1, strDomain, ParseReply<kGoogleSiteReply>);
}

std::string CMetricQuery::QueryGoogleSearch2(std::string strDomain) {
    return Run(kGoogleSearch2, strDomain, ParseReply<kGoogleSiteReply>);
}

std::string CMetricQuery::QueryBaiduSite(std::string strDomain) {
    return Run(kBaiduSite, strDomain, ParseReply<kBaiduReply>);
}

std::string CMetricQuery::QueryBaiduLink(std::string strDomain) {
    return Run(kBaiduLink, strDomain, ParseReply<kBaiduReply>);
}

std::string CMetricQuery::QueryBaiduSearch1(std::string strDomain) {
    return Run(kBaiduSearch1, strDomain, ParseReply<kBaiduReply>);
}

std::string CMetricQuery::QueryBaiduSearch2(std::string strDomain) {
    return Run(kBaiduSearch2, strDomain, ParseReply<kBaiduReply>);
}

std::string CMetricQuery::Run(const std::function<std::string()>& makeUrl,
                              ReplyParser parse) const {
    try {
        const std::string strReply = FetchText(makeUrl());
        return strReply.empty() ? std::string() : parse(strReply);
    } catch (...) {
        // A query's only failure value is the empty text.
        return {};
    }
}

std::string CMetricQuery::Run(const SRequest& request, const std::string& strDomain,
                              ReplyParser parse) const {
    return Run([&] { return RequestUrl(request, strDomain); }, parse);
}

std::string CMetricQuery::FetchText(const std::string& strUrl) const {
    CWebClient client(m_pCancel);
    const char* pszBody = client.Fetch(strUrl.c_str());
    if (pszBody == nullptr) {
        return {};
    }
    // Replies are text: a NUL byte inside ends them.
    const std::string_view body(pszBody, static_cast<std::size_t>(client.GetBodyLength()));
    return std::string(body.substr(0, body.find('\0')));
}

std::string CMetricQuery::RequestUrl(const SRequest& request, const std::string& strDomain) const {
    std::string strUrl = "http://" + m_hosts.*request.pHost + request.pszBeforeDomain + strDomain +
                         request.pszAfterDomain;
    if (request.bTimestamp) {
        strUrl += "&timestamp=" + MakeTimestampToken();
    }
    return strUrl;
}

std::string CMetricQuery::PageRankUrl(const std::string& strDomain) {
    const std::string strHashed = std::string(kPageRankPrefix) + strDomain;

    // The previous query's buffers go before the new ones are made.
    m_pMixState.reset();
    m_pValues.reset();
    m_pMixState = std::make_unique<MixWords>();
    m_pValues = std::make_unique<std::int32_t[]>(strHashed.size());
    const std::span<std::int32_t> values(m_pValues.get(), strHashed.size());
    ToSignedValues(strHashed, values);
    const std::uint32_t nChecksum = ToolbarChecksum(values, *m_pMixState);

    return "http://" + m_hosts.strPageRank + "/search?client=navclient-auto&ch=6" +
           std::to_string(nChecksum) +
           "&ie=UTF-8&oe=UTF-8&features=Rank&q=" + std::string(kPageRankPrefix) +
           UrlEncode(strDomain) + "&timestamp=" + MakeTimestampToken();
}
