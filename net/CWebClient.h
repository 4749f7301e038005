#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One HTTP client for one query call. Fetch() GETs an URL (or POSTs a form)
// and hands back the body as a NUL-terminated text owned by the client, valid
// until the next fetch or the client's destruction, or null on failure.
// Used by one thread at a time; every call blocks until the transfer ends.
class CWebClient {
public:
    static constexpr long kConnectTimeoutMs = 10000;
    static constexpr unsigned kConnectRetries = 1;
    static constexpr long kDefaultStallTimeoutMs = 30000;
    static constexpr std::size_t kDefaultMaxBodyBytes = 64u * 1024u * 1024u;
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
    // previous body and its length in place.
    char* Fetch(const char* pszUrl, bool bPost = false, const char* pszForm = nullptr,
                int nFormLength = -1);

    // Prefixes "http://" unless the text starts with exactly "http:".
    static std::string EnsureHttpScheme(const std::string& strUrl);

    // The user-agent text sent with every request.
    static const char* UserAgent();

    int GetBodyLength() const { return m_nBodyLength; }
    // The CURLcode of the last failed transfer, 0 until one fails. A stalled
    // transfer reports CURLE_OPERATION_TIMEDOUT, a body over the cap
    // CURLE_FILESIZE_EXCEEDED, a cancelled one CURLE_ABORTED_BY_CALLBACK.
    std::uint32_t GetLastError() const { return m_dwLastError; }

    // A transfer that receives nothing for this long fails (tests shorten it).
    void SetStallTimeout(long nMs) { m_nStallTimeoutMs = nMs; }
    // A body larger than this fails.
    void SetMaxBodyBytes(std::size_t nBytes) { m_nMaxBodyBytes = nBytes; }

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
    enum class Abort { None, Cancelled, Stalled, TooLarge, OutOfMemory };

    bool ApplyCommonOptions();
    bool OpenUrl(const std::string& strUrl);
    int PostForm(const std::string& strUrl, const char* pszForm, int nFormLength);

    bool Transfer(unsigned nConnectRetries);
    CURLcode PerformOnce();
    CURLcode DriveTransfer();
    CURLcode FinishedResult();
    bool IsConnectFailure(CURLcode code) const;
    CURLcode ReportedError(CURLcode code) const;
    bool ShouldAbort();
    void CommitBody();

    bool AppendBody(const char* pData, std::size_t nBytes);
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

    long m_nStallTimeoutMs = kDefaultStallTimeoutMs;
    std::size_t m_nMaxBodyBytes = kDefaultMaxBodyBytes;
    Abort m_eAbort = Abort::None;
    Clock::time_point m_tLastData;
};
