#include "lists/CListDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Larger pages make the tree shallower and the build's writes fewer; the
// build's page cache is held under a bound so a large list keeps a small
// footprint.
constexpr char kBuildSettings[] = "PRAGMA page_size=8192;"
                                  "PRAGMA journal_mode=OFF;"
                                  "PRAGMA synchronous=OFF;"
                                  "PRAGMA locking_mode=EXCLUSIVE;"
                                  "PRAGMA temp_store=MEMORY;"
                                  "PRAGMA cache_size=-16384;";
// Lookups walk the file's pages at random: read through a mapping, with a
// cache as large as a million-row list's inner pages.
constexpr char kLookupSettings[] = "PRAGMA mmap_size=1073741824;"
                                   "PRAGMA cache_size=-8192;";

// The rows gathered before they are sorted and written: large enough that a
// list of a million names is written in one ordered run, small enough for a
// modest footprint.
constexpr std::size_t kBatchBytes = 40u * 1024u * 1024u;

void AppendField(std::string& strBatch, std::string_view strField) {
    const auto nLength = static_cast<std::uint32_t>(strField.size());
    strBatch.append(reinterpret_cast<const char*>(&nLength), sizeof nLength);
    strBatch.append(strField);
}

std::string_view FieldAt(std::string_view strBatch, std::size_t nAt) {
    std::uint32_t nLength = 0;
    std::memcpy(&nLength, strBatch.data() + nAt, sizeof nLength);
    return strBatch.substr(nAt + sizeof nLength, nLength);
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string strText;
    for (const std::string& strPart : parts) {
        strText += (strText.empty() ? "" : "\t") + strPart;
    }
    return strText;
}

std::vector<std::string> SplitTabs(std::string_view strText) {
    std::vector<std::string> parts;
    while (!strText.empty()) {
        const std::size_t nTab = strText.find('\t');
        parts.emplace_back(strText.substr(0, nTab));
        strText = nTab == std::string_view::npos ? std::string_view() : strText.substr(nTab + 1);
    }
    return parts;
}

// The path as a file URI writes it: every byte but the plain ones escaped.
std::string UriPath(std::string_view strPath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string strUri;
    for (char c : strPath) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) != 0 || c == '/' || c == '.' || c == '-' || c == '_') {
            strUri += c;
        } else {
            strUri += '%';
            strUri += kHex[b >> 4];
            strUri += kHex[b & 15];
        }
    }
    return strUri;
}

bool FlushToDisk(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool bDone = ::fsync(fd) == 0;
    ::close(fd);
    return bDone;
}

} // namespace

CListDatabase::~CListDatabase() {
    sqlite3_finalize(m_pInsert);
    for (sqlite3_stmt* pFind : m_arrFind) {
        sqlite3_finalize(pFind);
    }
    sqlite3_close(m_pDb);
}

std::string CListDatabase::LastError() const {
    return sqlite3_errmsg(m_pDb);
}

