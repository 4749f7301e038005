#pragma once

#include "lists/CListDatabase.h"
#include "lists/SListDefinition.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A row's answer from a list: the value and the name it was found under.
struct SListMatch {
    std::string strName;
    std::string strValue;
};

// Looks rows up in one cached list, opened read-only. Used by one thread at
// a time.
class CListLookup {
public:
    // Null, with the reason, when the database cannot be read or does not
    // hold the column.
    static std::unique_ptr<CListLookup> Open(const std::string& strPath, const SListColumn& column,
                                             std::string& strError);

    const SListInfo& Info() const { return m_info; }

    // The row's value: the first of its lookup names the list holds, or,
    // for origins, the best value of them all (the smallest when bAscending).
    // nullopt when the list holds none of them.
    std::optional<SListMatch> Find(std::string_view strDomain, EListLookup lookup, bool bAscending);

private:
    CListLookup(std::unique_ptr<CListDatabase> pDatabase, SListInfo info, std::size_t nColumn)
        : m_pDatabase(std::move(pDatabase)), m_info(std::move(info)), m_nColumn(nColumn) {}

    std::unique_ptr<CListDatabase> m_pDatabase;
    SListInfo m_info;
    std::size_t m_nColumn;
};
