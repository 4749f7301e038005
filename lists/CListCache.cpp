#include "lists/CListCache.h"

#include "lists/CFileLock.h"
#include "lists/CListArchive.h"
#include "lists/CListDatabase.h"
#include "lists/CListParser.h"
#include "net/CWebClient.h"
#include "queries/TransferReason.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A list's transfer has no ceiling of its own; this only keeps the clock
// arithmetic in range.
constexpr long kNoCeilingMs = 7L * 24 * 3600 * 1000;
// Progress is told after this many bytes or rows.
constexpr std::uint64_t kProgressBytes = 1024 * 1024;
constexpr std::uint64_t kProgressRows = 10000;
// A list is refused when more than one line in this many cannot be read.
constexpr std::size_t kBrokenShare = 100;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::uint64_t Fnv1a(std::string_view strText) {
    std::uint64_t nHash = 1469598103934665603ULL;
    for (char c : strText) {
        nHash = (nHash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return nHash;
}

// The address without a user part or a query, which may carry a key.
std::string PublicUrl(std::string_view strUrl) {
    strUrl = strUrl.substr(0, strUrl.find_first_of("?#"));
    const std::size_t nScheme = strUrl.find("://");
    const std::size_t nHostStart = nScheme == std::string_view::npos ? 0 : nScheme + 3;
    const std::size_t nPath = strUrl.find('/', nHostStart);
    const std::size_t nAt = strUrl.substr(0, nPath).rfind('@');
    if (nAt == std::string_view::npos || nAt < nHostStart) {
        return std::string(strUrl);
    }
    return std::string(strUrl.substr(0, nHostStart)) + std::string(strUrl.substr(nAt + 1));
}

// The host of the address, in the letters a file name may safely hold.
std::string FileStem(std::string_view strUrl) {
    const std::string strPublic = PublicUrl(strUrl);
    const std::size_t nScheme = strPublic.find("://");
    std::string_view strHost = strPublic;
    if (nScheme != std::string::npos) {
        strHost.remove_prefix(nScheme + 3);
    }
    strHost = strHost.substr(0, strHost.find_first_of("/:"));
    std::string strStem;
    for (char c : strHost.substr(0, 64)) {
        const bool bSafe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        strStem += bSafe ? c : '_';
    }
    return strStem.empty() ? "list" : strStem;
}

SListStatus Failure(EFailReason reason, std::string strDetail, int nHttpStatus = 0) {
    SListStatus status;
    status.bFailed = true;
    status.reason = reason;
    status.nHttpStatus = nHttpStatus;
    status.strDetail = std::move(strDetail);
    return status;
}

SListStatus Success(std::string strDetail, int nHttpStatus = 0) {
    SListStatus status;
    status.nHttpStatus = nHttpStatus;
    status.strDetail = std::move(strDetail);
    return status;
}

// A value from the cache may go into a request header only without a line
// break.
bool IsHeaderSafe(std::string_view strValue) {
    return !strValue.empty() && strValue.find_first_of("\r\n") == std::string_view::npos;
}

struct CFileClose {
    void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};

// Opens strPath for writing, readable by its owner only.
std::unique_ptr<std::FILE, CFileClose> CreatePrivate(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* pFile = ::fdopen(fd, "wb");
    if (pFile == nullptr) {
        ::close(fd);
    }
    return std::unique_ptr<std::FILE, CFileClose>(pFile);
}

// A list found unchanged keeps its database as it is; the time it was last
// found so is noted beside it, in a small file put in place by rename.
std::string CheckedPath(const std::string& strDatabase) {
    return strDatabase + ".checked";
}

bool WriteCheckedTime(const std::string& strDatabase, std::int64_t nTime) {
    const std::string strTemporary = CheckedPath(strDatabase) + ".new";
    {
        auto pFile = CreatePrivate(strTemporary);
        if (!pFile || std::fprintf(pFile.get(), "%lld\n", static_cast<long long>(nTime)) < 0) {
            return false;
        }
    }
    return std::rename(strTemporary.c_str(), CheckedPath(strDatabase).c_str()) == 0;
}

std::int64_t ReadCheckedTime(const std::string& strDatabase) {
    std::FILE* pFile = std::fopen(CheckedPath(strDatabase).c_str(), "rb");
    long long nTime = 0;
    if (pFile != nullptr) {
        if (std::fscanf(pFile, "%lld", &nTime) != 1) {
            nTime = 0;
        }
        std::fclose(pFile);
    }
    return nTime;
}

} // namespace

CListCache::CListCache(std::filesystem::path folder) : m_folder(std::move(folder)) {}

std::filesystem::path CListCache::DefaultFolder() {
    const char* pszCache = std::getenv("XDG_CACHE_HOME");
    if (pszCache != nullptr && *pszCache == '/') {
        return std::filesystem::path(pszCache) / "tallyvine" / "lists";
    }
    const char* pszHome = std::getenv("HOME");
    const std::filesystem::path home = pszHome != nullptr && *pszHome != '\0' ? pszHome : "/tmp";
    return home / ".cache" / "tallyvine" / "lists";
}

std::string CListCache::DatabasePath(const SListDefinition& definition) const {
    char szHash[17];
    std::snprintf(szHash, sizeof szHash, "%016llx",
                  static_cast<unsigned long long>(Fnv1a(definition.FormatKey())));
    return (m_folder / (FileStem(definition.strUrl) + "-" + szHash + ".sqlite")).string();
}

std::optional<SListInfo> CListCache::Info(const SListDefinition& definition) const {
    const std::string strPath = DatabasePath(definition);
    std::error_code error;
    if (!std::filesystem::exists(strPath, error)) {
        return std::nullopt;
    }
    std::string strError;
    const auto pDatabase = CListDatabase::OpenForLookup(strPath, strError);
    std::optional<SListInfo> info = pDatabase ? pDatabase->Info() : std::nullopt;
    if (info) {
        info->nFetchedAt = std::max(info->nFetchedAt, ReadCheckedTime(strPath));
    }
    return info;
}

bool CListCache::HoldsColumns(const SListDefinition& definition, const SListInfo& info) {
    if (info.columns.size() != definition.valueColumns.size()) {
        return false;
    }
    for (std::size_t i = 0; i < info.columns.size(); ++i) {
        if (info.columns[i] != definition.valueColumns[i].Text()) {
            return false;
        }
    }
    return true;
}

bool CListCache::IsFresh(const SListDefinition& definition, const SListInfo& info,
                         std::int64_t nNow) {
    const std::int64_t nAge = nNow - info.nFetchedAt;
    return HoldsColumns(definition, info) && nAge >= 0 &&
           nAge < static_cast<std::int64_t>(definition.nRefreshHours) * 3600;
}

SListStatus CListCache::Refresh(const SListDefinition& definition, bool bForce,
                                const std::string& strRoutedUrl, const ProgressFn& pfnProgress) {
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    if (error || ::access(m_folder.c_str(), W_OK | X_OK) != 0) {
        return Failure(EFailReason::Unavailable,
                       "the list cache folder " + m_folder.string() + " cannot be written" +
                           (error ? ": " + error.message() : std::string()));
    }
    const std::string strDatabase = DatabasePath(definition);
    CFileLock lock;
    if (!lock.Acquire(strDatabase + ".lock", m_pCancel)) {
        return IsCancelled()
                   ? Failure(EFailReason::Cancelled, "cancelled")
                   : Failure(EFailReason::Unavailable,
                             "the list's lock file cannot be made in " + m_folder.string());
    }
    return RefreshLocked(definition, bForce, strRoutedUrl, pfnProgress);
}

SListStatus CListCache::RefreshLocked(const SListDefinition& definition, bool bForce,
                                      const std::string& strRoutedUrl,
                                      const ProgressFn& pfnProgress) {
    const std::string strDatabase = DatabasePath(definition);
    const std::optional<SListInfo> cached = Info(definition);
    // Another process may have refreshed it while this one waited.
    if (!bForce && cached && IsFresh(definition, *cached, Now())) {
        return Success("fresh");
    }
    const std::string strPart = strDatabase + ".part";
    const std::string strNew = strDatabase + ".new";
    std::error_code error;
    std::filesystem::remove(strNew, error);
    SListInfo fetched;
    SListStatus status = Download(definition, strRoutedUrl, cached, strPart, pfnProgress, fetched);
    if (!status.bFailed && status.nHttpStatus == 304) {
        if (!WriteCheckedTime(strDatabase, Now())) {
            status = Failure(EFailReason::Unavailable,
                             "the list cache folder " + m_folder.string() + " cannot be written");
        }
    } else if (!status.bFailed) {
        status = Build(definition, strPart, strNew, pfnProgress, fetched);
        if (!status.bFailed) {
            std::filesystem::rename(strNew, strDatabase, error);
            if (error) {
                status = Failure(EFailReason::Unavailable,
                                 "the list's database cannot be put in place: " + error.message());
            }
        }
    }
    std::filesystem::remove(strPart, error);
    std::filesystem::remove(strNew, error);
    return status;
}

SListStatus CListCache::Download(const SListDefinition& definition, const std::string& strRoutedUrl,
                                 const std::optional<SListInfo>& cached, const std::string& strPart,
                                 const ProgressFn& pfnProgress, SListInfo& fetched) {
    auto pFile = CreatePrivate(strPart);
    if (!pFile) {
        return Failure(EFailReason::Unavailable,
                       "the list cannot be saved in " + m_folder.string() + " (cannot be written)");
    }
    CWebClient client(m_pCancel);
    STransferLimits limits = m_limits;
    limits.nCeilingMs = kNoCeilingMs;
    limits.nMaxBodyBytes = definition.nMaxBytes;
    client.SetLimits(limits);
    const bool bConditional = cached && HoldsColumns(definition, *cached);
    std::vector<std::string> arrHeaders;
    if (bConditional && IsHeaderSafe(cached->strETag)) {
        arrHeaders.push_back("If-None-Match: " + cached->strETag);
    }
    if (bConditional && IsHeaderSafe(cached->strLastModified)) {
        arrHeaders.push_back("If-Modified-Since: " + cached->strLastModified);
    }
    client.SetHeaders(std::move(arrHeaders));
    bool bWriteFailed = false;
    SListProgress progress;
    std::uint64_t nToldAt = 0;
    client.SetBodySink([&](std::string_view strPiece) {
        if (std::fwrite(strPiece.data(), 1, strPiece.size(), pFile.get()) != strPiece.size()) {
            bWriteFailed = true;
            return false;
        }
        progress.nBytes += strPiece.size();
        if (pfnProgress && (nToldAt == 0 || progress.nBytes - nToldAt >= kProgressBytes)) {
            progress.nTotalBytes =
                std::strtoull(client.GetReplyHeader("Content-Length").c_str(), nullptr, 10);
            nToldAt = progress.nBytes;
            pfnProgress(progress);
        }
        return true;
    });
    const bool bFetched = client.Fetch(strRoutedUrl.c_str()) != nullptr;
    const int nStatus = static_cast<int>(client.GetStatus());
    if (std::fflush(pFile.get()) != 0 || bWriteFailed) {
        return Failure(EFailReason::Unavailable,
                       "the list cannot be saved in " + m_folder.string() + " (disk full?)");
    }
    if (!bFetched) {
        return Failure(ReasonOf(client.GetFailure()), client.GetErrorText(), nStatus);
    }
    if (nStatus == 304 && bConditional) {
        return Success("unchanged", nStatus);
    }
    if (nStatus < 200 || nStatus > 299) {
        return Failure(EFailReason::HttpStatus, "HTTP status " + std::to_string(nStatus), nStatus);
    }
    fetched.strUrl = PublicUrl(definition.strUrl);
    fetched.strETag = client.GetReplyHeader("ETag");
    fetched.strLastModified = client.GetReplyHeader("Last-Modified");
    return Success("downloaded", nStatus);
}

SListStatus CListCache::Build(const SListDefinition& definition, const std::string& strPart,
                              const std::string& strNew, const ProgressFn& pfnProgress,
                              SListInfo& fetched) {
    std::string strError;
    auto pDatabase = CListDatabase::Create(strNew, definition.valueColumns.size(), strError);
    if (!pDatabase) {
        return Failure(EFailReason::Unavailable, strError);
    }
    bool bWriteFailed = false;
    SListProgress progress;
    progress.stage = SListProgress::EStage::Indexing;
    std::error_code error;
    progress.nBytes = std::filesystem::file_size(strPart, error);
    progress.nTotalBytes = progress.nBytes;
    CListParser parser(definition,
                       [&](std::string_view strName, const std::vector<std::string_view>& values) {
                           if (!pDatabase->Add(strName, values)) {
                               bWriteFailed = true;
                               return false;
                           }
                           if (pfnProgress && ++progress.nRows % kProgressRows == 0) {
                               pfnProgress(progress);
                           }
                           return true;
                       });
    const CListArchive::EResult result = CListArchive::Read(
        strPart, definition.strMember, definition.nMaxBytes * SListDefinition::kUnpackFactor,
        [&](std::string_view strBlock) { return !IsCancelled() && parser.Feed(strBlock); },
        strError);
    if (result == CListArchive::EResult::Done) {
        parser.Finish();
    }
    if (IsCancelled()) {
        return Failure(EFailReason::Cancelled, "cancelled");
    }
    if (bWriteFailed) {
        return Failure(EFailReason::Unavailable, "the list's database cannot be written");
    }
    if (!parser.Error().empty()) {
        return Failure(EFailReason::NoMatch, parser.Error());
    }
    if (result != CListArchive::EResult::Done) {
        return Failure(result == CListArchive::EResult::TooLarge ? EFailReason::TooLarge
                                                                 : EFailReason::NoMatch,
                       strError);
    }
    const std::size_t nRows = parser.Rows();
    const std::size_t nBroken = parser.BrokenLines();
    if (nBroken * kBrokenShare > nRows + nBroken) {
        return Failure(EFailReason::NoMatch, std::to_string(nBroken) + " of " +
                                                 std::to_string(nRows + nBroken) +
                                                 " lines of the list cannot be read");
    }
    if (nRows < definition.nMinRows) {
        return Failure(EFailReason::NoMatch, "the list holds only " + std::to_string(nRows) +
                                                 " rows, fewer than " +
                                                 std::to_string(definition.nMinRows));
    }
    fetched.nFetchedAt = Now();
    fetched.nRows = static_cast<std::int64_t>(nRows);
    for (const SListColumn& column : definition.valueColumns) {
        fetched.columns.push_back(column.Text());
    }
    if (!pDatabase->Finish(fetched, strError)) {
        return Failure(EFailReason::Unavailable, strError);
    }
    if (pfnProgress) {
        progress.nRows = nRows;
        pfnProgress(progress);
    }
    return Success("downloaded");
}
