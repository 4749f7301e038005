// Rows in the main window, offscreen, and the TrancoList source ticked with
// its list already in the cache: the worker fills the list's column for
// every row through its own path (the scan controller, the scan signals, the
// model) while a timer on the window's thread notes how long the event loop
// goes without turning. Prints the time to fill the column, the longest stall
// and the 99th percentile of the timer's gaps.
//
//     tallyvine_ui_list_bench [ROWS] [--pagerank]
//
// By default (a million rows) PageRank's box is unticked, so the worker
// answers rows from the list alone, as fast as it can: the most the window's
// thread is ever given to do. A row is marked scanned by its PageRank cell,
// so those rows keep waiting and the fill ends with the first pass. With
// --pagerank the window asks PageRank as it always does (of a port where
// nothing listens, so each request fails at once), and every row then takes
// the pause after a row that asked a service.
//
// The list (Tranco's shape, a million rows, zipped) is generated, served by
// a local server and indexed into a temporary cache folder before the
// window opens, so nothing is downloaded during the fill. Half the window's
// rows are in the list; the other half are not.

#include "bench/lists/BenchLists.h"
#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "lists/CListCache.h"
#include "tests/core/WorkerEnd.h"
#include "tests/support/Metrics.h"
#include "ui/CFileDialog.h"
#include "ui/CMessageBox.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"
#include "ui/CTallyvineDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The served list's rows.
constexpr std::size_t kListRows = 1000000;
// The stall probe's period.
constexpr int kProbeMs = 2;

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string strLine;
    std::getline(file, strLine);
    return strLine;
}

// The window's rows: every other one a name of the list (from its middle
// on), the others names it does not hold.
bool WriteRows(const std::string& strPath, std::size_t nRows) {
    std::ofstream file(strPath, std::ios::binary);
    for (std::size_t i = 0; i < nRows; ++i) {
        const std::size_t nName = i % 2 == 0 ? kListRows / 2 + i / 2 : kListRows + i;
        file << bench_lists::NameAt(nName) << "\r\n";
    }
    return static_cast<bool>(file);
}

