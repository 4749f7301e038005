#include "net/CWebClient.h"

#include "net/RetryAfter.h"
#include "net/ShownAddress.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <string_view>
#include <strings.h>

namespace {

// The vendor's web-site host (the same as the window's site link); the
// user agent names it.
constexpr char kVendorHost[] = "www.orbelle.example";

// How long the client waits on the sockets before it looks at the cancel
// flag and the stall clock again.
constexpr int kPollIntervalMs = 50;

constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// Without this libcurl sends "Expect: 100-continue" for larger forms and
// waits for an interim reply that plain servers never give.
constexpr char kNoExpect[] = "Expect:";

template <typename T> bool SetOption(CURL* hCurl, CURLoption nOption, T value) {
    return curl_easy_setopt(hCurl, nOption, value) == CURLE_OK;
}

} // namespace

CWebClient::CWebClient(const std::atomic<bool>* pCancel) : m_pCancel(pCancel) {
    if (!GlobalInit())
        return;
    m_hInternet.reset(curl_easy_init());
    m_hMulti.reset(curl_multi_init());
    // Without a working handle every fetch fails, as the caller expects of a
    // client whose library could not start.
    if (!m_hInternet || !m_hMulti || !ApplyCommonOptions())
        m_hInternet.reset();
}

CWebClient::~CWebClient() = default;

bool CWebClient::GlobalInit() {
    static const bool bReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return bReady;
}

const char* CWebClient::UserAgent() {
    static const std::string strAgent = std::string(kVendorHost) + " client";
    return strAgent.c_str();
}

std::string CWebClient::EnsureHttpScheme(const std::string& strUrl) {
    if (strUrl.compare(0, 5, "http:") == 0 || strUrl.compare(0, 6, "https:") == 0)
        return strUrl;
    return "http://" + strUrl;
}

char* CWebClient::Fetch(const char* pszUrl, bool bPost, const char* pszForm, int nFormLength) {
    if (pszUrl == nullptr || !m_hInternet)
        return nullptr;
    const std::string strUrl = EnsureHttpScheme(pszUrl);
    if (bPost)
        return PostForm(strUrl, pszForm, nFormLength) > 0 ? m_strBody.data() : nullptr;
    CHeaderList pHeaders;
    if (!OpenUrl(strUrl) || !AddHeaders(pHeaders))
        return nullptr;
    const bool bDone = Transfer(m_nConnectRetries);
    // The header list dies with this call; the handle must not keep it.
    SetOption(m_hInternet.get(), CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    if (!bDone)
        return nullptr;
    CommitBody();
    return m_strBody.data();
}

bool CWebClient::AddHeaders(CHeaderList& pHeaders) {
    for (const std::string& strHeader : m_arrHeaders) {
        curl_slist* pList = curl_slist_append(pHeaders.get(), strHeader.c_str());
        if (pList == nullptr)
            return false;
        static_cast<void>(pHeaders.release());
        pHeaders.reset(pList);
    }
    return !pHeaders || SetOption(m_hInternet.get(), CURLOPT_HTTPHEADER, pHeaders.get());
}

void CWebClient::SetHeaders(std::vector<std::string> arrHeaders) {
    m_arrHeaders = std::move(arrHeaders);
}

void CWebClient::SetLimits(const STransferLimits& limits) {
    m_limits = limits;
}

// Settings shared by every request of this client.
bool CWebClient::ApplyCommonOptions() {
    CURL* hCurl = m_hInternet.get();
    return SetOption(hCurl, CURLOPT_USERAGENT, UserAgent()) &&
           // A direct connection: no proxy, whatever the environment says.
           SetOption(hCurl, CURLOPT_PROXY, "") && SetOption(hCurl, CURLOPT_NOPROXY, "*") &&
           // Time-outs must not raise signals in a worker thread.
           SetOption(hCurl, CURLOPT_NOSIGNAL, 1L) &&
           SetOption(hCurl, CURLOPT_PROTOCOLS_STR, "http,https") &&
           SetOption(hCurl, CURLOPT_FOLLOWLOCATION, 1L) &&
           SetOption(hCurl, CURLOPT_MAXREDIRS, 10L) &&
           SetOption(hCurl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
           SetOption(hCurl, CURLOPT_BUFFERSIZE, static_cast<long>(FetchBufferSize)) &&
           SetOption(hCurl, CURLOPT_WRITEFUNCTION, &CWebClient::OnBodyData) &&
           SetOption(hCurl, CURLOPT_WRITEDATA, this) &&
           SetOption(hCurl, CURLOPT_HEADERFUNCTION, &CWebClient::OnHeaderData) &&
           SetOption(hCurl, CURLOPT_HEADERDATA, this) &&
           SetOption(hCurl, CURLOPT_XFERINFOFUNCTION, &CWebClient::OnTransferInfo) &&
           SetOption(hCurl, CURLOPT_XFERINFODATA, this) &&
           SetOption(hCurl, CURLOPT_NOPROGRESS, 0L) &&
           SetOption(hCurl, CURLOPT_ERRORBUFFER, m_szError);
}

// Makes the next transfer a GET of strUrl.
bool CWebClient::OpenUrl(const std::string& strUrl) {
    CURL* hCurl = m_hInternet.get();
    return SetOption(hCurl, CURLOPT_HTTPGET, 1L) &&
           SetOption(hCurl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr)) &&
           SetOption(hCurl, CURLOPT_URL, strUrl.c_str());
}

// POSTs the form; only a reply with status 200 replaces the body. Returns the
// number of body bytes, 0 on failure (an empty reply counts as one).
int CWebClient::PostForm(const std::string& strUrl, const char* pszForm, int nFormLength) {
    if (pszForm == nullptr)
        pszForm = "";
    const curl_off_t nLength = nFormLength < 0 ? static_cast<curl_off_t>(std::strlen(pszForm))
                                               : static_cast<curl_off_t>(nFormLength);
    CHeaderList pHeaders(curl_slist_append(nullptr, kFormContentType));
    if (!pHeaders || !curl_slist_append(pHeaders.get(), kNoExpect))
        return 0;

    CURL* hCurl = m_hInternet.get();
    const bool bReady = SetOption(hCurl, CURLOPT_URL, strUrl.c_str()) &&
                        SetOption(hCurl, CURLOPT_POSTFIELDSIZE_LARGE, nLength) &&
                        SetOption(hCurl, CURLOPT_COPYPOSTFIELDS, pszForm) &&
                        SetOption(hCurl, CURLOPT_HTTPHEADER, pHeaders.get());
    const bool bSent = bReady && Transfer(0);
    // The header list dies with this call; the handle must not keep it.
    SetOption(hCurl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));

    long nStatus = 0;
    if (!bSent || curl_easy_getinfo(hCurl, CURLINFO_RESPONSE_CODE, &nStatus) != CURLE_OK ||
        nStatus != 200 || m_strReceived.empty())
        return 0;
    CommitBody();
    return m_nBodyLength;
}

