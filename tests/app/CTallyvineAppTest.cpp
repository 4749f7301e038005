#include "app/CTallyvineApp.h"
#include "app/CSingleInstance.h"
#include "ui/CAboutDlg.h"
#include "ui/CMessageBox.h"
#include "ui/CStringTable.h"
#include "ui/CSystemTray.h"
#include "ui/CTallyvineDlg.h"
#include "ui/CTrayAnimation.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kProcessTimeout = 20000;

// Leaves a socket file that nobody listens on, as a crashed run does.
bool MakeStaleSocket(const QString& strPath) {
    const int nSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (nSocket < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(strPath);
    std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
    const bool bBound =
        ::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(nSocket);
    return bBound && QFile::exists(strPath);
}

// Every text a window shows from its form: its title, labels, buttons and
// group boxes.
QStringList FormTexts(const QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (const QLabel* pLabel : window.findChildren<QLabel*>()) {
        texts << pLabel->text();
    }
    for (const QAbstractButton* pButton : window.findChildren<QAbstractButton*>()) {
        // The boxes of sources from definition files bring their own labels.
        if (!pButton->objectName().startsWith(QLatin1String("m_checkSource"))) {
            texts << pButton->text();
        }
    }
    for (const QGroupBox* pBox : window.findChildren<QGroupBox*>()) {
        texts << pBox->title();
    }
    texts.removeAll(QString());
    return texts;
}

// The texts of context that pack has no translation for.
QStringList Untranslated(const QTranslator& pack, const char* pszContext,
                         const QStringList& texts) {
    QStringList missing;
    for (const QString& strText : texts) {
        if (pack.translate(pszContext, strText.toUtf8().constData()).isEmpty()) {
            missing << strText;
        }
    }
    return missing;
}

bool CanConnect(const QString& strName) {
    QLocalSocket socket;
    socket.connectToServer(strName);
    return socket.waitForConnected(1000);
}

void CopyPack(const QString& strFolder) {
    QVERIFY(QDir().mkpath(strFolder));
    QVERIFY(QFile::copy(QStringLiteral(TALLYVINE_PACK_DIR "/TallyvineRes_zh_CN.qm"),
                        QDir(strFolder).filePath(QStringLiteral("TallyvineRes_zh_CN.qm"))));
}

} // namespace

class CTallyvineAppTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // One instance per user.
    void secondStartRestoresFirstFromTray();
    void secondStartWithoutTrayShowsFirst();
    void minimiseIntoTheTrayOnlyWhileItIsThere();
    void staleSocketReplaced();
    void liveSocketNeverDisplaced();
    void requestsAreShortLines_data();
    void requestsAreShortLines();

    // The language pack.
    void packFolders();
    void packChosenByLocale_data();
    void packChosenByLocale();
    void packTranslatesTexts_data();
    void packTranslatesTexts();

    void packIsComplete();

    void networkFailureEnds();

private:
    // Starts the real program a second time and waits for it to end.
    void StartSecond(QProcess& process);

    QTemporaryDir m_runtime;
    QTemporaryDir m_folders;
};

void CTallyvineAppTest::initTestCase() {
    QVERIFY(m_runtime.isValid());
    // A runtime folder of our own: no running program is woken, and the
    // second start finds this test.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    QCOMPARE(CSingleInstance::ServerName(),
             QDir(m_runtime.path()).filePath(QStringLiteral("TallyvineMutex")));
    CTrayAnimation::SetDuration(10);
}

void CTallyvineAppTest::init() {
    CSystemTray::SetTrayProbe([] { return true; });
}

void CTallyvineAppTest::cleanup() {
    CSystemTray::SetTrayProbe(nullptr);
    CMessageBox::ClearQueuedAnswers();
    CMessageBox::ClearAnsweredTexts();
}

void CTallyvineAppTest::StartSecond(QProcess& process) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TALLYVINE_EXE), QStringList());
    QVERIFY(process.waitForStarted());
    // This process answers the second start from its own event loop.
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, kProcessTimeout);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void CTallyvineAppTest::secondStartRestoresFirstFromTray() {
    CTallyvineApp first;
    QVERIFY(first.InitInstance());
    CTallyvineDlg* pDlg = first.MainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(pDlg));
    QVERIFY(!pDlg->TrayIcon().IsIconHidden());

    pDlg->showMinimized();
    QTRY_VERIFY(!pDlg->isVisible());

    QProcess second;
    StartSecond(second);
    QVERIFY(pDlg->isVisible());
    QVERIFY(!pDlg->isMinimized());
    QTRY_VERIFY(pDlg->isActiveWindow());
    QVERIFY(second.readAllStandardOutput().isEmpty());
}

