#pragma once

#include "core/CQueryManager.h"
#include "tests/core/WorkerEnd.h"
#include "ui/CFileDialog.h"
#include "ui/CMessageBox.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"

#include <QHeaderView>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <chrono>
#include <thread>

namespace uitest {

using ::WaitForWorkerEnd;

// Receives the URLs the windows ask the desktop to open, once it is set as
// the handler of their scheme.
class CUrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> m_urls;

public slots:
    void Open(const QUrl& url) { m_urls << url; }
};

// One column of every row, as the list shows it.
inline QStringList Column(const CScoreListCtrl& list, int nColumn) {
    QStringList cells;
    const CScoreListModel* pModel = list.Model();
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        cells << pModel->index(nRow, nColumn).data().toString();
    }
    return cells;
}

inline void ClickHeader(CScoreListCtrl& list, int nSection) {
    QHeaderView* pHeader = list.horizontalHeader();
    const int nX = pHeader->sectionViewportPosition(nSection) + pHeader->sectionSize(nSection) / 2;
    QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(nX, pHeader->height() / 2));
}

// Every queued answer of the seams was used, no box came unasked, and
// nothing is left for the next test.
inline bool SeamsDrained() {
    const bool bDrained = !CMessageBox::HasQueuedAnswers() && !CFileDialog::HasQueuedAnswers() &&
                          CMessageBox::UnansweredCount() == 0;
    CMessageBox::ClearQueuedAnswers();
    CMessageBox::ClearAnsweredTexts();
    CFileDialog::ClearQueuedAnswers();
    return bDrained;
}

} // namespace uitest