// Runs the prepared request, again after each failed connect while retries
// remain. On failure records the error and returns false.
bool CWebClient::Transfer(unsigned nConnectRetries) {
    CURLcode code = PerformOnce();
    for (unsigned n = 0; n < nConnectRetries && IsConnectFailure(code); ++n)
        code = PerformOnce();
    NoteReply();
    if (code == CURLE_OK)
        return true;
    NoteFailure(code);
    std::string().swap(m_strReceived);
    return false;
}

// What the last reply said of itself, whether the transfer ended well or not.
void CWebClient::NoteReply() {
    CURL* hCurl = m_hInternet.get();
    m_nStatus = 0;
    curl_easy_getinfo(hCurl, CURLINFO_RESPONSE_CODE, &m_nStatus);
    char* pszUrl = nullptr;
    curl_easy_getinfo(hCurl, CURLINFO_EFFECTIVE_URL, &pszUrl);
    m_strFinalUrl = pszUrl != nullptr ? pszUrl : "";
    m_eFailure = EFailure::None;
    m_strErrorText.clear();
}

void CWebClient::NoteFailure(CURLcode code) {
    const CURLcode reported = ReportedError(code);
    m_dwLastError = static_cast<std::uint32_t>(reported);
    switch (m_eAbort) {
    case Abort::Cancelled:
        m_eFailure = EFailure::Cancelled;
        break;
    case Abort::Stalled:
        m_eFailure = EFailure::Stalled;
        break;
    case Abort::TooSlow:
        m_eFailure = EFailure::TooSlow;
        break;
    case Abort::TooLarge:
    case Abort::OutOfMemory:
        m_eFailure = EFailure::TooLarge;
        break;
    case Abort::Stopped:
        m_eFailure = EFailure::Stopped;
        break;
    case Abort::Refused:
        m_eFailure = EFailure::Refused;
        break;
    case Abort::None:
        m_eFailure = FailureOf(code);
        break;
    }
    if (m_eAbort == Abort::Refused) {
        m_strErrorText = m_strRefusal;
    } else if (m_eAbort == Abort::None && m_szError[0] != '\0') {
        m_strErrorText = m_szError;
    } else {
        m_strErrorText = curl_easy_strerror(reported);
    }
}

