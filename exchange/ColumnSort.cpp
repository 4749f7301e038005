#include "exchange/ColumnSort.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/LeadingNumber.h"
#include "queries/TextHelpers.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

// The number a metric sorts by.
std::int64_t NumberKey(const CDomainRecord& record, std::size_t nMetric) {
    switch (CMetricTable::At(nMetric).sortKey) {
    case ESortKey::PageRank:
        return record.GetPageRank();
    case ESortKey::Number:
        return ReadNumber(record.GetMetric(nMetric));
    case ESortKey::Count:
        break;
    }
    return CountKey(record.GetMetric(nMetric));
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

RecordPredicate MetricPredicate(std::size_t nMetric) {
    if (nMetric >= CMetricTable::Count()) {
        return {};
    }
    const bool bAscending = CMetricTable::At(nMetric).bAscending;
    return [nMetric, bAscending](const CDomainRecord* a, const CDomainRecord* b) {
        const std::int64_t x = NumberKey(*a, nMetric);
        const std::int64_t y = NumberKey(*b, nMetric);
        return bAscending ? x < y : x > y;
    };
}

void SortByDomain(std::vector<CDomainRecord*>& arrRows) {
    SortByKey<std::string_view>(
        arrRows, [](const CDomainRecord& r) { return std::string_view(r.GetDomain()); },
        std::less<std::string_view>());
}

void SortByMetric(std::vector<CDomainRecord*>& arrRows, std::size_t nMetric) {
    if (nMetric >= CMetricTable::Count()) {
        return;
    }
    const auto key = [nMetric](const CDomainRecord& r) { return NumberKey(r, nMetric); };
    if (CMetricTable::At(nMetric).bAscending) {
        SortByKey<std::int64_t>(arrRows, key, std::less<std::int64_t>());
    } else {
        SortByKey<std::int64_t>(arrRows, key, std::greater<std::int64_t>());
    }
}
