#include "ui/CScanSignals.h"

#include "core/CListAnswers.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace {

// How long one delivery emits before it lets the event loop turn.
constexpr std::chrono::milliseconds kDeliverySlice{8};
// Reports taken from the queue at a time, between looks at the clock.
constexpr std::size_t kTakenAtOnce = 16;

} // namespace

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

std::vector<CScanSignals::SReport> CScanSignals::Take(std::uint64_t& nGeneration) {
    std::lock_guard<std::mutex> lock(m_mutex);
    nGeneration = m_nGeneration;
    std::size_t nTake = std::min(m_queue.size(), kTakenAtOnce);
    // A run of added rows stays whole: it is one insertion into the list.
    while (nTake > 0 && nTake < m_queue.size() && m_queue[nTake - 1].kind == EKind::Added &&
           m_queue[nTake].kind == EKind::Added) {
        ++nTake;
    }
    std::vector<SReport> batch(std::make_move_iterator(m_queue.begin()),
                               std::make_move_iterator(m_queue.begin() + std::ptrdiff_t(nTake)));
    m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(nTake));
    if (batch.empty()) {
        m_bDeliveryPending = false;
    }
    return batch;
}

void CScanSignals::Deliver() {
    const auto deadline = std::chrono::steady_clock::now() + kDeliverySlice;
    do {
        std::uint64_t nGeneration = 0;
        std::vector<SReport> batch = Take(nGeneration);
        if (batch.empty()) {
            return;
        }
        std::size_t nAt = 0;
        while (nAt < batch.size() && Emit(batch, nAt, nGeneration)) {
        }
    } while (std::chrono::steady_clock::now() < deadline);
    // Still pending: the rest comes after the events that wait meanwhile.
    QMetaObject::invokeMethod(this, &CScanSignals::Deliver, Qt::QueuedConnection);
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