CWebClient::EFailure CWebClient::FailureOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return EFailure::Resolve;
    case CURLE_TOO_MANY_REDIRECTS:
        return EFailure::Redirects;
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_OUT_OF_MEMORY:
        return EFailure::TooLarge;
    case CURLE_ABORTED_BY_CALLBACK:
        return EFailure::Cancelled;
    default:
        // Refused, unreachable, a connect time-out, TLS, or a connection
        // broken off: the exchange never came through.
        return EFailure::Connect;
    }
}

CURLcode CWebClient::PerformOnce() {
    m_strReceived.clear();
    m_arrRedirects.clear();
    m_arrReplyHeaders.clear();
    m_nSunkBytes = 0;
    m_nRetryAfter = 0;
    m_szError[0] = '\0';
    m_eAbort = Abort::None;
    m_tLastData = Clock::now();
    m_tStart = m_tLastData;
    m_tSpanStart = m_tLastData;
    m_nSpanBytes = 0;
    m_strRefusal.clear();
    m_nHeaderStatus = 0;
    const curl_off_t nCap = static_cast<curl_off_t>(m_limits.nMaxBodyBytes);
    if (!SetOption(m_hInternet.get(), CURLOPT_MAXFILESIZE_LARGE, nCap) ||
        !SetOption(m_hInternet.get(), CURLOPT_CONNECTTIMEOUT_MS, m_limits.nConnectTimeoutMs) ||
        curl_multi_add_handle(m_hMulti.get(), m_hInternet.get()) != CURLM_OK)
        return CURLE_FAILED_INIT;
    const CURLcode code = DriveTransfer();
    curl_multi_remove_handle(m_hMulti.get(), m_hInternet.get());
    return code;
}

// libcurl's own blocking loop sleeps up to a second between progress calls
// when nothing arrives; this loop wakes often enough for a prompt cancel and
// a stall time-out finer than a second.
CURLcode CWebClient::DriveTransfer() {
    for (;;) {
        int nRunning = 0;
        if (curl_multi_perform(m_hMulti.get(), &nRunning) != CURLM_OK)
            return CURLE_FAILED_INIT;
        if (nRunning == 0)
            return FinishedResult();
        if (ShouldAbort())
            return CURLE_ABORTED_BY_CALLBACK;
        if (curl_multi_poll(m_hMulti.get(), nullptr, 0, kPollIntervalMs, nullptr) != CURLM_OK)
            return CURLE_FAILED_INIT;
    }
}

CURLcode CWebClient::FinishedResult() {
    int nQueued = 0;
    while (CURLMsg* pMsg = curl_multi_info_read(m_hMulti.get(), &nQueued)) {
        if (pMsg->msg == CURLMSG_DONE)
            return pMsg->data.result;
    }
    return CURLE_FAILED_INIT;
}

// Only a connection that never came up is tried again: the server has seen
// nothing of the request yet.
bool CWebClient::IsConnectFailure(CURLcode code) const {
    if (m_eAbort != Abort::None)
        return false;
    return code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT;
}

// The client's own reasons for ending a transfer take precedence over the
// generic code libcurl reports for an aborted one.
CURLcode CWebClient::ReportedError(CURLcode code) const {
    switch (m_eAbort) {
    case Abort::Cancelled:
        return CURLE_ABORTED_BY_CALLBACK;
    case Abort::Stalled:
    case Abort::TooSlow:
        return CURLE_OPERATION_TIMEDOUT;
    case Abort::TooLarge:
        return CURLE_FILESIZE_EXCEEDED;
    case Abort::OutOfMemory:
        return CURLE_OUT_OF_MEMORY;
    case Abort::Stopped:
    case Abort::Refused:
        return CURLE_WRITE_ERROR;
    case Abort::None:
        break;
    }
    return code;
}

bool CWebClient::ShouldAbort() {
    if (m_eAbort != Abort::None)
        return true;
    const Clock::time_point tNow = Clock::now();
    if (m_pCancel != nullptr && m_pCancel->load())
        m_eAbort = Abort::Cancelled;
    else if (tNow - m_tLastData >= std::chrono::milliseconds(m_limits.nStallMs))
        m_eAbort = Abort::Stalled;
    else if (IsTooSlow(tNow))
        m_eAbort = Abort::TooSlow;
    return m_eAbort != Abort::None;
}

