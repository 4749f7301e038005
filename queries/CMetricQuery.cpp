#include "queries/CMetricQuery.h"

#include "net/CWebClient.h"
#include "queries/TextHelpers.h"
#include "regex/regex.h"

#include <cstdint>
#include <map>
#include <span>
#include <string_view>

namespace {

// Every reply pattern is compiled case-insensitive, global, with "." taking
// line breaks, and keeps the groups of every match in order.
constexpr std::uint32_t kReplyFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

std::string ParseToolbarReply(const std::string& strReply) {
    if (!strReply.starts_with("Rank")) {
        return {};
    }
    const std::size_t nColon = strReply.rfind(':');
    const std::size_t nStart = nColon == std::string::npos ? 0 : nColon + 1;
    return ReplaceAll(std::string_view(strReply).substr(nStart), "\n", "");
}

// Compiled once per thread and pattern: a compiled pattern serves one thread
// at a time.
const regex::compiled_pattern& PatternFor(const std::string& strPattern) {
    thread_local std::map<std::string, std::unique_ptr<regex::compiled_pattern>, std::less<>>
        compiled;
    auto it = compiled.find(strPattern);
    if (it == compiled.end()) {
        auto pPattern = std::make_unique<regex::compiled_pattern>(strPattern, kReplyFlags,
                                                                  regex::mode_recursive);
        it = compiled.emplace(strPattern, std::move(pPattern)).first;
    }
    return *it->second;
}

// Digits and thousands commas, at least one digit.
bool IsCountText(std::string_view strText) {
    return strText.find_first_not_of("0123456789,") == std::string_view::npos &&
           strText.find_first_of("0123456789") != std::string_view::npos;
}

std::string ReadValue(const regex::match_backrefs& results, std::size_t nEntriesPerMatch,
                      const SQuerySpec& spec) {
    if (spec.chElementEnd != '\0' &&
        results.group(0).view().find(spec.chElementEnd) != std::string_view::npos) {
        return {};
    }
    for (std::size_t i = 1; i < nEntriesPerMatch; ++i) {
        if (results.group(i).length() > 0) {
            return results.group(i).text();
        }
    }
    if (spec.bLaterMatches) {
        for (std::size_t i = nEntriesPerMatch; i < results.group_count(); ++i) {
            if (IsCountText(results.group(i).view())) {
                return results.group(i).text();
            }
        }
    }
    return {};
}

std::string ParsePatternReply(const SQuerySpec& spec, const std::string& strReply) {
    const regex::compiled_pattern& pattern = PatternFor(spec.strPattern);
    regex::match_backrefs results;
    if (!regex::run_match(pattern, results, strReply.data(), strReply.data() + strReply.size())) {
        return {};
    }
    return ReadValue(results, pattern.group_count(), spec);
}

} // namespace

CMetricQuery::CMetricQuery(CServiceHosts hosts, const std::atomic<bool>* pCancel)
    : m_hosts(std::move(hosts)), m_pCancel(pCancel) {}

CMetricQuery::~CMetricQuery() = default;

std::string CMetricQuery::Query(const SQuerySpec& spec, const std::string& strDomain) {
    try {
        const std::string strUrl = RequestUrl(spec, strDomain, MakeTimestampToken());
        const std::string strReply = FetchText(m_hosts.Route(strUrl));
        return strReply.empty() ? std::string() : ParseReply(spec, strReply);
    } catch (...) {
        // A query's only failure value is the empty text.
        return {};
    }
}

std::string CMetricQuery::ParseReply(const SQuerySpec& spec, const std::string& strReply) {
    return spec.parser == EReplyParser::Toolbar ? ParseToolbarReply(strReply)
                                                : ParsePatternReply(spec, strReply);
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

std::string CMetricQuery::RequestUrl(const SQuerySpec& spec, const std::string& strDomain,
                                     const std::string& strToken) {
    return ExpandTemplate(spec, spec.strUrl, strDomain, strToken);
}

std::string CMetricQuery::ExpandTemplate(const SQuerySpec& spec, const std::string& strTemplate,
                                         const std::string& strDomain,
                                         const std::string& strToken) {
    std::string strOut;
    std::size_t nAt = 0;
    while (nAt < strTemplate.size()) {
        const std::size_t nOpen = strTemplate.find('{', nAt);
        const std::size_t nClose =
            nOpen == std::string::npos ? std::string::npos : strTemplate.find('}', nOpen);
        if (nClose == std::string::npos) {
            strOut.append(strTemplate, nAt);
            break;
        }
        strOut.append(strTemplate, nAt, nOpen - nAt);
        const std::string_view strName(strTemplate.data() + nOpen + 1, nClose - nOpen - 1);
        if (strName == "domain") {
            strOut += strDomain;
        } else if (strName == "domain_url") {
            strOut += UrlEncode(strDomain);
        } else if (strName == "token") {
            strOut += strToken;
        } else if (strName == "checksum" && &strTemplate != &spec.strChecksumText) {
            strOut += std::to_string(
                Checksum(ExpandTemplate(spec, spec.strChecksumText, strDomain, strToken)));
        } else {
            strOut.append(strTemplate, nOpen, nClose - nOpen + 1);
        }
        nAt = nClose + 1;
    }
    return strOut;
}

std::uint32_t CMetricQuery::Checksum(const std::string& strText) {
    // The previous request's buffers go before the new ones are made.
    m_pMixState.reset();
    m_pValues.reset();
    m_pMixState = std::make_unique<MixWords>();
    m_pValues = std::make_unique<std::int32_t[]>(strText.size());
    const std::span<std::int32_t> values(m_pValues.get(), strText.size());
    ToSignedValues(strText, values);
    return ToolbarChecksum(values, *m_pMixState);
}
