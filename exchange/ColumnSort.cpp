#include "exchange/ColumnSort.h"

#include "core/CDomainRecord.h"
#include "core/LeadingNumber.h"
#include "queries/TextHelpers.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

// The number a numeric column sorts by: columns 2 to 11 show the metrics in
// their order, PR first.
std::int64_t NumberKey(const CDomainRecord& record, int nColumn) {
    const auto metric = static_cast<EMetric>(nColumn - 2);
    if (metric == EMetric::PR) {
        return record.GetPageRank();
    }
    if (metric == EMetric::Alexa) {
        return ReadNumber(record.GetAlexa());
    }
    return CountKey(record.GetMetric(metric));
}

// Alexa ranks go smallest first; PR and the counts largest first.
bool LargerFirst(int nColumn) {
    return nColumn != 3;
}

template <int nColumn> bool CompareNumber(const CDomainRecord* a, const CDomainRecord* b) {
    const std::int64_t x = NumberKey(*a, nColumn);
    const std::int64_t y = NumberKey(*b, nColumn);
    return LargerFirst(nColumn) ? x > y : x < y;
}

// Takes every row's key once, sorts the rows by it and writes them back.
// The keys are read in the order the records lie in memory, not in display
// order, which after an earlier sort is random and would miss the cache on
// almost every row; the display position breaks ties, so equal rows keep
// their order.
template <typename Key, typename KeyOf, typename Before>
void SortByKey(std::vector<CDomainRecord*>& arrRows, KeyOf keyOf, Before before) {
    struct SItem {
        CDomainRecord* pRecord;
        std::size_t nPosition;
        Key key;
    };
    std::vector<SItem> items(arrRows.size());
    for (std::size_t i = 0; i < arrRows.size(); ++i) {
        items[i].pRecord = arrRows[i];
        items[i].nPosition = i;
    }
    std::sort(items.begin(), items.end(), [](const SItem& a, const SItem& b) {
        return std::less<CDomainRecord*>()(a.pRecord, b.pRecord);
    });
    for (SItem& item : items) {
        item.key = keyOf(*item.pRecord);
    }
    std::sort(items.begin(), items.end(), [&](const SItem& a, const SItem& b) {
        return before(a.key, b.key) || (!before(b.key, a.key) && a.nPosition < b.nPosition);
    });
    for (std::size_t i = 0; i < items.size(); ++i) {
        arrRows[i] = items[i].pRecord;
    }
}

} // namespace

std::int64_t ReadNumber(const std::string& strText) {
    return LeadingNumber(strText);
}

std::int64_t CountKey(const std::string& strText) {
    return ReadNumber(ReplaceAll(strText, ",", ""));
}

bool CompareDomain(const CDomainRecord* a, const CDomainRecord* b) {
    // string_view compares bytes as unsigned values; the empty text is smallest.
    return std::string_view(a->GetDomain()) < std::string_view(b->GetDomain());
}

bool ComparePR(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<2>(a, b);
}
bool CompareAlexa(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<3>(a, b);
}
bool CompareGSite(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<4>(a, b);
}
bool CompareGLink(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<5>(a, b);
}
bool CompareGSearch1(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<6>(a, b);
}
bool CompareGSearch2(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<7>(a, b);
}
bool CompareBSite(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<8>(a, b);
}
bool CompareBLink(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<9>(a, b);
}
bool CompareBSearch1(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<10>(a, b);
}
bool CompareBSearch2(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareNumber<11>(a, b);
}

RecordPredicate PredicateForColumn(int nColumn) {
    static constexpr RecordPredicate kPredicates[kSortColumnCount] = {
        nullptr,      CompareDomain, ComparePR,       CompareAlexa,
        CompareGSite, CompareGLink,  CompareGSearch1, CompareGSearch2,
        CompareBSite, CompareBLink,  CompareBSearch1, CompareBSearch2,
    };
    return nColumn > 0 && nColumn < kSortColumnCount ? kPredicates[nColumn] : nullptr;
}

void SortByColumn(std::vector<CDomainRecord*>& arrRows, int nColumn) {
    if (PredicateForColumn(nColumn) == nullptr) {
        return;
    }
    if (nColumn == 1) {
        SortByKey<std::string_view>(
            arrRows, [](const CDomainRecord& r) { return std::string_view(r.GetDomain()); },
            std::less<std::string_view>());
        return;
    }
    const auto key = [nColumn](const CDomainRecord& r) { return NumberKey(r, nColumn); };
    if (LargerFirst(nColumn)) {
        SortByKey<std::int64_t>(arrRows, key, std::greater<std::int64_t>());
    } else {
        SortByKey<std::int64_t>(arrRows, key, std::less<std::int64_t>());
    }
}
