#pragma once

#include "core/CDomainIndex.h"
#include "core/CDomainRecord.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

// Every record of the score list, in the byte order of the domains, with the
// lock that every single operation on them takes. The lock is never held
// across a walk: ForEachRecord, and the worker, go from record to record.
class CRecordStore {
public:
    CRecordStore() = default;
    // Deletes every record.
    ~CRecordStore() = default;

    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    // The new record; null when the domain is in the store already.
    CDomainRecord* AddDomain(std::string_view strDomain);
    // Tells the store that rows already in it were sent back to waiting or
    // had cells marked to be asked again.
    void NoteRowsWaiting();
    // Grow with every added row, and the second also with every note of
    // waiting rows: a walker that found nothing to do need not walk again
    // while they stay as they were.
    std::uint64_t AddCount() const { return m_nAdds.load(std::memory_order_acquire); }
    std::uint64_t ChangeCount() const { return m_nChanges.load(std::memory_order_acquire); }
    CDomainRecord* Find(std::string_view strDomain) const;
    std::size_t GetCount() const;
    // The record of the smallest domain; null when the store is empty.
    CDomainRecord* First() const;
    // The record after one the caller holds. Records keep their addresses
    // until RemoveAll, so a walk holds on to the last record, not to a place
    // that moves under inserts: rows added behind it wait for the next walk,
    // those ahead come in this one.
    CDomainRecord* Next(const CDomainRecord& record) const;
    // Calls fn for every record in order, taking the lock per step.
    void ForEachRecord(const std::function<void(CDomainRecord&)>& fn) const;
    // The first record after the one the caller holds (from the first when
    // pAfter is null) for which fn holds; null when none does. Steps over a
    // few thousand records per taking of the lock, and calls fn under it: fn
    // must not call the store.
    CDomainRecord* FindAfter(const CDomainRecord* pAfter,
                             const std::function<bool(CDomainRecord&)>& fn) const;
    // Deletes every record; no walk may be under way.
    void RemoveAll();

private:
    mutable std::mutex m_lock;
    CDomainIndex m_mapDomains;
    std::atomic<std::uint64_t> m_nAdds{0};
    std::atomic<std::uint64_t> m_nChanges{0};
};
