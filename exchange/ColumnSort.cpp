#include "exchange/ColumnSort.h"

#include "core/CDomainRecord.h"
#include "queries/TextHelpers.h"

#include <algorithm>
#include <cstdlib>
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
template <typename Key, typename KeyOf, typename Before>
void SortByKey(std::vector<CDomainRecord*>& arrRows, KeyOf keyOf, Before before) {
    std::vector<std::pair<Key, CDomainRecord*>> keyed;
    keyed.reserve(arrRows.size());
    for (CDomainRecord* pRecord : arrRows) {
        keyed.emplace_back(keyOf(*pRecord), pRecord);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& a, const auto& b) { return before(a.first, b.first); });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        arrRows[i] = keyed[i].second;
    }
}

} // namespace

std::int64_t ReadNumber(const std::string& strText) {
    // strtoll reads as atoi does, but in 64 bits and saturating.
    return std::strtoll(strText.c_str(), nullptr, 10);
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
