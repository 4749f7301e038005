#pragma once

#include <string>
#include <string_view>

// The reply pages of the services, as they were served: markup of a few tens
// of KB around the value. Pages are written in UTF-8; ToGbk turns the Chinese
// ones into the GBK bytes their services sent.
namespace service_pages {

// How a Google result page shows its count.
enum class GoogleLayout {
    Stats,     // "About N results" in the result-statistics element
    Bar,       // "Results 1 - 10 of about <b>N</b> from|linking to|for ..." in the search bar
    ChineseBar // the bar in Chinese: "<b>N</b> " and the counting word, served in GBK
};

// The domain a search's query text is about: the text without its operator
// ("site:", "link:", "Link:") and without enclosing double quotes.
std::string QueryDomain(const std::string& strQuery);
// Text for HTML: & < > and the double quote escaped.
std::string Escape(std::string_view strText);
// UTF-8 to GBK; throws std::runtime_error when the text has no GBK form.
std::string ToGbk(std::string_view strUtf8);

// The toolbar's reply for a PageRank value; empty when there is none.
std::string PageRankReply(const std::string& strValue);
// The traffic-rank XML of a domain; without the POPULARITY element when
// strRank is empty.
std::string AlexaReply(const std::string& strDomain, const std::string& strRank);
// A result page for the query text q; strWord is the word after the count in
// the English bar ("from", "linking to" or "for"). An empty count gives the
// page that found nothing.
std::string GooglePage(GoogleLayout layout, const std::string& strQuery, const std::string& strWord,
                       const std::string& strCount);
// A Baidu result page (UTF-8) for the query text wd; an empty count gives the
// page that found nothing.
std::string BaiduPage(const std::string& strQuery, const std::string& strCount);
// An error page of a service, with its status line's text.
std::string ErrorPage(int nStatus, std::string_view strReason, std::string_view strMessage);

} // namespace service_pages
