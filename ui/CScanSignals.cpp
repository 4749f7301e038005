#include "ui/CScanSignals.h"

#include "core/CListAnswers.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace {

// How long one delivery emits before it lets the event loop turn.
constexpr std::chrono::milliseconds kDeliverySlice{8};
// Reports emitted at a time, between looks at the clock.
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        ++m_nGeneration;
    }
    m_backlog.clear();
}

std::vector<CScanSignals::SReport> CScanSignals::TakeFromBacklog() {
    std::size_t nTake = std::min(m_backlog.size(), kTakenAtOnce);
    // A run of added rows stays whole: it is one insertion into the list.
    while (nTake > 0 && nTake < m_backlog.size() && m_backlog[nTake - 1].kind == EKind::Added &&
           m_backlog[nTake].kind == EKind::Added) {
        ++nTake;
    }
    const auto end = m_backlog.begin() + static_cast<std::ptrdiff_t>(nTake);
    std::vector<SReport> batch(std::make_move_iterator(m_backlog.begin()),
                               std::make_move_iterator(end));
    m_backlog.erase(m_backlog.begin(), end);
    return batch;
}

void CScanSignals::Deliver() {
    const auto deadline = std::chrono::steady_clock::now() + kDeliverySlice;
    {
        // One look at the worker's queue a delivery, so the worker seldom
        // waits for the lock.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_backlog.empty()) {
            m_backlog.swap(m_queue);
        } else {
            std::move(m_queue.begin(), m_queue.end(), std::back_inserter(m_backlog));
            m_queue.clear();
        }
        m_bDeliveryPending = false;
    }
    while (!m_backlog.empty() && std::chrono::steady_clock::now() < deadline) {
        // Emitted from a batch of its own: a receiver that discards clears
        // the backlog, never what is being emitted.
        std::vector<SReport> batch = TakeFromBacklog();
        const std::uint64_t nGeneration = m_nGeneration;
        std::size_t nAt = 0;
        while (nAt < batch.size() && Emit(batch, nAt, nGeneration)) {
        }
    }
    if (m_backlog.empty()) {
        return;
    }
    // The rest comes after the events that wait meanwhile.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bDeliveryPending) {
        m_bDeliveryPending = true;
        QMetaObject::invokeMethod(this, &CScanSignals::Deliver, Qt::QueuedConnection);
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
