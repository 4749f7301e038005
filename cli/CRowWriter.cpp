#include "cli/CRowWriter.h"

#include "core/CRecordStore.h"

CRowWriter::CRowWriter(const CRecordStore& store, const CDomainRecord* pFirst, LineBuilder pfnLine,
                       Sink pfnSink)
    : m_store(store), m_pNext(pFirst), m_pfnLine(std::move(pfnLine)),
      m_pfnSink(std::move(pfnSink)) {}

bool CRowWriter::WriteUpTo(const CDomainRecord& record) {
    while (m_pNext != nullptr) {
        const CDomainRecord* pRecord = m_pNext;
        m_pNext = m_store.Next(*pRecord);
        if (!WriteOne(*pRecord)) {
            return false;
        }
        if (pRecord == &record) {
            break;
        }
    }
    return true;
}

bool CRowWriter::WriteRest(const std::function<bool(const CDomainRecord&)>& pfnTake) {
    for (; m_pNext != nullptr; m_pNext = m_store.Next(*m_pNext)) {
        if (pfnTake(*m_pNext) && !WriteOne(*m_pNext)) {
            return false;
        }
    }
    return true;
}

std::string CRowWriter::LineOf(const CDomainRecord& record) const {
    std::string strLine;
    m_pfnLine(record, strLine);
    return strLine;
}

bool CRowWriter::WriteOne(const CDomainRecord& record) {
    if (&record == m_pKept) {
        return m_pfnSink(m_strKept, 1);
    }
    m_strLine.clear();
    m_pfnLine(record, m_strLine);
    return m_pfnSink(m_strLine, 1);
}