// How long the window's thread went between the probe's firings.
class CStallProbe {
public:
    CStallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 nNow = m_clock.nsecsElapsed();
            m_arrGapsNs.push_back(nNow - m_nLastNs);
            m_nLastNs = nNow;
        });
    }
    void Start() {
        m_arrGapsNs.clear();
        m_clock.start();
        m_nLastNs = 0;
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    std::size_t Count() const { return m_arrGapsNs.size(); }
    // The gap at the quantile (0 to 1), in milliseconds.
    double GapMs(double dQuantile) const {
        if (m_arrGapsNs.empty()) {
            return 0;
        }
        std::vector<qint64> arrSorted = m_arrGapsNs;
        std::sort(arrSorted.begin(), arrSorted.end());
        const auto nAt =
            static_cast<std::size_t>(dQuantile * static_cast<double>(arrSorted.size() - 1));
        return static_cast<double>(arrSorted[nAt]) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nLastNs = 0;
    std::vector<qint64> m_arrGapsNs;
};

// Removes the benchmark's folder however it ends.
struct SFolderGuard {
    std::filesystem::path folder;
    ~SFolderGuard() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    std::size_t nWanted = kListRows;
    bool bPageRank = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--pagerank") {
            bPageRank = true;
        } else {
            nWanted = std::strtoull(argv[i], nullptr, 10);
        }
    }
    // Everything lives in one temporary folder: the served list, the cache
    // and the rows to import.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tallyvine-fill-" + std::to_string(::getpid()));
    const SFolderGuard guard{folder};
    std::filesystem::create_directories(folder / "www");
    setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    bench_lists::WriteRankList((folder / "www" / "top-1m.csv.zip").string(), kListRows, true);
    const std::string strRows = (folder / "rows.txt").string();
    if (!WriteRows(strRows, nWanted)) {
        std::fprintf(stderr, "cannot write the rows\n");
        return 1;
    }
    // Forked before any thread.
    const bench_lists::SServer server = bench_lists::ServeFolder((folder / "www").string());

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const SListDefinition& definition = CMetricTable::At(Metric::TrancoList).listSource.list;
    const long long nIndexStart = bench_lists::NowNs();
    const SListStatus status =
        CListCache().Refresh(definition, false, server.Url("top-1m.csv.zip"), nullptr);
    const double dIndexS = bench_lists::SecondsSince(nIndexStart);
    bench_lists::StopServer(server);
    if (status.bFailed) {
        std::fprintf(stderr, "the list was not cached: %s\n", status.strDetail.c_str());
        return 1;
    }

    // No service answers; none is asked.
    CTallyvineDlg dlg(CServiceHosts::AllOn("127.0.0.1:9"));
    dlg.show();
    QApplication::processEvents();
    CScoreListCtrl& list = *dlg.ScoreList();
    // The rows come in through Import, with nothing asked (PageRank's box
    // is ticked for good in the window; unticked here).
    for (QCheckBox* pBox : dlg.findChildren<QCheckBox*>()) {
        pBox->setChecked(false);
    }
    // No pause of the user's between rows.
    dlg.findChild<QSpinBox*>(QStringLiteral("m_spinInterval"))->setValue(0);
    CFileDialog::QueueAnswer(QString::fromStdString(strRows));
    CMessageBox::RequireQueuedAnswers(true);
    dlg.OnImport();
    while (list.Model()->rowCount() < static_cast<int>(dlg.QueryManager()->Store().GetCount())) {
        QApplication::processEvents();
    }
    dlg.OnStop();
    if (!WaitForWorkerEnd(*dlg.QueryManager(), std::chrono::seconds(120))) {
        std::fprintf(stderr, "the worker did not end\n");
        return 1;
    }
    // The reports of that pass reach the window a slice at a time; none may
    // be left for the fill to meet.
    QElapsedTimer quiet;
    quiet.start();
    const QMetaObject::Connection reports = QObject::connect(
        &dlg.ScanSignals(), &CScanSignals::RowEnded, &dlg, [&] { quiet.restart(); });
    while (quiet.elapsed() < 500) {
        QApplication::processEvents();
    }
    QObject::disconnect(reports);
    const int nRows = list.Model()->rowCount();

    // The fill: TrancoList ticked, Rescan, until the pass is through.
    dlg.findChild<QCheckBox*>(QStringLiteral("m_checkSourceTrancoList"))->setChecked(true);
    dlg.findChild<QCheckBox*>(QStringLiteral("m_checkPR"))->setChecked(bPageRank);
    QEventLoop loop;
    QObject::connect(&dlg.ScanSignals(), &CScanSignals::PassEnded, &loop, &QEventLoop::quit);
    CStallProbe probe;
    const std::string strLoadBefore = LoadAverage();
    QElapsedTimer timer;
    timer.start();
    // The command itself resets every row on the window's thread, before
    // the worker starts; it is timed on its own.
    dlg.OnRescan();
    const qint64 nCommandMs = timer.elapsed();
    probe.Start();
    loop.exec();
    const qint64 nFillMs = timer.elapsed();
    probe.Stop();

    // What the event loop pays each time it turns during the fill: a redraw
    // of the window.
    constexpr int kRepaints = 20;
    QElapsedTimer repaints;
    repaints.start();
    for (int i = 0; i < kRepaints; ++i) {
        dlg.repaint();
    }
    const double dRepaintMs = static_cast<double>(repaints.nsecsElapsed()) / 1e6 / kRepaints;

    const int nColumn = CScoreListModel::MetricColumn(Metric::TrancoList);
    int nValues = 0;
    int nNone = 0;
    for (const CDomainRecord* pRecord : list.Model()->Rows()) {
        const EOutcome outcome = pRecord->GetCellState(Metric::TrancoList).outcome;
        nValues += outcome == EOutcome::Value ? 1 : 0;
        nNone += outcome == EOutcome::None ? 1 : 0;
    }
    std::printf("list indexed into the cache:  %.2f s (before the window opened)\n", dIndexS);
    std::printf("rows in the window:           %d (in the list: %d, not in it: %d)\n", nRows,
                nValues, nNone);
    // Without PageRank a row keeps waiting, and the list shows none of its
    // cells but PageRank's.
    std::printf("PageRank asked:               %s; the first row shows \"%s\"\n",
                bPageRank ? "yes" : "no (rows keep waiting)",
                qPrintable(list.Model()->index(0, nColumn).data().toString()));
    std::printf("Rescan command:               %lld ms (resetting every row, before the fill)\n",
                static_cast<long long>(nCommandMs));
    std::printf("fill of the TrancoList column: %lld ms from the command (%.0f rows/s)\n",
                static_cast<long long>(nFillMs),
                static_cast<double>(nRows) * 1000.0 /
                    static_cast<double>(std::max<qint64>(nFillMs, 1)));
    std::printf("event loop, %d ms probe:       longest gap %.1f ms, 99th percentile %.1f ms, "
                "median %.1f ms (%zu firings)\n",
                kProbeMs, probe.GapMs(1.0), probe.GapMs(0.99), probe.GapMs(0.5), probe.Count());
    std::printf("one redraw of the window:     %.1f ms\n", dRepaintMs);
    std::printf("load average before / after:  %s / %s\n", strLoadBefore.c_str(),
                LoadAverage().c_str());
    return nValues + nNone == nRows ? 0 : 1;
}
