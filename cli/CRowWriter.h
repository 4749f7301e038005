#pragma once

#include <functional>
#include <string>
#include <string_view>

class CDomainRecord;
class CRecordStore;

// Writes the rows of a scan in the order of the record store as their scans
// end. The scan walks the store in the same order, so an uninterrupted run
// writes the bytes of the whole-list export; rows the scan passes over (ones
// read back from an earlier run) are written when a later row ends.
class CRowWriter {
public:
    using LineBuilder = std::function<void(const CDomainRecord& record, std::string& strOut)>;
    // Takes bytes holding nRows rows; false when they cannot be written.
    using Sink = std::function<bool(std::string_view bytes, std::size_t nRows)>;

    // pFirst: the first record to write (null: none).
    CRowWriter(const CRecordStore& store, const CDomainRecord* pFirst, LineBuilder pfnLine,
               Sink pfnSink);

    bool WriteHead(std::string_view strHead) { return m_pfnSink(strHead, 0); }
    // Writes every row up to the one whose scan ended, that one included.
    bool WriteUpTo(const CDomainRecord& record);
    // The line to write for the record instead of one built from it: a row
    // whose retry was cut short keeps the line it had.
    void KeepLine(const CDomainRecord* pRecord, std::string strLine) {
        m_pKept = pRecord;
        m_strKept = std::move(strLine);
    }
    std::string LineOf(const CDomainRecord& record) const;
    // Writes the rows left: those the pfnTake takes.
    bool WriteRest(const std::function<bool(const CDomainRecord&)>& pfnTake);

private:
    bool WriteOne(const CDomainRecord& record);

    const CRecordStore& m_store;
    const CDomainRecord* m_pNext;
    LineBuilder m_pfnLine;
    Sink m_pfnSink;
    std::string m_strLine;
    const CDomainRecord* m_pKept = nullptr;
    std::string m_strKept;
};
