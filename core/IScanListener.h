#pragma once

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

protected:
    ~IScanListener() = default;
};