void CTallyvineAppTest::secondStartWithoutTrayShowsFirst() {
    CSystemTray::SetTrayProbe([] { return false; });
    CTallyvineApp first;
    QVERIFY(first.InitInstance());
    CTallyvineDlg* pDlg = first.MainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(pDlg));

    // Nothing could bring a hidden window back: minimising only minimises.
    pDlg->showMinimized();
    QTest::qWait(50);
    QVERIFY(pDlg->isVisible());
    QVERIFY(pDlg->isMinimized());

    QProcess second;
    StartSecond(second);
    QVERIFY(pDlg->isVisible());
    QVERIFY(!pDlg->isMinimized());
}

// The panel holding the tray may go away at any time; a window parked in the
// tray then could never be brought back.
void CTallyvineAppTest::minimiseIntoTheTrayOnlyWhileItIsThere() {
    bool bTray = true;
    CSystemTray::SetTrayProbe([&bTray] { return bTray; });
    CTallyvineApp first;
    QVERIFY(first.InitInstance());
    CTallyvineDlg* pDlg = first.MainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(pDlg));
    CSystemTray& tray = pDlg->TrayIcon();
    QSignalSpy lost(&tray, &CSystemTray::TrayLost);

    // Gone, and not yet noticed by the periodic check.
    bTray = false;
    pDlg->showMinimized();
    QTest::qWait(50);
    QVERIFY(pDlg->isVisible());
    QVERIFY(pDlg->isMinimized());
    pDlg->showNormal();

    // Gone, and noticed.
    tray.SetTrayPollInterval(10);
    QTRY_COMPARE(lost.count(), 1);
    pDlg->showMinimized();
    QTest::qWait(50);
    QVERIFY(pDlg->isVisible());
    QVERIFY(pDlg->isMinimized());
    pDlg->showNormal();

    // Back: the icon returns and takes the window again.
    bTray = true;
    QTRY_VERIFY(tray.Icon()->isVisible());
    pDlg->showMinimized();
    QTRY_VERIFY(!pDlg->isVisible());
}

void CTallyvineAppTest::staleSocketReplaced() {
    const QString strName = CSingleInstance::ServerName();
    QVERIFY(MakeStaleSocket(strName));
    QVERIFY(!CanConnect(strName));

    CTallyvineApp first;
    QVERIFY(first.InitInstance());
    QVERIFY(CanConnect(strName));
}

void CTallyvineAppTest::liveSocketNeverDisplaced() {
    const QString strName = QDir(m_runtime.path()).filePath(QStringLiteral("live"));
    CSingleInstance running;
    int nCalls = 0;
    QVERIFY(running.Listen(strName, [&nCalls](const QByteArray&) {
        ++nCalls;
        return true;
    }));
    CSingleInstance late;
    QVERIFY(!late.Listen(strName, nullptr));
    QVERIFY(QFile::exists(strName));
    QVERIFY(CanConnect(strName));
}

void CTallyvineAppTest::requestsAreShortLines_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArrayList>("heard");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("show") << QByteArray("show\n") << QByteArrayList{"show"} << QByteArray("ok\n");
    QTest::newRow("unknown")
        << QByteArray("hide\n") << QByteArrayList{"hide"} << QByteArray("unknown\n");
    QTest::newRow("one per connection")
        << QByteArray("show\nshow\n") << QByteArrayList{"show"} << QByteArray("ok\n");
    QTest::newRow("endless line") << QByteArray(4096, 'x') << QByteArrayList{} << QByteArray();
}

// Whatever another process of the user sends is heard only as one short
// line; a longer one is dropped unheard.
void CTallyvineAppTest::requestsAreShortLines() {
    QFETCH(QByteArray, sent);
    QFETCH(QByteArrayList, heard);
    QFETCH(QByteArray, answer);
    const QString strName = QDir(m_runtime.path()).filePath(QStringLiteral("lines"));
    CSingleInstance running;
    QByteArrayList requests;
    QVERIFY(running.Listen(strName, [&requests](const QByteArray& request) {
        requests << request;
        return request == CSingleInstance::kShowRequest;
    }));
    QLocalSocket client;
    client.connectToServer(strName);
    QVERIFY(client.waitForConnected(1000));
    client.write(sent);
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(requests, heard);
    QCOMPARE(client.readAll(), answer);
}

void CTallyvineAppTest::packFolders() {
    // Beside the program, then the data folder as seen from an installed
    // program (bin/ and share/ side by side, under any prefix).
    const QDir program(QCoreApplication::applicationDirPath());
    QCOMPARE(CTallyvineApp::LanguagePackFolders(),
             (QStringList{program.path(), QDir::cleanPath(program.filePath(QStringLiteral(
                                              "../share/tallyvine/translations")))}));
}

