#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
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

    // GET when bPost is false, else a form POST; nFormLength -1 means
    // strlen(pszForm). Returns the body or null.
    char* Fetch(const char* pszUrl, bool bPost = false, const char* pszForm = nullptr,
                int nFormLength = -1);

    // Prefixes "http://" unless the text starts with exactly "http:".
    static std::string EnsureHttpScheme(const std::string& strUrl);

    // The user-agent text sent with every request.
    static const char* UserAgent();

    int GetBodyLength() const { return m_nBodyLength; }
    std::uint32_t GetLastError() const { return m_dwLastError; }

    // A transfer that receives nothing for this long fails (tests shorten it).
    void SetStallTimeout(long nMs) { m_nStallTimeoutMs = nMs; }
    // A body larger than this fails.
    void SetMaxBodyBytes(std::size_t nBytes) { m_nMaxBodyBytes = nBytes; }

private:
    // implementation fields and helpers: OpenUrl, PostForm, ...
};
