#include "exchange/ColumnSort.h"

#include "core/CDomainRecord.h"
#include "core/LeadingNumber.h"
#include "queries/TextHelpers.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

EMetric CountMetricOf(int nColumn) {
    return static_cast<EMetric>(nColumn - 2);
}

bool CompareCount(const CDomainRecord* a, const CDomainRecord* b, EMetric metric) {
    return CountKey(a->GetMetric(metric)) > CountKey(b->GetMetric(metric));
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
    return a->GetPageRank() > b->GetPageRank();
}

bool CompareAlexa(const CDomainRecord* a, const CDomainRecord* b) {
    return ReadNumber(a->GetAlexa()) < ReadNumber(b->GetAlexa());
}

bool CompareGSite(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::GSite);
}
bool CompareGLink(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::GLink);
}
bool CompareGSearch1(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::GSearch1);
}
bool CompareGSearch2(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::GSearch2);
}
bool CompareBSite(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::BSite);
}
bool CompareBLink(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::BLink);
}
bool CompareBSearch1(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::BSearch1);
}
bool CompareBSearch2(const CDomainRecord* a, const CDomainRecord* b) {
    return CompareCount(a, b, EMetric::BSearch2);
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
    } else if (nColumn == 2) {
        SortByKey<std::int16_t>(
            arrRows, [](const CDomainRecord& r) { return r.GetPageRank(); },
            std::greater<std::int16_t>());
    } else if (nColumn == 3) {
        SortByKey<std::int64_t>(
            arrRows, [](const CDomainRecord& r) { return ReadNumber(r.GetAlexa()); },
            std::less<std::int64_t>());
    } else {
        const EMetric metric = CountMetricOf(nColumn);
        SortByKey<std::int64_t>(
            arrRows, [metric](const CDomainRecord& r) { return CountKey(r.GetMetric(metric)); },
            std::greater<std::int64_t>());
    }
}
