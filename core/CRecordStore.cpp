#include "core/CRecordStore.h"

CDomainRecord* CRecordStore::AddDomain(std::string_view strDomain) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mapDomains.Insert(strDomain);
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

void CRecordStore::RemoveAll() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_mapDomains.Clear();
}