bool CWebClient::IsTooSlow(Clock::time_point tNow) {
    if (tNow - m_tStart >= std::chrono::milliseconds(m_limits.nCeilingMs))
        return true;
    if (tNow - m_tSpanStart < std::chrono::milliseconds(m_limits.nFloorSpanMs))
        return false;
    if (m_nSpanBytes < m_limits.nFloorBytes)
        return true;
    m_tSpanStart = tNow;
    m_nSpanBytes = 0;
    return false;
}

void CWebClient::CommitBody() {
    m_strBody.swap(m_strReceived);
    m_nBodyLength = static_cast<int>(m_strBody.size());
    // Release the previous body now rather than at the next transfer.
    std::string().swap(m_strReceived);
}

bool CWebClient::AppendBody(const char* pData, std::size_t nBytes) {
    m_tLastData = Clock::now();
    m_nSpanBytes += nBytes;
    if (ShouldAbort())
        return false;
    if (m_pfnBodySink) {
        return SinkBody(std::string_view(pData, nBytes));
    }
    // The length is reported as a signed 32-bit count, so no body may exceed it.
    const std::size_t nCap = std::min<std::size_t>(m_limits.nMaxBodyBytes, INT_MAX);
    if (nBytes > nCap - m_strReceived.size()) {
        m_eAbort = Abort::TooLarge;
        return false;
    }
    try {
        m_strReceived.append(pData, nBytes);
    } catch (const std::bad_alloc&) {
        m_eAbort = Abort::OutOfMemory;
        return false;
    }
    return true;
}

bool CWebClient::SinkBody(std::string_view strPiece) {
    const std::size_t nCap = m_limits.nMaxBodyBytes;
    if (strPiece.size() > nCap - std::min(m_nSunkBytes, nCap)) {
        m_eAbort = Abort::TooLarge;
        return false;
    }
    m_nSunkBytes += strPiece.size();
    if (!m_pfnBodySink(strPiece)) {
        m_eAbort = Abort::Cancelled;
        return false;
    }
    return true;
}

std::size_t CWebClient::OnBodyData(char* pData, std::size_t nSize, std::size_t nCount,
                                   void* pClient) {
    const std::size_t nBytes = nSize * nCount;
    // Returning fewer bytes than given makes libcurl end the transfer.
    return static_cast<CWebClient*>(pClient)->AppendBody(pData, nBytes) ? nBytes : 0;
}

std::size_t CWebClient::OnHeaderData(char* pData, std::size_t nSize, std::size_t nCount,
                                     void* pClient) {
    auto* pThis = static_cast<CWebClient*>(pClient);
    const std::size_t nBytes = nSize * nCount;
    pThis->m_tLastData = Clock::now();
    pThis->m_nSpanBytes += nBytes;
    return pThis->TakeHeader(std::string_view(pData, nBytes)) ? nBytes : 0;
}

namespace {

// The value of a header line "Name: value" when its name is strName.
std::optional<std::string_view> HeaderValue(std::string_view strLine, std::string_view strName) {
    if (strLine.size() <= strName.size() || strLine[strName.size()] != ':' ||
        strncasecmp(strLine.data(), strName.data(), strName.size()) != 0) {
        return std::nullopt;
    }
    std::string_view strValue = strLine.substr(strName.size() + 1);
    const std::size_t nStart = strValue.find_first_not_of(" \t");
    const std::size_t nEnd = strValue.find_last_not_of(" \t\r\n");
    if (nStart == std::string_view::npos || nEnd == std::string_view::npos || nEnd < nStart) {
        return std::string_view();
    }
    return strValue.substr(nStart, nEnd - nStart + 1);
}

// More header lines than any honest reply sends are not kept.
constexpr std::size_t kMostReplyHeaders = 200;

// The status code of a status line "HTTP/1.1 302 Found"; 0 when unreadable.
long StatusOf(std::string_view strLine) {
    const std::size_t nSpace = strLine.find(' ');
    if (nSpace == std::string_view::npos) {
        return 0;
    }
    long nStatus = 0;
    const char* pStart = strLine.data() + nSpace + 1;
    std::from_chars(pStart, strLine.data() + strLine.size(), nStatus);
    return nStatus;
}

} // namespace

