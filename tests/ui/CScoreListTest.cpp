#include "core/CDomainRecord.h"
#include "tests/support/Metrics.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"
#include "ui/CWindowPoster.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

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

} // namespace

// The score list's model and view on their own, and the poster that feeds
// them from the worker.
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
        model.AppendRecord(pRecord);
        model.SetItemCount(1);
        QStringList shown;
        for (int nColumn = 0; nColumn < int(cells.size()); ++nColumn) {
            shown << model.index(0, nColumn).data().toString();
        }
        QCOMPARE(shown, cells);
    }

    void headersAndWidths() {
        CScoreListCtrl list;
        const QStringList headers = {"No",       "Domain name", "PR",       "Alexa", "GSite",
                                     "GLink",    "GSearch1",    "GSearch2", "BSite", "BLink",
                                     "BSearch1", "BSearch2",    "Tranco"};
        const QList<int> widths = {40, 100, 50, 80, 90, 60, 85, 85, 90, 60, 85, 85, 80};
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
        for (const char* pszDomain : {"c.example", "a.example", "b.example"}) {
            list.Model()->AppendRecord(records.Make(pszDomain));
        }
        list.Model()->SetItemCount(3);
        list.SortByColumn(1);
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

    void modelStaysConsistent() {
        CRecords records;
        CScoreListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 50; ++i) {
            model.AppendRecord(records.Make("d" + std::to_string(i) + ".example"));
            if (i % 7 == 0) {
                model.SetItemCount(static_cast<int>(model.Rows().size()));
            }
        }
        model.BeginDeferCount();
        model.SetItemCount(10);
        model.SetItemCount(static_cast<int>(model.Rows().size()));
        QCOMPARE(model.rowCount(), 50);
        model.EndDeferCount();
        QCOMPARE(model.rowCount(), 50);
        model.SetItemCount(20);
        model.SetItemCount(0);
        model.SetItemCount(50);
        model.RemoveAllRows();
        QCOMPARE(model.rowCount(), 0);
    }

    void posterDeliversInOrderOnTheWindowThread() {
        CRecords records;
        std::vector<CDomainRecord*> arrSent;
        for (int i = 0; i < 1000; ++i) {
            arrSent.push_back(records.Make("d" + std::to_string(i)));
        }
        std::vector<CDomainRecord*> arrDelivered;
        int nBatches = 0;
        bool bOnWindowThread = true;
        CWindowPoster poster(
            [&](const CWindowPoster::SMessage& message) {
                bOnWindowThread &= QThread::currentThread() == qApp->thread();
                arrDelivered.push_back(message.pRecord);
            },
            [&] { ++nBatches; });
        std::thread worker([&] {
            for (CDomainRecord* pRecord : arrSent) {
                poster.Post(WM_QUERY_BEGIN, pRecord);
            }
        });
        worker.join();
        QTRY_COMPARE(arrDelivered.size(), arrSent.size());
        QVERIFY(arrDelivered == arrSent);
        QVERIFY(bOnWindowThread);
        QCOMPARE(nBatches, 1);
    }

    void discardedMessagesAreNeverDelivered() {
        int nDelivered = 0;
        CWindowPoster poster([&](const CWindowPoster::SMessage&) { ++nDelivered; }, nullptr);
        {
            CRecords records;
            poster.Post(WM_QUERY_END, records.Make("gone.example"));
            poster.Discard();
        }
        QTest::qWait(20);
        QCOMPARE(nDelivered, 0);
        CRecords records;
        poster.Post(WM_QUERY_END, records.Make("kept.example"));
        QTRY_COMPARE(nDelivered, 1);
    }

    void posterDestroyedWithAPendingDelivery() {
        int nDelivered = 0;
        CRecords records;
        {
            CWindowPoster poster([&](const CWindowPoster::SMessage&) { ++nDelivered; }, nullptr);
            poster.Post(WM_DOMAIN_ADDED, records.Make("a.example"));
        }
        QTest::qWait(20);
        QCOMPARE(nDelivered, 0);
    }
};

QTEST_MAIN(CScoreListTest)
#include "CScoreListTest.moc"
