#pragma once

#include <QMessageBox>
#include <QString>

#include "ui/TAnswerQueue.h"

class QWidget;

// The program's message boxes: warning icon, the program's name as caption,
// modal to their parent window.
//
// Tests drive the commands that ask something by queueing the answers in
// advance: a queued answer is taken instead of showing the box, and the text
// that would have been shown is kept for the test to read. A test that sets
// RequireQueuedAnswers never blocks on a box it did not expect: the box is
// answered with NoButton and its text kept as well.
class CMessageBox {
public:
    static QMessageBox::StandardButton Show(QWidget* pParent, const QString& strText,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    static void QueueAnswer(QMessageBox::StandardButton answer);
    static void RequireQueuedAnswers(bool bRequire);
    // Boxes that found no queued answer while answers were required.
    static int UnansweredCount() { return s_nUnanswered; }
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();
    // The texts of the boxes answered from the queue, oldest first.
    static QStringList AnsweredTexts();
    static void ClearAnsweredTexts();

private:
    static TAnswerQueue<QMessageBox::StandardButton>& Answers();
    static QStringList& Texts();
    static int s_nUnanswered;
};
