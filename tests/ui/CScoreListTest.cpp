#include "core/CDomainRecord.h"
#include "core/CListAnswers.h"
#include "core/SPassSummary.h"
#include "tests/support/Metrics.h"
#include "ui/CScanSignals.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Records made for a test, freed with it.
class CRecords {
public:
    CDomainRecord* Make(const std::string& strDomain) {
        m_records.push_back(std::make_unique<CDomainRecord>(strDomain));
        return m_records.back().get();
    }

private:
    std::vector<std::unique_ptr<CDomainRecord>> m_records;
};

// What the scan signals emitted, in order: "added a,b", "began a", ...
class CReportLog : public QObject {
public:
    explicit CReportLog(CScanSignals& scan) {
        connect(&scan, &CScanSignals::RowsAdded, this, [this](const auto& records) {
            QStringList names;
            for (const CDomainRecord* pRecord : records) {
                names << Name(pRecord);
            }
            m_log << "added " + names.join(',');
        });
        connect(&scan, &CScanSignals::RowBegan, this,
                [this](CDomainRecord* p) { m_log << "began " + Name(p); });
        connect(&scan, &CScanSignals::RowEnded, this,
                [this](CDomainRecord* p) { m_log << "ended " + Name(p); });
        connect(&scan, &CScanSignals::PassEnded, this, [this](const SPassSummary& summary) {
            m_log << QStringLiteral("pass %1").arg(summary.FailedCells());
            m_bOnWindowThread &= QThread::currentThread() == qApp->thread();
        });
    }
    static QString Name(const CDomainRecord* pRecord) {
        return QString::fromStdString(std::string(pRecord->GetDomain()));
    }
    QStringList m_log;
    bool m_bOnWindowThread = true;
};

std::vector<CDomainRecord*> MakeRows(CRecords& records, const QStringList& domains) {
    std::vector<CDomainRecord*> rows;
    for (const QString& strDomain : domains) {
        rows.push_back(records.Make(strDomain.toStdString()));
    }
    return rows;
}

} // namespace