std::string CWebClient::GetReplyHeader(std::string_view strName) const {
    for (const std::string& strLine : m_arrReplyHeaders) {
        if (const auto strValue = HeaderValue(strLine, strName)) {
            return std::string(*strValue);
        }
    }
    return {};
}

bool CWebClient::TakeHeader(std::string_view strLine) {
    // Each reply of a redirect chain starts with its status line.
    if (strLine.starts_with("HTTP/")) {
        m_nRetryAfter = 0;
        m_nHeaderStatus = StatusOf(strLine);
        m_arrReplyHeaders.clear();
    } else if (m_arrReplyHeaders.size() < kMostReplyHeaders) {
        m_arrReplyHeaders.emplace_back(strLine);
    }
    if (const auto strDelay = HeaderValue(strLine, "Retry-After")) {
        m_nRetryAfter = RetryAfterSeconds(*strDelay, std::time(nullptr));
    }
    const auto strTarget = HeaderValue(strLine, "Location");
    if (!strTarget || strTarget->empty()) {
        return true;
    }
    // Redirect targets are kept even when the transfer later fails: a
    // redirect to a block page tells more than the failure that follows.
    m_arrRedirects.emplace_back(*strTarget);
    if (m_pfnRedirectGuard && m_pfnRedirectGuard(*strTarget)) {
        m_eAbort = Abort::Stopped;
        return false;
    }
    return AllowsRedirect(*strTarget);
}

// libcurl follows a Location of any 3xx reply but 304.
bool CWebClient::AllowsRedirect(std::string_view strTarget) {
    if (m_nHeaderStatus < 300 || m_nHeaderStatus > 399 || m_nHeaderStatus == 304) {
        return true;
    }
    char* pszFrom = nullptr;
    curl_easy_getinfo(m_hInternet.get(), CURLINFO_EFFECTIVE_URL, &pszFrom);
    m_strRefusal =
        RefusedRedirect(pszFrom != nullptr ? pszFrom : "", strTarget, !m_arrHeaders.empty());
    if (m_strRefusal.empty()) {
        return true;
    }
    m_eAbort = Abort::Refused;
    return false;
}

namespace {

struct CUrlCleanup {
    void operator()(CURLU* pUrl) const { curl_url_cleanup(pUrl); }
};
using CUrlHandle = std::unique_ptr<CURLU, CUrlCleanup>;

// One part of a parsed address; empty when it has none.
std::string PartOf(CURLU* pUrl, CURLUPart part, unsigned nFlags = 0) {
    char* pszPart = nullptr;
    if (curl_url_get(pUrl, part, &pszPart, nFlags) != CURLUE_OK || pszPart == nullptr) {
        return {};
    }
    std::string strPart(pszPart);
    curl_free(pszPart);
    return strPart;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string CWebClient::RefusedRedirect(std::string_view strFrom, std::string_view strTarget,
                                        bool bHeaders) {
    CUrlHandle pFrom(curl_url());
    if (!pFrom ||
        curl_url_set(pFrom.get(), CURLUPART_URL, std::string(strFrom).c_str(), 0) != CURLUE_OK) {
        return {};
    }
    // Setting a URL on a parsed one resolves it against it, as a browser does.
    CUrlHandle pTo(curl_url_dup(pFrom.get()));
    if (!pTo ||
        curl_url_set(pTo.get(), CURLUPART_URL, std::string(strTarget).c_str(), 0) != CURLUE_OK) {
        // libcurl refuses to follow what it cannot parse.
        return {};
    }
    const std::string strFromScheme = PartOf(pFrom.get(), CURLUPART_SCHEME);
    const std::string strToScheme = PartOf(pTo.get(), CURLUPART_SCHEME);
    const std::string strShown = ShownAddress(PartOf(pTo.get(), CURLUPART_URL));
    if (SameText(strFromScheme, "https") && SameText(strToScheme, "http")) {
        return "a redirect from https to http is not followed: " + strShown;
    }
    const bool bSameOrigin =
        SameText(strFromScheme, strToScheme) &&
        SameText(PartOf(pFrom.get(), CURLUPART_HOST), PartOf(pTo.get(), CURLUPART_HOST)) &&
        PartOf(pFrom.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT) ==
            PartOf(pTo.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (bHeaders && !bSameOrigin) {
        return "a redirect to another host or port is not followed, as the request carries "
               "headers meant for the host asked: " +
               strShown;
    }
    return {};
}

int CWebClient::OnTransferInfo(void* pClient, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CWebClient*>(pClient)->ShouldAbort() ? 1 : 0;
}
