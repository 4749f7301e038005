#pragma once

#include "lists/SListInfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One list's SQLite database: a table of names, each with the texts of the
// list's value columns, and the list's metadata. A database is written once,
// by the builder, into a new file that nothing reads yet, and never changes
// after it is put in place; so lookups open it read-only as immutable, which
// spares them a file lock and a change check at every statement.
class CListDatabase {
public:
    ~CListDatabase();
    CListDatabase(const CListDatabase&) = delete;
    CListDatabase& operator=(const CListDatabase&) = delete;

    // Opens an existing database for lookups; null (with the reason) when it
    // cannot be read.
    static std::unique_ptr<CListDatabase> OpenForLookup(const std::string& strPath,
                                                        std::string& strError);
    // Creates the file strPath (which must not exist) for nColumns value
    // columns. The build runs as one transaction without a journal: a file
    // that does not finish is thrown away, never read.
    static std::unique_ptr<CListDatabase> Create(const std::string& strPath, std::size_t nColumns,
                                                 std::string& strError);

    // Adds a row; a name met before keeps its first row (lists put the best
    // first). Rows are gathered and written in the order of their names, a
    // batch at a time, which makes the tree grow at its end rather than at
    // random places. False when the database cannot be written.
    bool Add(std::string_view strName, const std::vector<std::string_view>& values);
    // Writes the metadata, commits and flushes the file to disk.
    bool Finish(const SListInfo& info, std::string& strError);

    // The metadata of an open database; nullopt when it holds none.
    std::optional<SListInfo> Info();
    // The value column nColumn of the name's row; nullopt when the list does
    // not hold the name.
    std::optional<std::string> Find(std::string_view strName, std::size_t nColumn);

private:
    explicit CListDatabase(sqlite3* pDb) : m_pDb(pDb) {}
    bool Execute(const char* pszSql);
    std::string LastError() const;
    sqlite3_stmt* Prepare(const std::string& strSql);
    bool WriteBatch();

    sqlite3* m_pDb;
    std::string m_strPath;
    sqlite3_stmt* m_pInsert = nullptr;
    // The batch: each row's texts, each led by its length, and where each
    // row starts.
    std::string m_strBatch;
    std::vector<std::uint32_t> m_arrRows;
    std::size_t m_nFields = 0;
    std::vector<sqlite3_stmt*> m_arrFind;
};
