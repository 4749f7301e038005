#include "core/CRecordStore.h"

CDomainRecord* CRecordStore::AddDomain(std::string_view strDomain) {
    std::lock_guard<std::mutex> lock(m_lock);
    CDomainRecord* pRecord = m_mapDomains.Insert(strDomain);
    if (pRecord != nullptr) {
        m_nAdds.fetch_add(1, std::memory_order_acq_rel);
        m_nChanges.fetch_add(1, std::memory_order_acq_rel);
    }
    return pRecord;
}

void CRecordStore::NoteRowsWaiting() {
    m_nChanges.fetch_add(1, std::memory_order_acq_rel);
}

CDomainRecord* CRecordStore::Find(std::string_view strDomain) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mapDomains.Find(strDomain);
}

std::size_t CRecordStore::GetCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mapDomains.GetCount();
}

CDomainRecord* CRecordStore::First() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mapDomains.First();
}

CDomainRecord* CRecordStore::Next(const CDomainRecord& record) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mapDomains.After(record.GetDomain());
}

void CRecordStore::ForEachRecord(const std::function<void(CDomainRecord&)>& fn) const {
    for (CDomainRecord* pRecord = First(); pRecord != nullptr; pRecord = Next(*pRecord)) {
        fn(*pRecord);
    }
}

CDomainRecord* CRecordStore::FindAfter(const CDomainRecord* pAfter,
                                       const std::function<bool(CDomainRecord&)>& fn) const {
    // Short enough that an add waits a fraction of a millisecond for the lock.
    constexpr std::size_t kRecordsPerLock = 4096;
    while (true) {
        CDomainIndex::SFound found{nullptr, nullptr};
        {
            std::lock_guard<std::mutex> lock(m_lock);
            found = m_mapDomains.FindFrom(pAfter, kRecordsPerLock, fn);
        }
        if (found.pFound != nullptr || found.pLast == nullptr) {
            return found.pFound;
        }
        pAfter = found.pLast;
    }
}

void CRecordStore::RemoveAll() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_mapDomains.Clear();
}
