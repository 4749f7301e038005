#pragma once

#include "core/CDomainRecord.h"
#include "core/IScanListener.h"
#include "core/SPassSummary.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The scan controller's reports as typed signals on the window thread.
//
// The listener calls may come from any thread and never wait for the window:
// each is queued, and one delivery is scheduled per burst. The window thread
// then emits the queued reports in the order they came, consecutive added
// rows as one RowsAdded, so a million added rows cost one event and one list
// update, not a million. A delivery emits for a few milliseconds at most and
// leaves the rest to the next one, so a worker that reports faster than the
// window redraws never holds the window's event loop for long.
//
// Discard() drops every report not yet emitted. The window calls it before it
// deletes records (Clean), so no signal ever names a freed record.
class CScanSignals : public QObject, public IScanListener {
    Q_OBJECT

public:
    explicit CScanSignals(QObject* pParent = nullptr);
    // A pending delivery is removed with this object, so it never runs on a
    // dead one.
    ~CScanSignals() override;

    void OnRowAdded(CDomainRecord& record) override;
    void OnScanBegun(CDomainRecord& record) override;
    void OnScanEnded(CDomainRecord& record) override;
    void OnPassEnded(const SPassSummary& summary) override;
    void OnListProgress(const std::string& strTitle, const SListProgress& progress) override;

    void Discard();

signals:
    void RowsAdded(const std::vector<CDomainRecord*>& records);
    void RowBegan(CDomainRecord* pRecord);
    void RowEnded(CDomainRecord* pRecord);
    void PassEnded(SPassSummary summary);
    // How a list source's download or indexing goes, as the status line says it.
    void ListProgress(const QString& strText);

private:
    enum class EKind { Added, Began, Ended, PassEnded, ListProgress };
    struct SReport {
        EKind kind;
        CDomainRecord* pRecord;
        std::unique_ptr<SPassSummary> pSummary;
        QString strText = {};
    };

    void Queue(SReport report);
    void Deliver();
    // The next few reports of the backlog, a run of added rows whole.
    std::vector<SReport> TakeFromBacklog();
    // Emits one report, or a run of added rows; false once a receiver has
    // discarded the rest.
    bool Emit(std::vector<SReport>& batch, std::size_t& nAt, std::uint64_t nGeneration);

    std::mutex m_mutex;
    std::deque<SReport> m_queue;
    bool m_bDeliveryPending = false;
    // Reports taken from the queue and not yet emitted; the window thread's
    // own.
    std::deque<SReport> m_backlog;
    // Changed by Discard(), on the window thread only.
    std::uint64_t m_nGeneration = 0;
};
