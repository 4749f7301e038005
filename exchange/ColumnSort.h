#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CDomainRecord;

// Sorting the score list by a column, best value first; each column has one
// fixed direction. Column 0 ("No") is not sortable; 1 is the domain, 2 PR,
// 3 Alexa, 4 to 11 the counts GSite, GLink, GSearch1, GSearch2, BSite, BLink,
// BSearch1 and BSearch2.

inline constexpr int kSortColumnCount = 12;

// A number as atoi reads it (leading white space, an optional sign, decimal
// digits up to the first other byte; 0 when there are none), held in 64 bits
// so that counts beyond 2^31 - 1 still order by size; larger ones saturate.
std::int64_t ReadNumber(const std::string& strText);
// A count text read as a number after every thousands comma is removed.
std::int64_t CountKey(const std::string& strText);

// Whether a goes before b. Each reads its records' texts afresh.
bool CompareDomain(const CDomainRecord* a, const CDomainRecord* b); // byte order
bool ComparePR(const CDomainRecord* a, const CDomainRecord* b); // larger first, waiting (-1) last
bool CompareAlexa(const CDomainRecord* a, const CDomainRecord* b); // smaller first, empty (0) first
bool CompareGSite(const CDomainRecord* a,
                  const CDomainRecord* b); // larger first, empty among zeros
bool CompareGLink(const CDomainRecord* a, const CDomainRecord* b);
bool CompareGSearch1(const CDomainRecord* a, const CDomainRecord* b);
bool CompareGSearch2(const CDomainRecord* a, const CDomainRecord* b);
bool CompareBSite(const CDomainRecord* a, const CDomainRecord* b);
bool CompareBLink(const CDomainRecord* a, const CDomainRecord* b);
bool CompareBSearch1(const CDomainRecord* a, const CDomainRecord* b);
bool CompareBSearch2(const CDomainRecord* a, const CDomainRecord* b);

using RecordPredicate = bool (*)(const CDomainRecord* a, const CDomainRecord* b);
// The predicate of a column; null for column 0 and for indexes outside 1 to 11.
RecordPredicate PredicateForColumn(int nColumn);

// Sorts the display sequence by a column, in the order the column's predicate
// gives. The keys are read once, before sorting, so the order stays
// consistent while the worker stores values; rows with equal keys keep their
// order. Column 0, negative columns and columns above 11 change nothing.
void SortByColumn(std::vector<CDomainRecord*>& arrRows, int nColumn);
