#pragma once

#include "net/STransferLimits.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One HTTP client for one query call. Fetch() GETs an URL (or POSTs a form)
// and hands back the body as a NUL-terminated text owned by the client, valid
// until the next fetch or the client's destruction, or null on failure.
// Used by one thread at a time; every call blocks until the transfer ends.
class CWebClient {
public:
    static constexpr unsigned kConnectRetries = 1;
    static constexpr std::size_t FetchBufferSize = 8192;

    // pCancel, when given, is polled during a transfer; once it reads true the
    // transfer in flight is abandoned and the fetch fails.
    explicit CWebClient(const std::atomic<bool>* pCancel = nullptr);
    virtual ~CWebClient();

    CWebClient(const CWebClient&) = delete;
    CWebClient& operator=(const CWebClient&) = delete;

    // Initialises the HTTP library once per process; later calls only return
    // the first call's outcome. Each program (the window, the batch scanner)
    // calls it on its main thread before any other thread exists; for them
    // the call in every constructor only reads that outcome, and it keeps a
    // client that runs without such a start (tests) off an uninitialised
    // library.
    static bool GlobalInit();

    // GET when bPost is false, else a form POST; nFormLength -1 means
    // strlen(pszForm). Returns the body or null. A failed fetch leaves the
    // previous body and its length in place. Redirects are followed, but
    // never from https to http, and, while extra headers are set, never to
    // another scheme, host or port: the headers may carry a key meant for the
    // host asked. Such a redirect fails the fetch as Refused.
    char* Fetch(const char* pszUrl, bool bPost = false, const char* pszForm = nullptr,
                int nFormLength = -1);

    // Prefixes "http://" unless the text starts with exactly "http:".
    static std::string EnsureHttpScheme(const std::string& strUrl);

    // The user-agent text sent with every request.
    static const char* UserAgent();

    // Why the last transfer failed, as the place where it happened tells it.
    enum class EFailure {
        None,
        Resolve,   // the host name could not be resolved
        Connect,   // refused, unreachable, timed out, or broken off
        Stalled,   // nothing arrived for the stall time
        TooSlow,   // below the speed floor, or past the ceiling
        TooLarge,  // a body over the cap
        Redirects, // too many redirects
        Cancelled, // the cancel flag was set
        Stopped,   // sent to an address the redirect guard refused
        Refused,   // a redirect the client does not follow (see Fetch)
    };

    int GetBodyLength() const { return m_nBodyLength; }
    EFailure GetFailure() const { return m_eFailure; }
    // libcurl's message for the last failed transfer, or the client's own;
    // an address in it is shown as ShownAddress() shows it.
    const std::string& GetErrorText() const { return m_strErrorText; }
    // The HTTP status of the last transfer's final reply; 0 when none came.
    long GetStatus() const { return m_nStatus; }
    // Where the last transfer ended up after redirects.
    const std::string& GetFinalUrl() const { return m_strFinalUrl; }
    // Every redirect target the last transfer was sent to, as the servers
    // wrote them, followed or not.
    const std::vector<std::string>& GetRedirects() const { return m_arrRedirects; }
    // The final reply's Retry-After in seconds, read as RetryAfterSeconds
    // reads it; 0 when it had none.
    long GetRetryAfter() const { return m_nRetryAfter; }
    // Extra request headers ("Name: value") for every later GET.
    void SetHeaders(std::vector<std::string> arrHeaders);
    // Told every redirect target as it arrives; answering true ends the
    // transfer there, before the target is asked.
    using RedirectGuard = std::function<bool(std::string_view strTarget)>;
    void SetRedirectGuard(RedirectGuard pfnGuard) { m_pfnRedirectGuard = std::move(pfnGuard); }
    // The CURLcode of the last failed transfer, 0 until one fails. A stalled
    // transfer reports CURLE_OPERATION_TIMEDOUT, a body over the cap
    // CURLE_FILESIZE_EXCEEDED, a cancelled one CURLE_ABORTED_BY_CALLBACK.
    std::uint32_t GetLastError() const { return m_dwLastError; }

    // The limits of every later transfer.
    void SetLimits(const STransferLimits& limits);

    // Why a redirect from strFrom to strTarget (absolute, or relative to
    // strFrom) is not followed, for a message; empty when it may be.
    // bHeaders: the request carries extra headers.
    static std::string RefusedRedirect(std::string_view strFrom, std::string_view strTarget,
                                       bool bHeaders);