void CTallyvineAppTest::packChosenByLocale_data() {
    QTest::addColumn<QString>("strLocale");
    QTest::addColumn<bool>("bBesideProgram");
    QTest::addColumn<bool>("bInDataFolder");
    QTest::addColumn<int>("nChosen"); // -1: none, else the folder's index

    QTest::newRow("zh_CN, pack beside the program") << "zh_CN" << true << false << 0;
    QTest::newRow("zh_CN, pack in both: beside the program first") << "zh_CN" << true << true << 0;
    QTest::newRow("zh_CN, pack only in the data folder") << "zh_CN" << false << true << 1;
    QTest::newRow("zh_CN without a pack") << "zh_CN" << false << false << -1;
    QTest::newRow("en_US with a pack") << "en_US" << true << true << -1;
    QTest::newRow("zh_TW with a pack") << "zh_TW" << true << true << -1;
    QTest::newRow("zh_SG with a pack") << "zh_SG" << true << true << -1;
}

void CTallyvineAppTest::packChosenByLocale() {
    QFETCH(QString, strLocale);
    QFETCH(bool, bBesideProgram);
    QFETCH(bool, bInDataFolder);
    QFETCH(int, nChosen);
    QTemporaryDir root;
    const QStringList folders = {root.filePath(QStringLiteral("bin")),
                                 root.filePath(QStringLiteral("share"))};
    QDir().mkpath(folders[0]);
    QDir().mkpath(folders[1]);
    if (bBesideProgram) {
        CopyPack(folders[0]);
    }
    if (bInDataFolder) {
        CopyPack(folders[1]);
    }
    const QString strPack = CTallyvineApp::FindLanguagePack(QLocale(strLocale), folders);
    const QString strExpected =
        nChosen < 0 ? QString()
                    : QDir(folders[nChosen]).filePath(QStringLiteral("TallyvineRes_zh_CN.qm"));
    QCOMPARE(strPack, strExpected);
}

void CTallyvineAppTest::packTranslatesTexts_data() {
    QTest::addColumn<QString>("strLocale");
    QTest::addColumn<bool>("bLoaded");
    QTest::addColumn<QString>("strExit");
    QTest::addColumn<QString>("strTrayAbout");

    QTest::newRow("zh_CN") << "zh_CN" << true << QString::fromUtf8("退出吗？")
                           << QString::fromUtf8("关于 Tallyvine");
    QTest::newRow("en_US") << "en_US" << false << "Exit?"
                           << "About Tallyvine";
}

void CTallyvineAppTest::packTranslatesTexts() {
    QFETCH(QString, strLocale);
    QFETCH(bool, bLoaded);
    QFETCH(QString, strExit);
    QFETCH(QString, strTrayAbout);
    {
        CTallyvineApp app;
        QCOMPARE(app.LoadLanguagePack(QLocale(strLocale), {QStringLiteral(TALLYVINE_PACK_DIR)}),
                 bLoaded);
        QCOMPARE(CStringTable::Load(IDS_EXIT_CONFIRM), strExit);
        QCOMPARE(CStringTable::Load(IDS_TRAY_ABOUT), strTrayAbout);
    }
    // The pack goes with the application object.
    QCOMPARE(CStringTable::Load(IDS_EXIT_CONFIRM), QStringLiteral("Exit?"));
}

void CTallyvineAppTest::packIsComplete() {
    QTranslator pack;
    QVERIFY(pack.load(QStringLiteral(TALLYVINE_PACK_DIR "/TallyvineRes_zh_CN.qm")));

    QStringList table;
    for (int nId = 0; nId < 0x10000; ++nId) {
        if (const char* pszText = CStringTable::SourceText(nId)) {
            table << QString::fromUtf8(pszText);
        }
    }
    QVERIFY(!table.isEmpty());
    QCOMPARE(Untranslated(pack, "CStringTable", table), QStringList());

    CTallyvineDlg dlg;
    QCOMPARE(Untranslated(pack, "CTallyvineDlg", FormTexts(dlg)), QStringList());
    CAboutDlg about;
    QCOMPARE(Untranslated(pack, "CAboutDlg", FormTexts(about)), QStringList());
    QCOMPARE(Untranslated(pack, "CSystemTray", {QStringLiteral("&About"), QStringLiteral("E&xit")}),
             QStringList());
}

void CTallyvineAppTest::networkFailureEnds() {
    CTallyvineApp app;
    app.SetNetworkInit([] { return false; });
    CMessageBox::QueueAnswer(QMessageBox::Ok);
    QVERIFY(!app.InitInstance());
    QCOMPARE(app.ExitCode(), 1);
    QVERIFY(!app.MainWindow());
    QCOMPARE(CMessageBox::AnsweredTexts().size(), 1);
    QVERIFY(CMessageBox::AnsweredTexts().front().contains(QStringLiteral("network library")));
    // Nobody was told of this instance.
    QVERIFY(!CanConnect(CSingleInstance::ServerName()));
}

QTEST_MAIN(CTallyvineAppTest)
#include "CTallyvineAppTest.moc"
