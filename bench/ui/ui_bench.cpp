// Imports a list of a million domains through the main window's Import
// command, offscreen, and waits until every row is in the score list; then
// gives every row a GSite count and sorts the list by that column. Prints the
// times and the peak memory. Targets: import under 3 s and 500 MB, sort
// under 1 s.

#include "core/CDomainRecord.h"
#include "core/CQueryManager.h"
#include "tests/support/Metrics.h"
#include "ui/CFileDialog.h"
#include "ui/CMessageBox.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"
#include "ui/CTallyvineDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

constexpr int kRows = 1000000;

// The peak resident memory of this process so far, in MiB.
long PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.rfind("VmHWM:", 0) == 0) {
            return std::stol(strLine.substr(6)) / 1024;
        }
    }
    return -1;
}

bool WriteList(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray block;
    for (int i = 0; i < kRows; ++i) {
        const qint64 nKey = static_cast<qint64>(i) * 7919 % 10000019;
        block += "site" + QByteArray::number(nKey) + ".example.com\r\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    return file.write(block) == block.size();
}

// A count text with thousands commas, as the services print them.
std::string CountText(unsigned nValue) {
    const std::string strDigits = std::to_string(nValue);
    std::string strText;
    for (std::size_t i = 0; i < strDigits.size(); ++i) {
        if (i > 0 && (strDigits.size() - i) % 3 == 0) {
            strText += ',';
        }
        strText += strDigits[i];
    }
    return strText;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("million.txt"));
    if (!dir.isValid() || !WriteList(strPath)) {
        std::fprintf(stderr, "cannot write the list\n");
        return 1;
    }

    // No service answers: the worker's requests fail at once.
    CTallyvineDlg dlg(CServiceHosts::AllOn("127.0.0.1:9"));
    dlg.show();
    QApplication::processEvents();
    CScoreListCtrl& list = *dlg.ScoreList();
    const long nPeakBefore = PeakMiB();

    QElapsedTimer timer;
    timer.start();
    CFileDialog::QueueAnswer(strPath);
    CMessageBox::RequireQueuedAnswers(true);
    dlg.OnImport();
    const qint64 nCommandMs = timer.elapsed();
    if (dlg.QueryManager()->Store().GetCount() != static_cast<std::size_t>(kRows)) {
        std::fprintf(stderr, "the import added %zu rows: %s\n",
                     dlg.QueryManager()->Store().GetCount(),
                     qPrintable(CMessageBox::AnsweredTexts().join(QLatin1Char('\n'))));
        return 1;
    }
    while (list.Model()->rowCount() < kRows) {
        QApplication::processEvents();
    }
    QApplication::processEvents();
    const qint64 nImportMs = timer.elapsed();
    const long nPeakImport = PeakMiB();
    dlg.OnStop();

    unsigned nSeed = 12345;
    for (CDomainRecord* pRecord : list.Model()->Rows()) {
        nSeed = nSeed * 1103515245u + 12345u;
        pRecord->SetMetric(Metric::GSite, CountText(nSeed % 50000000u));
    }
    timer.restart();
    list.SortByColumn(4);
    QApplication::processEvents();
    const qint64 nSortMs = timer.elapsed();

    // The same with one row selected: the selection follows its record.
    list.selectRow(10);
    timer.restart();
    list.SortByColumn(CScoreListModel::ColumnDomain);
    QApplication::processEvents();
    const qint64 nSortSelectedMs = timer.elapsed();

    // One row's report as a whole-list redraw would cost it and as it is
    // (the record's row only), each followed by the repaint.
    constexpr int kMessages = 200;
    const auto timeMessages = [&](const std::function<void(CDomainRecord*)>& fnRedraw) {
        QElapsedTimer messages;
        messages.start();
        for (int i = 0; i < kMessages; ++i) {
            fnRedraw(list.Model()->Rows()[static_cast<std::size_t>(i) * 4999]);
            QApplication::processEvents();
        }
        return static_cast<double>(messages.nsecsElapsed()) / 1e3 / kMessages;
    };
    CScoreListModel* pModel = list.Model();
    const double dWholeUs = timeMessages([&](CDomainRecord*) {
        emit pModel->dataChanged(pModel->index(0, 0),
                                 pModel->index(pModel->rowCount() - 1, pModel->columnCount() - 1));
    });
    const double dRowUs = timeMessages([&](CDomainRecord* pRecord) { pModel->UpdateRow(pRecord); });

    std::printf("rows in the list:           %d\n", list.Model()->rowCount());
    std::printf("import through the window:  %lld ms (target < 3000)\n",
                static_cast<long long>(nImportMs));
    std::printf("  of which the command:     %lld ms (reading, splitting, adding)\n",
                static_cast<long long>(nCommandMs));
    std::printf("peak memory after import:   %ld MiB (before: %ld MiB; target < 500)\n",
                nPeakImport, nPeakBefore);
    std::printf("sort by GSite:              %lld ms (target < 1000)\n",
                static_cast<long long>(nSortMs));
    std::printf("sort by domain, a row selected: %lld ms (the row stays selected: %s)\n",
                static_cast<long long>(nSortSelectedMs),
                list.selectionModel()->isRowSelected(list.currentIndex().row()) ? "yes" : "no");
    std::printf("peak memory after the sort: %ld MiB (every row holding a GSite text)\n",
                PeakMiB());
    std::printf("one row's report, 1M rows:  %.1f us redrawing every row, "
                "%.1f us redrawing the record's row\n",
                dWholeUs, dRowUs);
    return 0;
}
