#pragma once

#include "lists/CListCache.h"

#include <string>

class CDomainRecord;
struct SPassSummary;

// What the scan controller tells its owner. Row added comes on the thread
// that added the row; the others come on the worker, which never waits for
// the owner: an owner with a window queues them onto its thread.
class IScanListener {
public:
    virtual void OnRowAdded(CDomainRecord& record) = 0;
    virtual void OnScanBegun(CDomainRecord& record) = 0;
    virtual void OnScanEnded(CDomainRecord& record) = 0;
    // A pass that scanned at least one row is through (on the worker).
    virtual void OnPassEnded(const SPassSummary& summary) = 0;
    // A list source's list is being downloaded or indexed (on the worker);
    // strTitle names the list ("the TrancoList list").
    virtual void OnListProgress(const std::string& strTitle, const SListProgress& progress) {
        static_cast<void>(strTitle);
        static_cast<void>(progress);
    }

protected:
    ~IScanListener() = default;
};