    // Hands every piece of a GET's body to the sink instead of keeping it,
    // for bodies too large to hold; the cap still counts every byte. A false
    // answer ends the transfer as cancelled. Fetch then answers an empty body.
    using BodySink = std::function<bool(std::string_view strPiece)>;
    void SetBodySink(BodySink pfnSink) { m_pfnBodySink = std::move(pfnSink); }
    // A header of the last transfer's final reply ("ETag"); empty when it had
    // none. Known as soon as the reply's body begins.
    std::string GetReplyHeader(std::string_view strName) const;

private:
    struct CEasyCleanup {
        void operator()(CURL* hCurl) const { curl_easy_cleanup(hCurl); }
    };
    struct CMultiCleanup {
        void operator()(CURLM* hMulti) const { curl_multi_cleanup(hMulti); }
    };
    struct CListCleanup {
        void operator()(curl_slist* pList) const { curl_slist_free_all(pList); }
    };
    using CEasyHandle = std::unique_ptr<CURL, CEasyCleanup>;
    using CMultiHandle = std::unique_ptr<CURLM, CMultiCleanup>;
    using CHeaderList = std::unique_ptr<curl_slist, CListCleanup>;
    using Clock = std::chrono::steady_clock;

    // Why the client itself ended a transfer.
    enum class Abort { None, Cancelled, Stalled, TooSlow, TooLarge, OutOfMemory, Stopped, Refused };

    bool ApplyCommonOptions();
    bool OpenUrl(const std::string& strUrl);
    bool AddHeaders(CHeaderList& pHeaders);
    int PostForm(const std::string& strUrl, const char* pszForm, int nFormLength);

    bool Transfer(unsigned nConnectRetries);
    CURLcode PerformOnce();
    CURLcode DriveTransfer();
    CURLcode FinishedResult();
    bool IsConnectFailure(CURLcode code) const;
    CURLcode ReportedError(CURLcode code) const;
    bool ShouldAbort();
    bool IsTooSlow(Clock::time_point tNow);
    void CommitBody();
    void NoteReply();
    void NoteFailure(CURLcode code);
    static EFailure FailureOf(CURLcode code);

    bool AppendBody(const char* pData, std::size_t nBytes);
    bool SinkBody(std::string_view strPiece);
    // Notes the headers the client acts on; false ends the transfer.
    bool TakeHeader(std::string_view strLine);
    bool AllowsRedirect(std::string_view strTarget);
    static std::size_t OnBodyData(char* pData, std::size_t nSize, std::size_t nCount,
                                  void* pClient);
    static std::size_t OnHeaderData(char* pData, std::size_t nSize, std::size_t nCount,
                                    void* pClient);
    static int OnTransferInfo(void* pClient, curl_off_t nDlTotal, curl_off_t nDlNow,
                              curl_off_t nUlTotal, curl_off_t nUlNow);

    // The easy handle lives as long as the client and carries every request;
    // the multi handle only drives it so that the client regains control
    // between socket events even when nothing arrives.
    CEasyHandle m_hInternet;
    CMultiHandle m_hMulti;
    const std::atomic<bool>* m_pCancel;

    std::string m_strBody;     // body of the last successful fetch
    std::string m_strReceived; // body of the transfer in flight
    std::uint32_t m_dwLastError = 0;
    int m_nBodyLength = 0;
    unsigned m_nConnectRetries = kConnectRetries;

    STransferLimits m_limits;
    Abort m_eAbort = Abort::None;
    // Why a redirect was refused; see RefusedRedirect.
    std::string m_strRefusal;
    // The status of the reply whose headers are arriving.
    long m_nHeaderStatus = 0;
    Clock::time_point m_tLastData;
    Clock::time_point m_tStart;
    Clock::time_point m_tSpanStart;
    std::size_t m_nSpanBytes = 0;

    std::vector<std::string> m_arrHeaders;
    RedirectGuard m_pfnRedirectGuard;
    BodySink m_pfnBodySink;
    std::size_t m_nSunkBytes = 0;
    // The header lines of the reply being read, the last one of a chain.
    std::vector<std::string> m_arrReplyHeaders;
    EFailure m_eFailure = EFailure::None;
    std::string m_strErrorText;
    long m_nStatus = 0;
    std::string m_strFinalUrl;
    std::vector<std::string> m_arrRedirects;
    long m_nRetryAfter = 0;
    char m_szError[CURL_ERROR_SIZE] = {};
};
