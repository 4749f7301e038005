#pragma once

class CDomainRecord;

// What the scan controller tells its owner. Row added comes on the thread
// that added the row; scan begun and ended come on the worker, which never
// waits for the owner: an owner with a window queues them onto its thread.
class IScanListener {
public:
    virtual void OnRowAdded(CDomainRecord& record) = 0;
    virtual void OnScanBegun(CDomainRecord& record) = 0;
    virtual void OnScanEnded(CDomainRecord& record) = 0;

protected:
    ~IScanListener() = default;
};
