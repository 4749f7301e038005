#include "queries/CMetricQuery.h"

#include "net/CWebClient.h"
#include "queries/TextHelpers.h"

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

// The reply patterns of these services need the pattern engine; until it is
// in place their replies yield no value, though the requests are sent.
std::string ParseAlexaReply(const std::string&) {
    return {};
}
std::string ParseGoogleSiteReply(const std::string&) {
    return {};
}
std::string ParseGoogleLinkReply(const std::string&) {
    return {};
}
std::string ParseBaiduReply(const std::string&) {
    return {};
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
    return Run(kAlexaRank, strDomain, ParseAlexaReply);
}

std::string CMetricQuery::QueryGoogleSite(std::string strDomain) {
    return Run(kGoogleSite, strDomain, ParseGoogleSiteReply);
}

std::string CMetricQuery::QueryGoogleLink(std::string strDomain) {
    return Run(kGoogleLink, strDomain, ParseGoogleLinkReply);
}

std::string CMetricQuery::QueryGoogleSearch1(std::string strDomain) {
    return Run(kGoogleSearch1, strDomain, ParseGoogleSiteReply);
}

std::string CMetricQuery::QueryGoogleSearch2(std::string strDomain) {
    return Run(kGoogleSearch2, strDomain, ParseGoogleSiteReply);
}

std::string CMetricQuery::QueryBaiduSite(std::string strDomain) {
    return Run(kBaiduSite, strDomain, ParseBaiduReply);
}

std::string CMetricQuery::QueryBaiduLink(std::string strDomain) {
    return Run(kBaiduLink, strDomain, ParseBaiduReply);
}

std::string CMetricQuery::QueryBaiduSearch1(std::string strDomain) {
    return Run(kBaiduSearch1, strDomain, ParseBaiduReply);
}

std::string CMetricQuery::QueryBaiduSearch2(std::string strDomain) {
    return Run(kBaiduSearch2, strDomain, ParseBaiduReply);
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
