#include "ui/CTallyvineDlg.h"
#include "UiTestSupport.h"
#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "tests/support/Metrics.h"
#include "tests/support/ServiceTestBed.h"
#include "ui/CAboutDlg.h"
#include "ui/CStringTable.h"
#include "ui/ControlMap.h"
#include "ui/VendorInfo.h"

#include <httplib.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

using uitest::Column;

namespace {

QString Text(int nId) {
    return CStringTable::Load(nId);
}

// A list of Tranco's shape ("rank,name" CRLF, no header) of 100 002 rows,
// as many as the built-in source asks for at least.
std::string TrancoShapedList() {
    std::string strList = "1,example.com\r\n2,example.co.uk\r\n";
    for (int nRank = 3; nRank <= 100002; ++nRank) {
        strList += std::to_string(nRank) + ",site" + std::to_string(nRank) + ".com\r\n";
    }
    return strList;
}

// Serves a list in a few pieces with a pause before each, its length told
// first, so that the download is seen under way; stops when the client goes.
class SlowList {
public:
    SlowList(std::string strBody, int nPieces, int nPauseMs)
        : m_strBody(std::move(strBody)), m_nPiece(m_strBody.size() / std::size_t(nPieces) + 1),
          m_nPauseMs(nPauseMs) {}

    ServiceTestBed::Handler Handler() {
        return [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                m_strBody.size(), "text/csv",
                [this](std::size_t nOffset, std::size_t nLength, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_nPauseMs.load()));
                    const std::size_t nPiece = std::min(nLength, m_nPiece);
                    if (!sink.write(m_strBody.data() + nOffset, nPiece)) {
                        return false;
                    }
                    m_nSent += nPiece;
                    return true;
                });
        };
    }
    void SetPause(int nPauseMs) { m_nPauseMs = nPauseMs; }
    std::size_t Size() const { return m_strBody.size(); }
    std::size_t Sent() const { return m_nSent.load(); }
    // The size as the status line tells it: "2.0".
    QString Megabytes() const { return QString::number(double(m_strBody.size()) / 1e6, 'f', 1); }

private:
    const std::string m_strBody;
    const std::size_t m_nPiece;
    std::atomic<int> m_nPauseMs;
    std::atomic<std::size_t> m_nSent{0};
};

} // namespace

// Drives the real main window offscreen; its worker asks a local test bed.
class CTallyvineDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ServiceTestBed> m_pBed;
    std::unique_ptr<CTallyvineDlg> m_pDlg;
    QTemporaryDir m_dir;
    // The list cache of a test that ticks a list source.
    std::unique_ptr<QTemporaryDir> m_pCache;
    QByteArray m_oldCache;

    CQueryManager& Manager() { return *m_pDlg->QueryManager(); }
    CScoreListCtrl& List() { return *m_pDlg->ScoreList(); }
    template <typename T> T* Control(const char* pszName) {
        return m_pDlg->findChild<T*>(QString::fromLatin1(pszName));
    }
    void Click(const char* pszName) {
        QTest::mouseClick(Control<QPushButton>(pszName), Qt::LeftButton);
    }
    void Type(const QString& strText) {
        QLineEdit* pEdit = Control<QLineEdit>("m_editDomain");
        pEdit->clear();
        // QTest types ASCII only; other text is pasted.
        const bool bAscii =
            std::all_of(strText.begin(), strText.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (bAscii) {
            QTest::keyClicks(pEdit, strText);
        } else {
            pEdit->insert(strText);
        }
    }
    void AddDomain(const QString& strDomain) {
        Type(strDomain);
        Click("m_btnAdd");
    }
    // Adds the domains and waits until the worker has scanned them all.
    void AddScanned(const QStringList& domains) {
        for (const QString& strDomain : domains) {
            AddDomain(strDomain);
        }
        QTRY_COMPARE(List().Model()->rowCount(), static_cast<int>(domains.size()));
        for (const QString& strDomain : domains) {
            CDomainRecord* pRecord = Manager().Store().Find(strDomain.toStdString());
            QVERIFY(pRecord);
            QTRY_VERIFY(pRecord->IsScanned());
        }
        QTRY_COMPARE(m_pDlg->StatusText(), Text(IDS_READY));
    }
    void StopWorker() {
        Click("m_btnStop");
        QVERIFY(uitest::WaitForWorkerEnd(Manager()));
    }
    // Ticks the TrancoList source, on a window whose list cache is a folder
    // of the test's own and empty.
    void TickTrancoListWithEmptyCache() {
        m_pCache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", m_pCache->path().toUtf8());
        // The cache folder is chosen when the window makes its controller.
        m_pDlg = std::make_unique<CTallyvineDlg>(m_pBed->Hosts());
        m_pDlg->show();
        Control<QSpinBox>("m_spinInterval")->setValue(0);
        Control<QCheckBox>("m_checkSourceTrancoList")->setChecked(true);
    }
    // What the list cache folder holds.
    QStringList CachedFiles() const {
        return QDir(m_pCache->filePath(QStringLiteral("tallyvine/lists")))
            .entryList(QDir::Files | QDir::Hidden);
    }
    int ListRequests() const {
        const auto requests = m_pBed->Requests();
        return static_cast<int>(std::count_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.service == ServiceTestBed::Service::Unknown;
        }));
    }
    QString WriteFile(const QString& strName, const QByteArray& bytes) {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return QString();
        }
        return strPath;
    }

