#pragma once

#include <deque>
#include <optional>
#include <utility>

// Answers a test queues in advance for a question the window would ask in a
// modal dialog, so the command runs on without one. With answers required, a
// question that finds the queue empty is not shown either: it goes
// unanswered.
template <typename TAnswer> class TAnswerQueue {
public:
    void Queue(TAnswer answer) { m_answers.push_back(std::move(answer)); }
    void Require(bool bRequire) { m_bRequire = bRequire; }
    bool Has() const { return !m_answers.empty(); }
    void Clear() { m_answers.clear(); }

    // Whether the question is settled by the queue rather than a dialog;
    // *pAnswer is then the next queued answer, or empty when none was queued.
    bool Take(std::optional<TAnswer>* pAnswer) {
        pAnswer->reset();
        if (m_answers.empty()) {
            return m_bRequire;
        }
        *pAnswer = std::move(m_answers.front());
        m_answers.pop_front();
        return true;
    }

private:
    std::deque<TAnswer> m_answers;
    bool m_bRequire = false;
};
