#include "ui/CScanSignals.h"

#include "core/CListAnswers.h"

CScanSignals::CScanSignals(QObject* pParent) : QObject(pParent) {}

CScanSignals::~CScanSignals() = default;

void CScanSignals::OnRowAdded(CDomainRecord& record) {
    Queue({EKind::Added, &record, nullptr});
}

void CScanSignals::OnScanBegun(CDomainRecord& record) {
    Queue({EKind::Began, &record, nullptr});
}

void CScanSignals::OnScanEnded(CDomainRecord& record) {
    Queue({EKind::Ended, &record, nullptr});
}

void CScanSignals::OnPassEnded(const SPassSummary& summary) {
    Queue({EKind::PassEnded, nullptr, std::make_unique<SPassSummary>(summary)});
}

void CScanSignals::OnListProgress(const std::string& strTitle, const SListProgress& progress) {
    Queue({EKind::ListProgress, nullptr, nullptr,
           QString::fromStdString(CListAnswers::ProgressText(strTitle, progress))});
}

void CScanSignals::Queue(SReport report) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(report));
    if (!m_bDeliveryPending) {
        m_bDeliveryPending = true;
        QMetaObject::invokeMethod(this, &CScanSignals::Deliver, Qt::QueuedConnection);
    }
}

void CScanSignals::Discard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
    ++m_nGeneration;
}

void CScanSignals::Deliver() {
    std::vector<SReport> batch;
    std::uint64_t nGeneration = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        batch.swap(m_queue);
        m_bDeliveryPending = false;
        nGeneration = m_nGeneration;
    }
    std::size_t nAt = 0;
    while (nAt < batch.size() && Emit(batch, nAt, nGeneration)) {
    }
}

bool CScanSignals::Emit(std::vector<SReport>& batch, std::size_t& nAt, std::uint64_t nGeneration) {
    // A receiver that discarded while handling the batch may have freed the
    // records of the rest of it.
    if (m_nGeneration != nGeneration) {
        return false;
    }
    SReport& report = batch[nAt++];
    switch (report.kind) {
    case EKind::Added: {
        std::vector<CDomainRecord*> records{report.pRecord};
        while (nAt < batch.size() && batch[nAt].kind == EKind::Added) {
            records.push_back(batch[nAt++].pRecord);
        }
        emit RowsAdded(records);
        break;
    }
    case EKind::Began:
        emit RowBegan(report.pRecord);
        break;
    case EKind::Ended:
        emit RowEnded(report.pRecord);
        break;
    case EKind::PassEnded:
        emit PassEnded(std::move(*report.pSummary));
        break;
    case EKind::ListProgress:
        emit ListProgress(report.strText);
        break;
    }
    return true;
}
