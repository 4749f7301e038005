#pragma once

#include "ui/WindowMessages.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class CDomainRecord;

// Carries the scan controller's messages onto the window thread.
//
// Post() may be called from any thread and never waits for the window: it
// queues the message and, when no delivery is pending, schedules one. The
// window thread then hands every queued message, in the order posted, to the
// receiver, and tells it when the batch is through, so a million posted rows
// cost one event and one list update, not a million.
//
// Discard() drops every message not yet delivered. The window calls it when
// it deletes records (Clean), so a message still queued for a freed record is
// never delivered.
class CWindowPoster : public QObject {
    Q_OBJECT

public:
    struct SMessage {
        unsigned nMessage;
        CDomainRecord* pRecord;
    };
    using Receiver = std::function<void(const SMessage& message)>;
    using BatchDone = std::function<void()>;

    CWindowPoster(Receiver fnReceiver, BatchDone fnBatchDone, QObject* pParent = nullptr);
    ~CWindowPoster() override;

    void Post(unsigned nMessage, CDomainRecord* pRecord);
    void Discard();

private:
    void Deliver();

    const Receiver m_fnReceiver;
    const BatchDone m_fnBatchDone;
    std::mutex m_mutex;
    std::vector<SMessage> m_queue;
    bool m_bDeliveryPending = false;
    // Changed by Discard(), on the window thread only.
    std::uint64_t m_nGeneration = 0;
};