bool CListDatabase::Execute(const char* pszSql) {
    return sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* CListDatabase::Prepare(const std::string& strSql) {
    sqlite3_stmt* pStatement = nullptr;
    if (sqlite3_prepare_v3(m_pDb, strSql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &pStatement,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(pStatement);
        return nullptr;
    }
    return pStatement;
}

std::unique_ptr<CListDatabase> CListDatabase::OpenForLookup(const std::string& strPath,
                                                            std::string& strError) {
    sqlite3* pDb = nullptr;
    const std::string strUri = "file:" + UriPath(strPath) + "?immutable=1";
    const int nOpened =
        sqlite3_open_v2(strUri.c_str(), &pDb,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<CListDatabase> pDatabase(new CListDatabase(pDb));
    if (nOpened != SQLITE_OK) {
        strError = "the list's database cannot be opened: " + pDatabase->LastError();
        return nullptr;
    }
    // Only speed, lookups work without: and one read transaction for all of
    // them, which an immutable file allows, instead of one a lookup.
    pDatabase->Execute(kLookupSettings);
    pDatabase->Execute("BEGIN");
    if (!pDatabase->Info()) {
        strError = "the list's database is unreadable";
        return nullptr;
    }
    return pDatabase;
}

std::unique_ptr<CListDatabase> CListDatabase::Create(const std::string& strPath,
                                                     std::size_t nColumns, std::string& strError) {
    // Made here first, so that it is its owner's alone from the start.
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        strError = "the list's database cannot be made: " + std::string(std::strerror(errno));
        return nullptr;
    }
    ::close(fd);
    sqlite3* pDb = nullptr;
    const int nOpened = sqlite3_open_v2(strPath.c_str(), &pDb,
                                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<CListDatabase> pDatabase(new CListDatabase(pDb));
    pDatabase->m_strPath = strPath;
    std::string strColumns;
    std::string strMarks;
    for (std::size_t i = 0; i < nColumns; ++i) {
        strColumns += ", v" + std::to_string(i) + " TEXT NOT NULL";
        strMarks += ", ?" + std::to_string(i + 2);
    }
    const std::string strSchema =
        "CREATE TABLE names(name TEXT PRIMARY KEY NOT NULL" + strColumns +
        ") WITHOUT ROWID;"
        "CREATE TABLE meta(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID;";
    if (nOpened != SQLITE_OK || !pDatabase->Execute(kBuildSettings) ||
        !pDatabase->Execute(strSchema.c_str()) || !pDatabase->Execute("BEGIN")) {
        strError = "the list's database cannot be written: " + pDatabase->LastError();
        return nullptr;
    }
    pDatabase->m_nFields = nColumns + 1;
    pDatabase->m_pInsert =
        pDatabase->Prepare("INSERT OR IGNORE INTO names VALUES(?1" + strMarks + ")");
    if (pDatabase->m_pInsert == nullptr) {
        strError = "the list's database cannot be written: " + pDatabase->LastError();
        return nullptr;
    }
    return pDatabase;
}

bool CListDatabase::Add(std::string_view strName, const std::vector<std::string_view>& values) {
    m_arrRows.push_back(static_cast<std::uint32_t>(m_strBatch.size()));
    AppendField(m_strBatch, strName);
    for (std::string_view strValue : values) {
        AppendField(m_strBatch, strValue);
    }
    return m_strBatch.size() < kBatchBytes || WriteBatch();
}

bool CListDatabase::WriteBatch() {
    const std::string_view strBatch = m_strBatch;
    // Stable, so that of two rows with one name the first is written first
    // and kept.
    std::stable_sort(m_arrRows.begin(), m_arrRows.end(), [&](std::uint32_t a, std::uint32_t b) {
        return FieldAt(strBatch, a) < FieldAt(strBatch, b);
    });
    bool bDone = true;
    for (std::uint32_t nRow : m_arrRows) {
        std::size_t nAt = nRow;
        for (std::size_t i = 0; i < m_nFields; ++i) {
            const std::string_view strField = FieldAt(strBatch, nAt);
            sqlite3_bind_text(m_pInsert, static_cast<int>(i + 1), strField.data(),
                              static_cast<int>(strField.size()), SQLITE_STATIC);
            nAt += sizeof(std::uint32_t) + strField.size();
        }
        bDone = sqlite3_step(m_pInsert) == SQLITE_DONE;
        sqlite3_reset(m_pInsert);
        if (!bDone) {
            break;
        }
    }
    m_strBatch.clear();
    m_arrRows.clear();
    return bDone;
}

bool CListDatabase::Finish(const SListInfo& info, std::string& strError) {
    sqlite3_stmt* pMeta = WriteBatch() ? Prepare("INSERT INTO meta VALUES(?1, ?2)") : nullptr;
    bool bDone = pMeta != nullptr;
    const std::pair<const char*, std::string> rows[] = {
        {"url", info.strUrl},
        {"etag", info.strETag},
        {"last_modified", info.strLastModified},
        {"fetched_at", std::to_string(info.nFetchedAt)},
        {"rows", std::to_string(info.nRows)},
        {"columns", Joined(info.columns)},
    };
    for (const auto& [pszKey, strValue] : rows) {
        if (!bDone) {
            break;
        }
        sqlite3_bind_text(pMeta, 1, pszKey, -1, SQLITE_STATIC);
        sqlite3_bind_text(pMeta, 2, strValue.data(), static_cast<int>(strValue.size()),
                          SQLITE_STATIC);
        bDone = sqlite3_step(pMeta) == SQLITE_DONE;
        sqlite3_reset(pMeta);
    }
    sqlite3_finalize(pMeta);
    sqlite3_finalize(m_pInsert);
    m_pInsert = nullptr;
    bDone = bDone && Execute("COMMIT");
    if (!bDone) {
        strError = "the list's database cannot be written: " + LastError();
        return false;
    }
    sqlite3_close(m_pDb);
    m_pDb = nullptr;
    // Written without a journal or syncs: it goes to the disk whole before
    // a rename lets anyone read it.
    if (!FlushToDisk(m_strPath)) {
        strError = "the list's database cannot be flushed to disk";
        return false;
    }
    return true;
}

std::optional<SListInfo> CListDatabase::Info() {
    sqlite3_stmt* pMeta = Prepare("SELECT key, value FROM meta");
    if (pMeta == nullptr) {
        return std::nullopt;
    }
    SListInfo info;
    int nKeys = 0;
    while (sqlite3_step(pMeta) == SQLITE_ROW) {
        const std::string_view strKey =
            reinterpret_cast<const char*>(sqlite3_column_text(pMeta, 0));
        const char* pszValue = reinterpret_cast<const char*>(sqlite3_column_text(pMeta, 1));
        const std::string strValue = pszValue != nullptr ? pszValue : "";
        ++nKeys;
        if (strKey == "url") {
            info.strUrl = strValue;
        } else if (strKey == "etag") {
            info.strETag = strValue;
        } else if (strKey == "last_modified") {
            info.strLastModified = strValue;
        } else if (strKey == "fetched_at") {
            info.nFetchedAt = std::atoll(strValue.c_str());
        } else if (strKey == "rows") {
            info.nRows = std::atoll(strValue.c_str());
        } else if (strKey == "columns") {
            info.columns = SplitTabs(strValue);
        }
    }
    sqlite3_finalize(pMeta);
    if (nKeys == 0) {
        return std::nullopt;
    }
    return info;
}

std::optional<std::string> CListDatabase::Find(std::string_view strName, std::size_t nColumn) {
    if (nColumn >= m_arrFind.size()) {
        m_arrFind.resize(nColumn + 1, nullptr);
    }
    sqlite3_stmt*& pFind = m_arrFind[nColumn];
    if (pFind == nullptr) {
        pFind = Prepare("SELECT v" + std::to_string(nColumn) + " FROM names WHERE name=?1");
        if (pFind == nullptr) {
            return std::nullopt;
        }
    }
    sqlite3_bind_text(pFind, 1, strName.data(), static_cast<int>(strName.size()), SQLITE_STATIC);
    std::optional<std::string> value;
    if (sqlite3_step(pFind) == SQLITE_ROW) {
        const auto* pszValue = reinterpret_cast<const char*>(sqlite3_column_text(pFind, 0));
        value = std::string(pszValue != nullptr ? pszValue : "");
    }
    sqlite3_reset(pFind);
    return value;
}