// The score list's model and view on their own, and the scan signals that
// feed them from the worker.
class CScoreListTest : public QObject {
    Q_OBJECT

private slots:
    void cellsFollowTheDisplayRules_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("waiting") << "waiting" << QStringList{"1", "a.example", "", "", "", "",
                                                             "",  "",          "", "", "", ""};
        QTest::newRow("scanned") << "scanned"
                                 << QStringList{"1", "a.example", "4",  "120", "1,230,000", "77",
                                                "8", "9",         "10", "11",  "12",        "13"};
        QTest::newRow("PageRank failed")
            << "failed" << QStringList{"1", "a.example", "",   "120", "1,230,000", "77",
                                       "8", "9",         "10", "11",  "12",        "13"};
        QTest::newRow("negative PageRank")
            << "negative" << QStringList{"1", "a.example", "-3", "120", "1,230,000", "77",
                                         "8", "9",         "10", "11",  "12",        "13"};
        QTest::newRow("waiting for a rescan")
            << "rescan" << QStringList{"1", "a.example", "", "", "", "", "", "", "", "", "", ""};
    }

    void cellsFollowTheDisplayRules() {
        QFETCH(QString, state);
        QFETCH(QStringList, cells);
        CRecords records;
        CDomainRecord* pRecord = records.Make("a.example");
        const char* values[] = {"4", "120", "1,230,000", "77", "8", "9", "10", "11", "12", "13"};
        if (state != "waiting") {
            for (int i = 1; i < int(Metric::TheTen); ++i) {
                pRecord->SetMetric(static_cast<std::size_t>(i), values[i]);
            }
            pRecord->SetPageRankText(state == "failed" ? "" : state == "negative" ? "-3" : "4");
        }
        if (state == "rescan") {
            pRecord->ResetForRescan();
        }
        CScoreListModel model;
        model.AddRows({pRecord});
        QStringList shown;
        for (int nColumn = 0; nColumn < int(cells.size()); ++nColumn) {
            shown << model.index(0, nColumn).data().toString();
        }
        QCOMPARE(shown, cells);
    }

    void columnsAreNamed() {
        QCOMPARE(int(CScoreListModel::ColumnNumber), 0);
        QCOMPARE(int(CScoreListModel::ColumnDomain), 1);
        QCOMPARE(CScoreListModel::MetricColumn(Metric::PR),
                 int(CScoreListModel::ColumnFirstMetric));
        QCOMPARE(CScoreListModel::MetricOfColumn(CScoreListModel::MetricColumn(Metric::Tranco)),
                 std::optional<std::size_t>(Metric::Tranco));
        QCOMPARE(CScoreListModel::MetricOfColumn(CScoreListModel::ColumnDomain), std::nullopt);
        QCOMPARE(CScoreListModel::MetricOfColumn(CScoreListModel::ColumnCount()), std::nullopt);
    }

    void headersAndWidths() {
        CScoreListCtrl list;
        const QStringList headers = {
            "No",       "Domain name", "PR",        "Alexa",      "GSite",    "GLink",
            "GSearch1", "GSearch2",    "BSite",     "BLink",      "BSearch1", "BSearch2",
            "Tranco",   "Created",     "FirstSeen", "TrancoList", "Majestic", "MajesticRefSubNets",
            "Umbrella", "CrUX"};
        const QList<int> widths = {40, 100, 50, 80, 90, 60, 85, 85, 90, 60,
                                   85, 85,  80, 90, 90, 80, 80, 80, 80, 80};
        QCOMPARE(CScoreListModel::ColumnCount(), int(headers.size()));
        for (int i = 0; i < CScoreListModel::ColumnCount(); ++i) {
            QCOMPARE(list.model()->headerData(i, Qt::Horizontal).toString(), headers[i]);
            QCOMPARE(list.horizontalHeader()->sectionSize(i), widths[i]);
        }
        QVERIFY(list.showGrid());
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void numbersAreThePositionOnScreen() {
        CRecords records;
        CScoreListCtrl list;
        list.Model()->AddRows(MakeRows(records, {"c.example", "a.example", "b.example"}));
        list.SortByColumn(CScoreListModel::ColumnDomain);
        for (int nRow = 0; nRow < 3; ++nRow) {
            QCOMPARE(list.Model()->CellText(nRow, 0), QString::number(nRow + 1));
        }
        QCOMPARE(list.Model()->CellText(0, 1), QStringLiteral("a.example"));
    }

    void sortMarkSitsOnOneColumn() {
        CScoreListCtrl list;
        list.SortByColumn(4);
        list.SortByColumn(6);
        QCOMPARE(list.SortMark(), 6);
        QCOMPARE(list.horizontalHeader()->sortIndicatorSection(), 6);
        list.SortByColumn(0);
        QCOMPARE(list.SortMark(), 6);
        list.SortByColumn(CScoreListModel::ColumnCount());
        QCOMPARE(list.SortMark(), -1);
        QVERIFY(!list.horizontalHeader()->isSortIndicatorShown());
    }

    // Rows arrive, change, are sorted and go, under the model tester.
    void modelStaysConsistent() {
        CRecords records;
        CScoreListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        for (int i = 0; i < 5; ++i) {
            std::vector<CDomainRecord*> batch;
            for (int j = 0; j < 10; ++j) {
                CDomainRecord* pRecord = records.Make("d" + std::to_string(i * 10 + j));
                pRecord->SetMetric(Metric::GSite, std::to_string((i * 37 + j * 11) % 50));
                batch.push_back(pRecord);
            }
            model.AddRows(batch);
        }
        model.AddRows({});
        QCOMPARE(model.rowCount(), 50);
        QCOMPARE(inserted.size(), 5);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.UpdateRow(model.Rows()[7]);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), model.index(7, 0));
        QCOMPARE(changed[0][1].toModelIndex(), model.index(7, CScoreListModel::ColumnCount() - 1));
        CRecords others;
        model.UpdateRow(others.Make("not.listed"));
        QCOMPARE(changed.size(), 1);

        model.sort(CScoreListModel::MetricColumn(Metric::GSite));
        model.sort(CScoreListModel::ColumnDomain);
        model.sort(CScoreListModel::ColumnNumber);
        model.RemoveAllRows();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.Rows().empty());
        QCOMPARE(reset.size(), 0);
    }

    // A row's later change redraws the row where the sort put it.
    void aRowChangedAfterASortRedrawsItsNewPlace() {
        CRecords records;
        CScoreListModel model;
        model.AddRows(MakeRows(records, {"c", "a", "b"}));
        model.sort(CScoreListModel::ColumnDomain);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.UpdateRow(model.Rows()[0]);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 0);
        QCOMPARE(model.index(0, CScoreListModel::ColumnDomain).data().toString(), "a");
    }

    void sortKeepsTheSelectedRowSelectedAndInView() {
        CRecords records;
        CScoreListCtrl list;
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        std::vector<CDomainRecord*> rows;
        for (int i = 0; i < 500; ++i) {
            CDomainRecord* pRecord = records.Make("d" + std::to_string(1000 + i));
            // GSite sorts largest first: the first rows go to the end.
            pRecord->SetMetric(Metric::GSite, std::to_string(i));
            rows.push_back(pRecord);
        }
        list.Model()->AddRows(rows);
        list.selectRow(3);
        const QModelIndex before = list.currentIndex();
        QCOMPARE(before.row(), 3);
        list.verticalScrollBar()->setValue(0);

        list.SortByColumn(CScoreListModel::ColumnNumber + 1);
        list.SortByColumn(CScoreListModel::MetricColumn(Metric::GSite));
        const QModelIndexList selected = list.selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0].row(), 496);
        QCOMPARE(list.currentIndex().row(), 496);
        QCOMPARE(list.Model()->CellText(496, CScoreListModel::ColumnDomain),
                 QStringLiteral("d1003"));
        const QRect cell = list.visualRect(list.currentIndex());
        QVERIFY(list.viewport()->rect().intersects(cell));
    }

    void reportsArriveInOrderOnTheWindowThread() {
        CRecords records;
        const std::vector<CDomainRecord*> rows = MakeRows(records, {"a", "b", "c"});
        CScanSignals scan;
        CReportLog log(scan);
        std::thread worker([&] {
            scan.OnRowAdded(*rows[0]);
            scan.OnRowAdded(*rows[1]);
            scan.OnScanBegun(*rows[0]);
            scan.OnScanEnded(*rows[0]);
            scan.OnRowAdded(*rows[2]);
            SPassSummary summary;
            summary.arrMetrics.resize(Metric::Count);
            SCellState failed;
            failed.outcome = EOutcome::Failed;
            summary.arrMetrics[Metric::GSite].Count(failed);
            scan.OnPassEnded(summary);
        });
        worker.join();
        QTRY_COMPARE(log.m_log.size(), 5);
        QCOMPARE(log.m_log, (QStringList{"added a,b", "began a", "ended a", "added c", "pass 1"}));
        QVERIFY(log.m_bOnWindowThread);
    }

    // A burst of added rows reaches the list as one insertion.
    void aBurstOfAddedRowsIsOneInsertion() {
        CRecords records;
        std::vector<CDomainRecord*> rows;
        for (int i = 0; i < 1000; ++i) {
            rows.push_back(records.Make("d" + std::to_string(i)));
        }
        CScanSignals scan;
        CScoreListModel model;
        QObject::connect(&scan, &CScanSignals::RowsAdded, &model, &CScoreListModel::AddRows);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        std::thread worker([&] {
            for (CDomainRecord* pRecord : rows) {
                scan.OnRowAdded(*pRecord);
            }
        });
        worker.join();
        QTRY_COMPARE(model.rowCount(), 1000);
        QCOMPARE(inserted.size(), 1);
        QVERIFY(model.Rows() == rows);
    }

    // A worker that reports faster than the window handles its reports must
    // not hold the event loop until the whole backlog is through: a timer
    // due meanwhile runs long before the last report.
    void aLongBacklogLetsTheEventLoopTurn() {
        CRecords records;
        CDomainRecord* pRecord = records.Make("a");
        CScanSignals scan;
        CReportLog log(scan);
        connect(&scan, &CScanSignals::RowBegan, this,
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        constexpr int kReports = 200;
        for (int i = 0; i < kReports; ++i) {
            scan.OnScanBegun(*pRecord);
        }
        qsizetype nBeforeTimer = -1;
        QTimer::singleShot(0, this, [&] { nBeforeTimer = log.m_log.size(); });
        QTRY_COMPARE(log.m_log.size(), kReports);
        QVERIFY2(nBeforeTimer >= 0 && nBeforeTimer < kReports / 4,
                 qPrintable(QString::number(nBeforeTimer)));
        QCOMPARE(log.m_log, QStringList(kReports, QStringLiteral("began a")));
    }

    void discardedReportsAreNeverEmitted() {
        CScanSignals scan;
        CReportLog log(scan);
        {
            CRecords records;
            scan.OnScanEnded(*records.Make("gone.example"));
            scan.Discard();
        }
        QTest::qWait(20);
        QVERIFY(log.m_log.isEmpty());
        CRecords records;
        scan.OnScanEnded(*records.Make("kept.example"));
        QTRY_COMPARE(log.m_log, QStringList{"ended kept.example"});
    }

    // A receiver that discards midway (Clean) stops the rest of the batch.
    void aDiscardDuringABatchStopsIt() {
        CRecords records;
        CScanSignals scan;
        CReportLog log(scan);
        connect(&scan, &CScanSignals::RowBegan, &scan, [&scan] { scan.Discard(); });
        CDomainRecord* pRecord = records.Make("a");
        scan.OnRowAdded(*pRecord);
        scan.OnScanBegun(*pRecord);
        scan.OnScanEnded(*pRecord);
        QTRY_COMPARE(log.m_log.size(), 2);
        QTest::qWait(20);
        QCOMPARE(log.m_log, (QStringList{"added a", "began a"}));
    }

    // A list's download reaches the window as the status line's text, in
    // order with the rows' reports.
    void listProgressArrivesAsText() {
        CRecords records;
        CDomainRecord* pRecord = records.Make("a");
        CScanSignals scan;
        CReportLog log(scan);
        QStringList texts;
        connect(&scan, &CScanSignals::ListProgress, this, [&](const QString& strText) {
            texts.append(strText);
            log.m_log.append("list");
        });
        std::thread worker([&] {
            scan.OnScanBegun(*pRecord);
            SListProgress progress;
            progress.nBytes = 4200000;
            progress.nTotalBytes = 10600000;
            scan.OnListProgress("the TrancoList list", progress);
            scan.OnScanEnded(*pRecord);
        });
        worker.join();
        QTRY_COMPARE(log.m_log.size(), 3);
        QCOMPARE(log.m_log, (QStringList{"began a", "list", "ended a"}));
        SListProgress progress;
        progress.nBytes = 4200000;
        progress.nTotalBytes = 10600000;
        QCOMPARE(texts, QStringList{QString::fromStdString(
                            CListAnswers::ProgressText("the TrancoList list", progress))});
        QVERIFY(texts[0].startsWith("Downloading the TrancoList list: "));
    }

    void destroyedWithAPendingDelivery() {
        CRecords records;
        int nEmitted = 0;
        {
            CScanSignals scan;
            connect(&scan, &CScanSignals::RowsAdded, [&] { ++nEmitted; });
            scan.OnRowAdded(*records.Make("a.example"));
        }
        QTest::qWait(20);
        QCOMPARE(nEmitted, 0);
    }
};

QTEST_MAIN(CScoreListTest)
#include "CScoreListTest.moc"
