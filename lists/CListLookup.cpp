#include "lists/CListLookup.h"

#include "lists/ListNames.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Whether value a ranks better than b; values that are no numbers rank last.
bool IsBetter(const std::string& a, const std::string& b, bool bAscending) {
    char* pEndA = nullptr;
    char* pEndB = nullptr;
    const double dA = std::strtod(a.c_str(), &pEndA);
    const double dB = std::strtod(b.c_str(), &pEndB);
    const bool bNumberA = pEndA != a.c_str();
    const bool bNumberB = pEndB != b.c_str();
    if (bNumberA != bNumberB) {
        return bNumberA;
    }
    return bNumberA && (bAscending ? dA < dB : dA > dB);
}

} // namespace

std::unique_ptr<CListLookup> CListLookup::Open(const std::string& strPath,
                                               const SListColumn& column, std::string& strError) {
    auto pDatabase = CListDatabase::OpenForLookup(strPath, strError);
    if (!pDatabase) {
        return nullptr;
    }
    std::optional<SListInfo> info = pDatabase->Info();
    const auto it = std::find(info->columns.begin(), info->columns.end(), column.Text());
    if (it == info->columns.end()) {
        strError = "the cached list holds no column '" + column.Text() + "'";
        return nullptr;
    }
    const auto nColumn = static_cast<std::size_t>(it - info->columns.begin());
    return std::unique_ptr<CListLookup>(
        new CListLookup(std::move(pDatabase), std::move(*info), nColumn));
}

std::optional<SListMatch> CListLookup::Find(std::string_view strDomain, EListLookup lookup,
                                            bool bAscending) {
    std::optional<SListMatch> best;
    for (std::string& strName : LookupNames(strDomain, lookup)) {
        std::optional<std::string> value = m_pDatabase->Find(strName, m_nColumn);
        if (!value) {
            continue;
        }
        if (!best || IsBetter(*value, best->strValue, bAscending)) {
            best = SListMatch{std::move(strName), std::move(*value)};
        }
        if (lookup != EListLookup::Origin) {
            break;
        }
    }
    return best;
}