private slots:
    void initTestCase() {
        // No test touches the user's own list cache.
        m_oldCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
        CMessageBox::RequireQueuedAnswers(true);
        CFileDialog::RequireQueuedAnswers(true);
    }

    void init() {
        m_pBed = std::make_unique<ServiceTestBed>();
        m_pDlg = std::make_unique<CTallyvineDlg>(m_pBed->Hosts());
        m_pDlg->show();
        m_pDlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDlg.get()));
        // Rows are scanned without the pause between them.
        Control<QSpinBox>("m_spinInterval")->setValue(0);
    }

    void cleanupTestCase() {
        if (m_oldCache.isNull()) {
            qunsetenv("XDG_CACHE_HOME");
        } else {
            qputenv("XDG_CACHE_HOME", m_oldCache);
        }
    }

    void cleanup() {
        m_pDlg.reset();
        m_pBed.reset();
        m_pCache.reset();
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
        QVERIFY2(uitest::SeamsDrained(), "a dialog answer was left unused or a box came unasked");
    }

    void formHasEveryControl_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("PR") << QStringLiteral("m_checkPR") << "PR: Google PageRank" << true
                            << false;
        QTest::newRow("Alexa") << QStringLiteral("m_checkAlexa")
                               << "Alexa: Alexa web traffic ranking" << true << true;
        QTest::newRow("GSite") << QStringLiteral("m_checkGSite") << "GSite: Google Site" << true
                               << true;
        QTest::newRow("GLink") << QStringLiteral("m_checkGLink") << "GLink: Google Link" << false
                               << true;
        QTest::newRow("GSearch1") << QStringLiteral("m_checkGSearch1") << "GSearch1: Google Search1"
                                  << false << true;
        QTest::newRow("GSearch2") << QStringLiteral("m_checkGSearch2") << "GSearch2: Google Search2"
                                  << false << true;
        QTest::newRow("BSite") << QStringLiteral("m_checkBSite") << "BSite: Baidu Site" << true
                               << true;
        QTest::newRow("BLink") << QStringLiteral("m_checkBLink") << "BLink: Baidu Link" << false
                               << true;
        QTest::newRow("BSearch1") << QStringLiteral("m_checkBSearch1") << "BSearch1: Baidu Search1"
                                  << false << true;
        QTest::newRow("BSearch2") << QStringLiteral("m_checkBSearch2") << "BSearch2: Baidu Search2"
                                  << false << true;
    }

    void formHasEveryControl() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        QCheckBox* pBox = m_pDlg->findChild<QCheckBox*>(name);
        QVERIFY(pBox);
        QCOMPARE(pBox->text(), caption);
        QCOMPARE(pBox->isChecked(), checked);
        QCOMPARE(pBox->isEnabled(), enabled);
    }

    void formCaptionsAndInterval() {
        QCOMPARE(m_pDlg->windowTitle(), QStringLiteral("Tallyvine 1.0.5"));
        const QList<std::pair<const char*, QString>> buttons = {
            {"m_btnAdd", "Add(&A)"},       {"m_btnImport", "Import(&I)"},
            {"m_btnExport", "Export(&E)"}, {"m_btnRescan", "Rescan(&R)"},
            {"m_btnStop", "Stop(&S)"},     {"m_btnClean", "Clean(&C)"}};
        for (const auto& [nId, strCaption] : buttons) {
            QCOMPARE(Control<QPushButton>(nId)->text(), strCaption);
        }
        QVERIFY(Control<QPushButton>("m_btnAdd")->isDefault());
        QCOMPARE(Control<QLabel>("m_linkSite")->text(), QStringLiteral("Orbelle"));
        QCOMPARE(Control<QLabel>("m_staticStatus")->text(), QString());
        QCOMPARE(Control<QPushButton>("m_btnDonate")->size(), QSize(74, 21));

        QSpinBox* pInterval = Control<QSpinBox>("m_spinInterval");
        QCOMPARE(pInterval->minimum(), 0);
        QCOMPARE(pInterval->maximum(), 10000);
        const auto labels = m_pDlg->findChildren<QLabel*>();
        const bool bMilliseconds = std::any_of(labels.begin(), labels.end(), [](QLabel* p) {
            return p->text() == QStringLiteral("Milliseconds");
        });
        QVERIFY(bMilliseconds);
    }

    // However many sources there are, their boxes wrap, so the window fits a
    // 1024-pixel screen.
    void sourceBoxesNeverWidenTheWindowPastTheScreen() {
        QVERIFY(CMetricTable::Count() > 15);
        QVERIFY2(m_pDlg->minimumSizeHint().width() <= 1024,
                 qPrintable(QString::number(m_pDlg->minimumSizeHint().width())));
    }

    void freshWindowStartsWithOneSecond() {
        CTallyvineDlg dlg(m_pBed->Hosts());
        QCOMPARE(dlg.findChild<QSpinBox*>(QStringLiteral("m_spinInterval"))->value(), 1000);
        QCOMPARE(dlg.QueryManager()->GetInterval(), 1000);
    }

    void tabOrderFollowsTheForm() {
        const QStringList order = {"m_editDomain",    "m_btnAdd",        "m_btnImport",
                                   "m_btnStop",       "m_btnClean",      "m_listScore",
                                   "m_checkGSite",    "m_checkBSite",    "m_btnExport",
                                   "m_btnRescan",     "m_checkAlexa",    "m_checkGSearch1",
                                   "m_checkGSearch2", "m_checkBSearch1", "m_checkBSearch2",
                                   "m_checkGLink",    "m_checkBLink",    "m_spinInterval"};
        QWidget* pWidget = Control<QWidget>("m_editDomain");
        pWidget->setFocus();
        QTRY_VERIFY(pWidget->hasFocus());
        QStringList seen;
        for (int i = 0; i < order.size(); ++i) {
            QWidget* pFocus = QApplication::focusWidget();
            // The spin box's focus sits in its line edit.
            while (pFocus && !order.contains(pFocus->objectName())) {
                pFocus = pFocus->parentWidget();
            }
            seen << (pFocus ? pFocus->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(seen, order);
    }

    void enterInTheDomainBoxAdds() {
        Type(QStringLiteral("example.com"));
        QTest::keyClick(Control<QLineEdit>("m_editDomain"), Qt::Key_Return);
        QTRY_COMPARE(Column(List(), 1), QStringList{"example.com"});
        QCOMPARE(Control<QLineEdit>("m_editDomain")->text(), QStringLiteral("example.com"));
        QVERIFY(CMessageBox::AnsweredTexts().isEmpty());
    }

    void refusedEntryKeepsTheText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("url with scheme") << QStringLiteral("http://example.com/");
        QTest::newRow("blank inside") << QStringLiteral("exa mple.com");
        QTest::newRow("leading blank") << QStringLiteral(" example.com");
        QTest::newRow("non-ASCII") << QStringLiteral("b\u00fccher.de");
    }

    void refusedEntryKeepsTheText() {
        QFETCH(QString, text);
        Control<QPushButton>("m_btnAdd")->setFocus();
        Type(text);
        CMessageBox::QueueAnswer(QMessageBox::Ok);
        Click("m_btnAdd");
        QCOMPARE(CMessageBox::AnsweredTexts(), QStringList{Text(IDS_BAD_DOMAIN)});
        QCOMPARE(Control<QLineEdit>("m_editDomain")->text(), text);
        QTRY_VERIFY(Control<QLineEdit>("m_editDomain")->hasFocus());
        QCOMPARE(Manager().Store().GetCount(), std::size_t{0});
        QTest::qWait(50);
        QCOMPARE(List().Model()->rowCount(), 0);
    }

    void duplicatesMakeOneRowAndCaseMatters() {
        AddDomain(QStringLiteral("example.com"));
        AddDomain(QStringLiteral("example.com"));
        AddDomain(QStringLiteral("Example.com"));
        QTRY_COMPARE(Column(List(), 1), (QStringList{"example.com", "Example.com"}));
        QTest::qWait(50);
        QCOMPARE(List().Model()->rowCount(), 2);
    }

    void settingsAreTakenOnAdd() {
        Control<QCheckBox>("m_checkAlexa")->setChecked(false);
        Control<QCheckBox>("m_checkGLink")->setChecked(true);
        Control<QCheckBox>("m_checkBSearch2")->setChecked(true);
        QSpinBox* pInterval = Control<QSpinBox>("m_spinInterval");
        pInterval->selectAll();
        QTest::keyClicks(pInterval, QStringLiteral("250"));
        AddDomain(QStringLiteral("example.com"));
        QCOMPARE(Manager().GetInterval(), 250);
        QVERIFY(Manager().GetMetricFlag(Metric::PR));
        QVERIFY(!Manager().GetMetricFlag(Metric::Alexa));
        QVERIFY(Manager().GetMetricFlag(Metric::GLink));
        QVERIFY(Manager().GetMetricFlag(Metric::BSearch2));
        QVERIFY(Manager().GetMetricFlag(Metric::GSite));
        QVERIFY(!Manager().GetMetricFlag(Metric::GSearch1));
    }

    void intervalBoxRefusesOutOfRange_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("taken");
        QTest::newRow("20000 stops at 2000") << QStringLiteral("20000") << 2000;
        QTest::newRow("10000") << QStringLiteral("10000") << 10000;
        QTest::newRow("0") << QStringLiteral("0") << 0;
        QTest::newRow("minus sign refused") << QStringLiteral("-5") << 5;
        QTest::newRow("letters refused") << QStringLiteral("abc") << 0;
    }

    void intervalBoxRefusesOutOfRange() {
        QFETCH(QString, typed);
        QFETCH(int, taken);
        QSpinBox* pInterval = Control<QSpinBox>("m_spinInterval");
        pInterval->setValue(0);
        pInterval->selectAll();
        QTest::keyClicks(pInterval, typed);
        Click("m_btnRescan");
        QCOMPARE(Manager().GetInterval(), taken);
        QVERIFY(Manager().GetInterval() <= 10000);
    }

    void rowsFillAsTheWorkerPosts() {
        m_pBed->SetPageRank("a.example", "7");
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, true);
        AddDomain(QStringLiteral("a.example"));
        QTRY_COMPARE(m_pDlg->StatusText(), QStringLiteral("Querying a.example"));
        QCOMPARE(Column(List(), 0), QStringList{"1"});
        QCOMPARE(Column(List(), 2), QStringList{QString()});
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, false);
        QTRY_COMPARE(m_pDlg->StatusText(), Text(IDS_READY));
        QTRY_COMPARE(Column(List(), 2), QStringList{"7"});
    }

    void rescanHidesOldValuesUntilTheRowIsScannedAgain() {
        AddScanned({QStringLiteral("a.example")});
        StopWorker();
        CDomainRecord* pRecord = Manager().Store().Find("a.example");
        pRecord->SetMetric(Metric::GSite, "1,230,000");
        QCOMPARE(Column(List(), 4), QStringList{"1,230,000"});

        // Unticked, GSite is not asked again, so the old text comes back.
        Control<QCheckBox>("m_checkGSite")->setChecked(false);
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, true);
        Click("m_btnRescan");
        QTRY_COMPARE(m_pDlg->StatusText(), QStringLiteral("Querying a.example"));
        QCOMPARE(Column(List(), 4), QStringList{QString()});
        QCOMPARE(pRecord->GetMetric(Metric::GSite), std::string("1,230,000"));
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, false);
        QTRY_COMPARE(Column(List(), 4), QStringList{"1,230,000"});
    }

    void stopThenCleanIsRefusedUntilTheWorkerEnds() {
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, true);
        AddDomain(QStringLiteral("a.example"));
        QTRY_COMPARE(List().Model()->rowCount(), 1);
        // A Stop before the worker reaches the row would end it at once.
        QVERIFY(m_pBed->WaitForRequests(1, std::chrono::seconds(5)));
        Click("m_btnStop");
        CMessageBox::QueueAnswer(QMessageBox::Ok);
        Click("m_btnClean");
        QCOMPARE(CMessageBox::AnsweredTexts(), QStringList{Text(IDS_STOP_FIRST)});
        QCOMPARE(List().Model()->rowCount(), 1);
        QCOMPARE(Manager().Store().GetCount(), std::size_t{1});

        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, false);
        QTRY_VERIFY(!Manager().IsThreadAlive());
        Click("m_btnClean");
        QCOMPARE(List().Model()->rowCount(), 0);
        QVERIFY(List().Model()->Rows().empty());
        QCOMPARE(Manager().Store().GetCount(), std::size_t{0});
    }

    void messagesForCleanedRecordsAreIgnored() {
        // The added, begin and end messages are still queued when Clean
        // frees their records; handling them must not touch those records.
        AddDomain(QStringLiteral("a.example"));
        Click("m_btnStop");
        QVERIFY(uitest::WaitForWorkerEnd(Manager()));
        Click("m_btnClean");
        QTest::qWait(50);
        QCOMPARE(List().Model()->rowCount(), 0);
        AddDomain(QStringLiteral("a.example"));
        QTRY_COMPARE(Column(List(), 1), QStringList{"a.example"});
    }

    void sortByHeaderClick_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("expected");
        // Domains c, a, d, b hold the values in this order.
        QTest::newRow("PR largest first, waiting last")
            << 2 << QStringList{"3", "", "wait", "6"} << QStringList{"b", "c", "a", "d"};
        QTest::newRow("Alexa smallest first, empty first")
            << 3 << QStringList{"20", "", "3", "100"} << QStringList{"a", "d", "c", "b"};
        QTest::newRow("GSite with commas") << 4 << QStringList{"99,999", "", "1,230,000", "x12"}
                                           << QStringList{"d", "c", "a", "b"};
        QTest::newRow("BSearch2 counts")
            << 11 << QStringList{"5", "50", "500", "5,000"} << QStringList{"b", "d", "a", "c"};
        QTest::newRow("Domain byte order")
            << 1 << QStringList{"", "", "", ""} << QStringList{"a", "b", "c", "d"};
    }

    void sortByHeaderClick() {
        QFETCH(int, column);
        QFETCH(QStringList, values);
        QFETCH(QStringList, expected);
        const QStringList domains = {"c", "a", "d", "b"};
        AddScanned(domains);
        StopWorker();
        for (int i = 0; i < domains.size(); ++i) {
            CDomainRecord* pRecord = Manager().Store().Find(domains[i].toStdString());
            const std::string strValue = values[i].toStdString();
            if (column == 2 && strValue == "wait") {
                pRecord->ResetForRescan();
            } else if (column >= 2) {
                pRecord->SetMetric(static_cast<std::size_t>(column - 2), strValue);
            }
        }
        uitest::ClickHeader(List(), column);
        QCOMPARE(Column(List(), 1), expected);
        QCOMPARE(Column(List(), 0), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(List().SortMark(), column);
        QVERIFY(List().horizontalHeader()->isSortIndicatorShown());
        QCOMPARE(List().horizontalHeader()->sortIndicatorSection(), column);

        // The same direction again; the scan order is untouched.
        uitest::ClickHeader(List(), column);
        QCOMPARE(Column(List(), 1), expected);
        QStringList indexOrder;
        Manager().Store().ForEachRecord([&](CDomainRecord& record) {
            indexOrder << QString::fromStdString(std::string(record.GetDomain()));
        });
        QCOMPARE(indexOrder, (QStringList{"a", "b", "c", "d"}));
    }

    void numberColumnIsNotSortable() {
        AddScanned({"c", "a", "b"});
        uitest::ClickHeader(List(), 4);
        uitest::ClickHeader(List(), 1);
        QCOMPARE(Column(List(), 1), (QStringList{"a", "b", "c"}));
        uitest::ClickHeader(List(), 0);
        QCOMPARE(Column(List(), 1), (QStringList{"a", "b", "c"}));
        QCOMPARE(List().SortMark(), 1);
        QCOMPARE(List().horizontalHeader()->sortIndicatorSection(), 1);
    }

    void rowsAddedAfterASortGoToTheEnd() {
        AddScanned({"b", "c"});
        uitest::ClickHeader(List(), 1);
        AddDomain(QStringLiteral("a"));
        QTRY_COMPARE(Column(List(), 1), (QStringList{"b", "c", "a"}));
        QCOMPARE(Column(List(), 0), (QStringList{"1", "2", "3"}));
    }

    void importAddsTheListedDomains() {
        const QString strPath = WriteFile(
            "list.txt", "b.example\r\na.example\n\n\r\nnot a domain\r\nb.example\rc.example\n");
        CFileDialog::QueueAnswer(strPath);
        Click("m_btnImport");
        QTRY_COMPARE(Column(List(), 1), (QStringList{"b.example", "a.example", "c.example"}));
        QVERIFY(CMessageBox::AnsweredTexts().isEmpty());
    }

    void importCancelledAddsNothing() {
        CFileDialog::QueueAnswer(std::nullopt);
        Click("m_btnImport");
        QTest::qWait(50);
        QCOMPARE(Manager().Store().GetCount(), std::size_t{0});
        QVERIFY(CMessageBox::AnsweredTexts().isEmpty());
    }

    void importOfAMissingFileSaysWhy() {
        CFileDialog::QueueAnswer(m_dir.filePath("missing.txt"));
        CMessageBox::QueueAnswer(QMessageBox::Ok);
        Click("m_btnImport");
        QCOMPARE(CMessageBox::AnsweredTexts().size(), 1);
        const QString strShown = CMessageBox::AnsweredTexts().first();
        QVERIFY2(strShown.startsWith(CStringTable::Format(IDS_IMPORT_FAILED, QString())),
                 qPrintable(strShown));
        QVERIFY(strShown.size() > CStringTable::Format(IDS_IMPORT_FAILED, QString()).size());
        QCOMPARE(Manager().Store().GetCount(), std::size_t{0});
    }

    // One service rate-limits: its cells look failed and say why, the others
    // keep their values, and the status line names the service.
    void failedCellsSayWhyAndTheStatusLineCountsThem() {
        m_pBed->SetHandler(ServiceTestBed::Service::Google,
                           [](const auto&, auto& res) { res.status = 429; });
        ServiceTestBed::DomainValues values;
        values.strPageRank = "5";
        values.strAlexa = "1204";
        values.strBaiduSite = "456";
        m_pBed->SetDomain("example.com", values);
        AddDomain(QStringLiteral("example.com"));
        QTRY_COMPARE(List().Model()->rowCount(), 1);
        QTRY_COMPARE(m_pDlg->StatusText(),
                     QStringLiteral("Ready. Failed cells: 1; GSite: every query failed (blocked "
                                    "by the service, HTTP 429)"));
        // A status line too long for the window can be read whole.
        QCOMPARE(Control<QLabel>("m_staticStatus")->toolTip(), m_pDlg->StatusText());
        const QModelIndex site =
            List().model()->index(0, CScoreListModel::MetricColumn(Metric::GSite));
        const QModelIndex rank =
            List().model()->index(0, CScoreListModel::MetricColumn(Metric::Alexa));
        QCOMPARE(site.data().toString(), QString());
        QVERIFY(site.data(Qt::BackgroundRole).isValid());
        QVERIFY2(site.data(Qt::ToolTipRole)
                     .toString()
                     .startsWith("GSite: blocked by the service (HTTP 429)\nhttp://"),
                 qPrintable(site.data(Qt::ToolTipRole).toString()));
        // The address without the values of its query, which may hold a key.
        QVERIFY(site.data(Qt::ToolTipRole).toString().endsWith("/search?q=...&timestamp=..."));
        QCOMPARE(rank.data().toString(), QStringLiteral("1204"));
        QVERIFY(!rank.data(Qt::BackgroundRole).isValid());
        QVERIFY(rank.data(Qt::ToolTipRole).toString().startsWith("fetched "));

        // Asked again, only the failed cell changes.
        m_pBed->SetHandler(ServiceTestBed::Service::Google, nullptr);
        values.strGoogleSite = "1,230";
        m_pBed->SetDomain("example.com", values);
        m_pBed->ClearRequests();
        m_pDlg->OnRescanFailed();
        QTRY_COMPARE(site.data().toString(), QStringLiteral("1,230"));
        QVERIFY(!site.data(Qt::BackgroundRole).isValid());
        QCOMPARE(m_pBed->RequestCount(), 1u);
        QCOMPARE(rank.data().toString(), QStringLiteral("1204"));
        QCOMPARE(List()
                     .model()
                     ->index(0, CScoreListModel::MetricColumn(Metric::BSite))
                     .data()
                     .toString(),
                 QStringLiteral("456"));
    }

    // Rows typed during a scan come in a later pass: the status line still
    // counts every tinted cell of the list, and names a service only while
    // every cell of it failed.
    void theStatusLineCountsTheWholeListAfterTwoPasses() {
        m_pBed->SetHandler(ServiceTestBed::Service::Google,
                           [](const auto&, auto& res) { res.status = 429; });
        AddDomain(QStringLiteral("first.example"));
        QTRY_COMPARE(m_pDlg->StatusText(),
                     QStringLiteral("Ready. Failed cells: 1; GSite: every query failed (blocked "
                                    "by the service, HTTP 429)"));
        AddDomain(QStringLiteral("second.example"));
        QTRY_COMPARE(m_pDlg->StatusText(),
                     QStringLiteral("Ready. Failed cells: 2; GSite: every query failed (blocked "
                                    "by the service, HTTP 429)"));
        m_pBed->SetHandler(ServiceTestBed::Service::Google, nullptr);
        AddDomain(QStringLiteral("third.example"));
        QTRY_COMPARE(List().Model()->rowCount(), 3);
        QTRY_COMPARE(m_pDlg->StatusText(), QStringLiteral("Ready. Failed cells: 2"));
    }

    void aCellWithNothingFoundIsPlain() {
        m_pBed->SetHandler(ServiceTestBed::Service::Baidu, [](const auto&, auto& res) {
            res.set_content("<html>\xB1\xA7\xC7\xB8\xA3\xAC\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD"
                            "</html>",
                            "text/html; charset=GBK");
        });
        AddScanned({"quiet.example"});
        const QModelIndex site =
            List().model()->index(0, CScoreListModel::MetricColumn(Metric::BSite));
        QCOMPARE(site.data().toString(), QString());
        QVERIFY(!site.data(Qt::BackgroundRole).isValid());
        QCOMPARE(site.data(Qt::ToolTipRole).toString(), QStringLiteral("nothing found"));
        // Not asked: nothing to say.
        const QModelIndex link =
            List().model()->index(0, CScoreListModel::MetricColumn(Metric::GLink));
        QVERIFY(!link.data(Qt::ToolTipRole).isValid());
    }

    // A source that asks the registrable domain says so when it asked
    // another name than the row's.
    void aCellAskedForTheSiteSaysWhichNameWasAsked() {
        m_pBed->SetHandler(ServiceTestBed::Service::Unknown, [](const auto& req, auto& res) {
            if (req.path == "/api/ranks/domain/example.co.uk") {
                res.set_content(R"({"ranks":[{"date":"2026-12-01","rank":77}]})",
                                "application/json");
            } else {
                res.status = 404;
            }
        });
        auto* pBox = m_pDlg->findChild<QCheckBox*>(QStringLiteral("m_checkSourceTranco"));
        QVERIFY(pBox);
        pBox->setChecked(true);
        AddScanned({"www.example.co.uk"});
        const QModelIndex rank =
            List().model()->index(0, CScoreListModel::MetricColumn(Metric::Tranco));
        QTRY_COMPARE(rank.data().toString(), QStringLiteral("77"));
        const QString strTip = rank.data(Qt::ToolTipRole).toString();
        QVERIFY2(strTip.startsWith("fetched ") && strTip.endsWith("\nasked example.co.uk"),
                 qPrintable(strTip));
    }

    // A list source's first row downloads the list: the status line tells
    // the download as it goes, then the indexing, and the column fills from
    // the list without a request per row.
    void aListDownloadShowsItsProgressThenTheColumnFills() {
        TickTrancoListWithEmptyCache();
        const auto pSlow = std::make_shared<SlowList>(TrancoShapedList(), 5, 150);
        m_pBed->SetHandler(ServiceTestBed::Service::Unknown, pSlow->Handler());
        QStringList shown;
        QObject listener;
        connect(&m_pDlg->ScanSignals(), &CScanSignals::ListProgress, &listener,
                [&] { shown << m_pDlg->StatusText(); });

        const QStringList domains = {"example.com", "www.example.co.uk", "site777.com",
                                     "absent.example"};
        for (const QString& strDomain : domains) {
            AddDomain(strDomain);
        }
        const QString strTotal = pSlow->Megabytes();
        const QRegularExpression downloading(QStringLiteral("^Downloading the Tranco list: "
                                                            "(\\d+\\.\\d) of %1 MB$")
                                                 .arg(QRegularExpression::escape(strTotal)));
        // Seen while the event loop runs, part of the list still to come.
        QRegularExpressionMatch match;
        QTRY_VERIFY((match = downloading.match(m_pDlg->StatusText())).hasMatch());
        QVERIFY2(match.captured(1).toDouble() < strTotal.toDouble(), qPrintable(match.captured(0)));

        // A waiting row shows an empty cell too: every row must be through.
        for (const QString& strDomain : domains) {
            const CDomainRecord* pRecord = Manager().Store().Find(strDomain.toStdString());
            QTRY_VERIFY(pRecord->IsScanned() &&
                        pRecord->GetCellState(Metric::TrancoList).outcome != EOutcome::NotAsked);
        }
        QTRY_COMPARE(m_pDlg->StatusText(), Text(IDS_READY));
        const int nColumn = CScoreListModel::MetricColumn(Metric::TrancoList);
        QCOMPARE(Column(List(), nColumn), (QStringList{"1", "2", "777", ""}));
        const QString strIndexed = QStringLiteral("Downloading the Tranco list: %1 of %1 MB, "
                                                  "indexing: 100 002 rows")
                                       .arg(strTotal);
        QVERIFY2(!shown.isEmpty() && shown.last() == strIndexed, qPrintable(shown.join('|')));
        QVERIFY2(std::any_of(
                     shown.begin(), shown.end(),
                     [&](const QString& strText) { return downloading.match(strText).hasMatch(); }),
                 qPrintable(shown.join('|')));
        QCOMPARE(ListRequests(), 1);

        const QString strFound = List().model()->index(1, nColumn).data(Qt::ToolTipRole).toString();
        QVERIFY2(strFound.contains("\nexample.co.uk in the list of "), qPrintable(strFound));
        // A name the list does not hold is none: an empty cell, not a failure.
        const QModelIndex absent = List().model()->index(3, nColumn);
        QVERIFY(!absent.data(Qt::BackgroundRole).isValid());
        const QString strAbsent = absent.data(Qt::ToolTipRole).toString();
        QVERIFY2(strAbsent.startsWith(Text(IDS_NOTHING_FOUND) + "\nnot in the list of "),
                 qPrintable(strAbsent));
        // Only the list's database and its lock stay in the cache.
        QCOMPARE(CachedFiles().size(), 2);
    }

    // Stop during a list's download ends it at once: the window goes on
    // turning, the row's cell holds no value, the cache keeps nothing half
    // built, and asking the failed cells again downloads the list anew.
    void stopDuringAListDownloadCancelsIt() {
        TickTrancoListWithEmptyCache();
        const auto pSlow = std::make_shared<SlowList>(TrancoShapedList(), 40, 100);
        m_pBed->SetHandler(ServiceTestBed::Service::Unknown, pSlow->Handler());
        AddDomain(QStringLiteral("example.com"));
        QTRY_VERIFY(m_pDlg->StatusText().startsWith("Downloading the Tranco list: "));

        QElapsedTimer timer;
        timer.start();
        Click("m_btnStop");
        QTRY_VERIFY_WITH_TIMEOUT(!Manager().IsThreadAlive(), 3000);
        // The rest of the list would have taken seconds.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(pSlow->Sent() < pSlow->Size());

        CDomainRecord* pRecord = Manager().Store().Find("example.com");
        QVERIFY(pRecord);
        const SCellState state = pRecord->GetCellState(Metric::TrancoList);
        QCOMPARE(state.outcome, EOutcome::Failed);
        QCOMPARE(state.reason, EFailReason::Cancelled);
        const int nColumn = CScoreListModel::MetricColumn(Metric::TrancoList);
        QTRY_COMPARE(Column(List(), nColumn), QStringList{QString()});
        const QStringList files = CachedFiles();
        QVERIFY2(std::all_of(files.begin(), files.end(),
                             [](const QString& strName) { return strName.endsWith(".lock"); }),
                 qPrintable(files.join(' ')));

        pSlow->SetPause(0);
        m_pDlg->OnRescanFailed();
        QTRY_COMPARE(Column(List(), nColumn), QStringList{"1"});
        QCOMPARE(ListRequests(), 2);
    }

    // A message about one row redraws that row, not the whole list.
    void aScannedRowRedrawsOnlyItself() {
        AddScanned({"a.example", "b.example", "c.example"});
        QSignalSpy changes(List().model(), &QAbstractItemModel::dataChanged);
        Click("m_btnRescan");
        QTRY_VERIFY(changes.size() >= 6);
        for (const QList<QVariant>& change : changes) {
            QCOMPARE(change.at(0).toModelIndex().row(), change.at(1).toModelIndex().row());
        }
    }

    // A definition file of the user's: a box under the ten, a column shown
    // while it is ticked, a sort by its order and an export column.
    void aUserSourceAddsABoxAColumnASortAndAnExportColumn() {
        QTemporaryDir config;
        QVERIFY(QDir().mkpath(config.filePath("tallyvine/sources")));
        QFile file(config.filePath("tallyvine/sources/myrank.toml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("id = \"MyRank\"\nlabel = \"MyRank: my ranking service\"\n"
                   "url = \"http://rank.example.org/api/{domain}\"\n"
                   "pattern = '\"rank\":\\s*([0-9]+)'\norder = \"ascending\"\n");
        file.close();
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        m_pDlg.reset();
        CMetricTable::Reload();
        const std::optional<std::size_t> nMetric = CMetricTable::Find("MyRank");
        QVERIFY(nMetric.has_value());
        m_pBed->SetHandler(ServiceTestBed::Service::Unknown, [](const auto& req, auto& res) {
            const char* pszRank = req.path.find("/a.example") != std::string::npos   ? "30"
                                  : req.path.find("/b.example") != std::string::npos ? "4"
                                                                                     : "200";
            res.set_content(std::string("{\"rank\": ") + pszRank + "}", "application/json");
        });
        m_pDlg = std::make_unique<CTallyvineDlg>(m_pBed->Hosts());
        m_pDlg->show();
        Control<QSpinBox>("m_spinInterval")->setValue(0);

        auto* pBox = m_pDlg->findChild<QCheckBox*>(QStringLiteral("m_checkSourceMyRank"));
        QVERIFY(pBox);
        QCOMPARE(pBox->text(), QStringLiteral("MyRank: my ranking service"));
        const int nColumn = CScoreListModel::MetricColumn(*nMetric);
        QVERIFY(List().isColumnHidden(nColumn));
        QCOMPARE(List().model()->headerData(nColumn, Qt::Horizontal).toString(),
                 QStringLiteral("MyRank"));
        pBox->setChecked(true);
        QVERIFY(!List().isColumnHidden(nColumn));
        for (const char* pszDomain : {"a.example", "b.example", "c.example"}) {
            AddDomain(QString::fromLatin1(pszDomain));
        }
        QTRY_COMPARE(List().Model()->rowCount(), 3);
        QTRY_COMPARE(Column(List(), nColumn), (QStringList{"30", "4", "200"}));

        uitest::ClickHeader(List(), nColumn);
        QCOMPARE(Column(List(), 1), (QStringList{"b.example", "a.example", "c.example"}));

        const QString strPath = m_dir.filePath("ranks.csv");
        CFileDialog::QueueAnswer(strPath);
        Click("m_btnExport");
        QFile csv(strPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines.value(0).endsWith(",Alexa,MyRank\r"));
        QVERIFY(lines.value(1).startsWith("a.example,5,"));
        QVERIFY(lines.value(1).endsWith(",\"30\"\r"));

        m_pDlg.reset();
        if (oldConfig.isNull()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", oldConfig);
        }
        CMetricTable::Reload();
    }

    void exportWritesTheHeaderAndEveryRecord() {
        AddScanned({"b.example", "a.example"});
        const QString strPath = m_dir.filePath("out.csv");
        CFileDialog::QueueAnswer(strPath);
        Click("m_btnExport");
        QVERIFY(CMessageBox::AnsweredTexts().isEmpty());
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(
            lines.value(0),
            QByteArray("Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r"));
        QVERIFY(lines.value(1).startsWith("a.example,5,"));
        QVERIFY(lines.value(2).startsWith("b.example,5,"));
    }

    void exportFailureSaysWhyAndLeavesTheList() {
        AddScanned({"a.example"});
        CFileDialog::QueueAnswer(m_dir.filePath("no-such-folder/out.csv"));
        CMessageBox::QueueAnswer(QMessageBox::Ok);
        Click("m_btnExport");
        QCOMPARE(CMessageBox::AnsweredTexts().size(), 1);
        const QString strPrefix = CStringTable::Format(IDS_EXPORT_FAILED, QString());
        QVERIFY(CMessageBox::AnsweredTexts().first().startsWith(strPrefix));
        QVERIFY(CMessageBox::AnsweredTexts().first().size() > strPrefix.size());
        QCOMPARE(Column(List(), 1), QStringList{"a.example"});
        QCOMPARE(Manager().Store().GetCount(), std::size_t{1});
    }

    void exportOfAnEmptyListWritesNothing() {
        const QString strPath = WriteFile("keep.csv", "old");
        CFileDialog::QueueAnswer(strPath);
        CMessageBox::QueueAnswer(QMessageBox::Ok);
        Click("m_btnExport");
        QCOMPARE(CMessageBox::AnsweredTexts(), QStringList{Text(IDS_EXPORT_EMPTY)});
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old"));
    }

    // A tool outside finds the controls by name where the window shows them.
    void controlMapNamesEveryControlAndColumn() {
        const QString strPath = m_dir.filePath("controls");
        QVERIFY(WriteControlMap(*m_pDlg, strPath));
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QRect> map;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 5) {
                map[QString::fromUtf8(fields[0])] = QRect(fields[1].toInt(), fields[2].toInt(),
                                                          fields[3].toInt(), fields[4].toInt());
            }
        }
        for (const char* pszName :
             {"m_editDomain", "m_btnAdd", "m_checkGLink", "m_spinInterval", "m_listScore"}) {
            auto* pControl = m_pDlg->findChild<QWidget*>(QString::fromLatin1(pszName));
            QCOMPARE(map.value(QString::fromLatin1(pszName)),
                     QRect(pControl->mapTo(m_pDlg.get(), QPoint(0, 0)), pControl->size()));
        }
        // A hidden column is not there to click.
        QVERIFY(!map.contains("m_listScore:column:Tranco"));
        const QRect list = map.value("m_listScore");
        const QRect domain = map.value("m_listScore:column:Domain");
        const QRect site = map.value("m_listScore:column:GSite");
        const QRect row = map.value("m_listScore:row");
        QVERIFY(list.contains(domain) && list.contains(site));
        QCOMPARE(domain.left() + domain.width() + 50 + 80, site.left());
        QCOMPARE(row.top(), domain.bottom() + 1);
        QCOMPARE(row.height(), List().verticalHeader()->defaultSectionSize());
    }

    void escapeLeavesTheWindowOpen() {
        QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
        QTest::qWait(20);
        QVERIFY(m_pDlg->isVisible());
    }

    void closeAsksFirst() {
        AddScanned({QStringLiteral("a.example")});
        CMessageBox::QueueAnswer(QMessageBox::No);
        QVERIFY(!m_pDlg->close());
        QVERIFY(m_pDlg->isVisible());
        QCOMPARE(CMessageBox::AnsweredTexts(), QStringList{Text(IDS_EXIT_CONFIRM)});

        CMessageBox::QueueAnswer(QMessageBox::Yes);
        QVERIFY(m_pDlg->close());
        QVERIFY(!m_pDlg->isVisible());
        QCOMPARE(m_pDlg->result(), int(QDialog::Accepted));
        // The records are gone with the controller; the list holds none.
        QCOMPARE(m_pDlg->QueryManager(), nullptr);
        QVERIFY(List().Model()->Rows().empty());
    }

    void trayExitAsksFirst() {
        CMessageBox::QueueAnswer(QMessageBox::No);
        m_pDlg->OnExit();
        QVERIFY(m_pDlg->isVisible());
        CMessageBox::QueueAnswer(QMessageBox::Yes);
        m_pDlg->OnExit();
        QVERIFY(!m_pDlg->isVisible());
    }

    void closingDuringAScanEndsWithinASecond() {
        m_pBed->SetSilent(ServiceTestBed::Service::PageRank, true);
        AddDomain(QStringLiteral("a.example"));
        QTRY_COMPARE(m_pDlg->StatusText(), QStringLiteral("Querying a.example"));
        QVERIFY(m_pBed->WaitForRequests(1, std::chrono::seconds(5)));
        QElapsedTimer timer;
        timer.start();
        CMessageBox::QueueAnswer(QMessageBox::Yes);
        QVERIFY(m_pDlg->close());
        m_pDlg.reset();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    }

    void aboutFromF1AndContextMenu() {
        int nShown = 0;
        auto closeAbout = [&] {
            QTimer::singleShot(0, [&] {
                auto* pAbout = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
                if (pAbout) {
                    ++nShown;
                    pAbout->accept();
                }
            });
        };
        closeAbout();
        QTest::keyClick(m_pDlg.get(), Qt::Key_F1);
        QCOMPARE(nShown, 1);

        closeAbout();
        m_pDlg->OnAbout();
        QCOMPARE(nShown, 2);
    }

    void donateOpensTheDonationPage() {
        uitest::CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        Click("m_btnDonate");
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.m_urls.size(), 1);
        QCOMPARE(catcher.m_urls.first().toEncoded(), QByteArray(VendorInfo::kDonationUrl));
    }
};

QTEST_MAIN(CTallyvineDlgTest)
#include "CTallyvineDlgTest.moc"
