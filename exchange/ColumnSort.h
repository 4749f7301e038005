#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDomainRecord;

// Sorting the score list by a column, best value first; each column has one
// fixed direction. Column 0 ("No") is not sortable; 1 is the domain; from 2
// on, the metrics in the metric table's order, each by its sort key and in
// its direction.

inline constexpr int kFirstMetricColumn = 2;
// The number of columns: "No", the domain and one per metric.
int SortColumnCount();

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
// The predicate of a column; empty for column 0 and for columns past the
// last.
RecordPredicate PredicateForColumn(int nColumn);
// Whether the column puts its smallest value first (the domain, a rank).
bool SortsAscending(int nColumn);

// Sorts the display sequence by a column, in the order the column's predicate
// gives. The keys are read once, before sorting, so the order stays
// consistent while the worker stores values; rows with equal keys keep their
// order. Column 0, negative columns and columns past the last change nothing.
void SortByColumn(std::vector<CDomainRecord*>& arrRows, int nColumn);
