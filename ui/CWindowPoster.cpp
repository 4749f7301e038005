#include "ui/CWindowPoster.h"

CWindowPoster::CWindowPoster(Receiver fnReceiver, BatchDone fnBatchDone, QObject* pParent)
    : QObject(pParent), m_fnReceiver(std::move(fnReceiver)), m_fnBatchDone(std::move(fnBatchDone)) {
}

// A pending delivery event is removed with this object, so it never runs on a
// dead poster.
CWindowPoster::~CWindowPoster() = default;

void CWindowPoster::Post(unsigned nMessage, CDomainRecord* pRecord) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back({nMessage, pRecord});
    if (!m_bDeliveryPending) {
        m_bDeliveryPending = true;
        QMetaObject::invokeMethod(this, &CWindowPoster::Deliver, Qt::QueuedConnection);
    }
}

void CWindowPoster::Discard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
    ++m_nGeneration;
}

void CWindowPoster::Deliver() {
    std::vector<SMessage> batch;
    std::uint64_t nGeneration = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        batch.swap(m_queue);
        m_bDeliveryPending = false;
        nGeneration = m_nGeneration;
    }
    for (const SMessage& message : batch) {
        // A receiver that discarded while handling the batch may have freed
        // the records of the rest of it.
        if (m_nGeneration != nGeneration) {
            break;
        }
        m_fnReceiver(message);
    }
    if (!batch.empty() && m_fnBatchDone) {
        m_fnBatchDone();
    }
}
