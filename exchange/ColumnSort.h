#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDomainRecord;

// Sorting a list of records by its domains or by one metric, best value
// first; a metric sorts by its sort key, in its one fixed direction.

// A number as atoi reads it (leading white space, an optional sign, decimal
// digits up to the first other byte; 0 when there are none), held in 64 bits
// so that counts beyond 2^31 - 1 still order by size; larger ones saturate.
std::int64_t ReadNumber(const std::string& strText);
// A count text read as a number after every thousands comma is removed.
std::int64_t CountKey(const std::string& strText);

// Byte order of the domains, the empty text first.
bool CompareDomain(const CDomainRecord* a, const CDomainRecord* b);

// Whether a goes before b; it reads its records' texts afresh.
using RecordPredicate = std::function<bool(const CDomainRecord* a, const CDomainRecord* b)>;
// The predicate of a metric (its index in the metric table); empty for an
// index past the last.
RecordPredicate MetricPredicate(std::size_t nMetric);

// Sort the sequence by the domains, or by a metric in the order its predicate
// gives. The keys are read once, before sorting, so the order stays
// consistent while the worker stores values; rows with equal keys keep their
// order. A metric index past the last changes nothing.
void SortByDomain(std::vector<CDomainRecord*>& arrRows);
void SortByMetric(std::vector<CDomainRecord*>& arrRows, std::size_t nMetric);
