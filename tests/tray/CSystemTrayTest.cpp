#include "ui/CSystemTray.h"
#include "ui/CTrayAnimation.h"
#include "ui/TrayWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <deque>

namespace {

// A desktop whose tray answers as scripted, one answer per question; the
// last answer stands for all later ones.
class CScriptedTray {
public:
    explicit CScriptedTray(std::deque<bool> answers) : m_answers(std::move(answers)) {}
    void Set(bool bPresent) { m_answers = {bPresent}; }
    CSystemTray::TrayProbe Probe() {
        return [this] {
            const bool bAnswer = m_answers.front();
            if (m_answers.size() > 1) {
                m_answers.pop_front();
            }
            return bAnswer;
        };
    }

private:
    std::deque<bool> m_answers;
};

// A tray object on a scripted desktop.
struct STestTray {
    explicit STestTray(std::deque<bool> answers = {true}) : desktop(std::move(answers)) {
        CSystemTray::SetTrayProbe(desktop.Probe());
    }
    ~STestTray() { CSystemTray::SetTrayProbe(nullptr); }
    CScriptedTray desktop;
    CSystemTray tray;
};

struct SFlags {
    bool bHidden;
    bool bRemoved;
    bool bPending;
    friend bool operator==(const SFlags&, const SFlags&) = default;
};

SFlags Flags(const CSystemTray& tray) {
    return {tray.IsIconHidden(), tray.IsIconRemoved(), tray.IsReAddPending()};
}

char* toString(const SFlags& flags) {
    return QTest::toString(QStringLiteral("hidden %1, removed %2, pending %3")
                               .arg(flags.bHidden)
                               .arg(flags.bRemoved)
                               .arg(flags.bPending));
}

constexpr SFlags kConstructed{true, true, false};
constexpr SFlags kShown{false, false, false};
constexpr SFlags kAddFailed{true, true, true};
constexpr SFlags kReAddFailed{true, false, true};
constexpr SFlags kDeleted{true, true, false};
constexpr SFlags kLost{false, true, true};

QIcon TestIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkGreen);
    return QIcon(pixmap);
}

bool Create(CSystemTray& tray, QWidget* pOwner, bool bHidden = false,
            const QString& strTip = QStringLiteral("Tallyvine")) {
    return tray.CreateTrayIcon(pOwner, strTip, TestIcon(), bHidden);
}

// A shown icon whose tray's presence is checked every 10 ms.
struct SWatchedTray : STestTray {
    explicit SWatchedTray(QWidget* pOwner) {
        tray.SetTrayPollInterval(10);
        bCreated = Create(tray, pOwner);
    }
    bool bCreated = false;
    QSignalSpy lost{&tray, &CSystemTray::TrayLost};
};

// Runs pAct on the tray menu once it is open, then leaves it.
void OnMenu(std::function<void(QMenu*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(pMenu);
        act(pMenu);
        if (pMenu->isVisible()) {
            pMenu->close();
        }
    });
}

} // namespace

class CSystemTrayTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The icon's flags through its life.
    void constructed();
    void shownByCreate();
    void noTray();
    void createdHidden();
    void addFailedStaysOut();
    void reAddFailed();
    void removeAndRemoveAgain();
    void workAreaChange();
    void trayComesBack();
    void shownOnlyWhileATrayHoldsIt();
    void trayGoneAndBack();
    void workAreaChangeWithoutTray();
    void tipCutToField();

    // Clicks on the icon.
    void noOwnerIgnored();
    void clickRestores();
    void otherReasonsDoNoMore_data();
    void otherReasonsDoNoMore();
    void menuShowsAboutInBold();
    void menuCommandsReachTarget_data();
    void menuCommandsReachTarget();

    // The flights.
    void minimiseFliesEvenWithoutAnimation();
    void restoreFliesOnlyWithAnimation_data();
    void restoreFliesOnlyWithAnimation();
    void restoreTwice();

private:
    std::unique_ptr<QWidget> m_pWindow;
    std::vector<std::pair<QRect, QRect>> m_flights;
};

void CSystemTrayTest::init() {
    m_pWindow = std::make_unique<QWidget>();
    m_pWindow->setGeometry(100, 100, 400, 300);
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    m_flights.clear();
    CTrayAnimation::SetDuration(10);
    CTrayAnimation::SetObserver(
        [this](const QRect& from, const QRect& to) { m_flights.emplace_back(from, to); });
    QApplication::setEffectEnabled(Qt::UI_General, false);
}

void CSystemTrayTest::cleanup() {
    CTrayAnimation::SetObserver(nullptr);
    m_pWindow.reset();
}

void CSystemTrayTest::constructed() {
    CSystemTray tray;
    QCOMPARE(Flags(tray), kConstructed);
    QVERIFY(!tray.Icon());
}

void CSystemTrayTest::shownByCreate() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    QCOMPARE(Flags(tray), kShown);
    QVERIFY(tray.Icon()->isVisible());
    QCOMPARE(tray.Icon()->toolTip(), QStringLiteral("Tallyvine"));
}

void CSystemTrayTest::noTray() {
    STestTray test({false});
    CSystemTray& tray = test.tray;
    CScriptedTray& desktop = test.desktop;
    QVERIFY(!Create(tray, m_pWindow.get()));
    QVERIFY(!tray.Icon());
    QCOMPARE(Flags(tray), kConstructed);
    QVERIFY(tray.RemoveTrayIcon());
    QVERIFY(tray.ReAddPendingIcon());
    m_pWindow->hide();
    tray.OnActivated(QSystemTrayIcon::Trigger);
    QVERIFY(!m_pWindow->isVisible());
    desktop.Set(true);
    tray.OnTaskbarCreated();
    QVERIFY(!tray.Icon());
}

void CSystemTrayTest::createdHidden() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get(), true));
    QCOMPARE(Flags(tray), kConstructed);
    QVERIFY(!tray.Icon()->isVisible());
    // A hidden icon is not brought back by the tray's return.
    tray.OnTaskbarCreated();
    QCOMPARE(Flags(tray), (SFlags{true, true, true}));
    QVERIFY(!tray.Icon()->isVisible());
}

void CSystemTrayTest::addFailedStaysOut() {
    STestTray test({true, false});
    CSystemTray& tray = test.tray;
    CScriptedTray& desktop = test.desktop;
    QVERIFY(!Create(tray, m_pWindow.get()));
    QCOMPARE(Flags(tray), kAddFailed);
    desktop.Set(true);
    QVERIFY(!tray.ReAddPendingIcon());
    tray.OnTaskbarCreated();
    QCOMPARE(Flags(tray), kAddFailed);
    QVERIFY(!tray.Icon()->isVisible());
}

void CSystemTrayTest::reAddFailed() {
    STestTray test;
    CSystemTray& tray = test.tray;
    CScriptedTray& desktop = test.desktop;
    QVERIFY(Create(tray, m_pWindow.get()));
    desktop.Set(false);
    tray.OnTaskbarCreated();
    QCOMPARE(Flags(tray), kReAddFailed);
    // Only the removal clears the pending re-add now.
    desktop.Set(true);
    QVERIFY(!tray.ReAddPendingIcon());
    QVERIFY(tray.RemoveTrayIcon());
    QCOMPARE(Flags(tray), kDeleted);
}

void CSystemTrayTest::removeAndRemoveAgain() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    QVERIFY(tray.RemoveTrayIcon());
    QCOMPARE(Flags(tray), kDeleted);
    QVERIFY(!tray.Icon()->isVisible());
    QVERIFY(tray.RemoveTrayIcon());
    tray.OnTaskbarCreated();
    QVERIFY(!tray.Icon()->isVisible());
}

void CSystemTrayTest::workAreaChange() {
    STestTray test;
    CSystemTray& shown = test.tray;
    QVERIFY(Create(shown, m_pWindow.get()));
    shown.OnWorkAreaChanged();
    QCOMPARE(Flags(shown), kShown);

    CSystemTray hidden;
    QVERIFY(Create(hidden, m_pWindow.get(), true));
    hidden.OnTaskbarCreated();
    QVERIFY(hidden.IsReAddPending());
    // A work-area change takes a hidden icon's pending re-add back.
    hidden.OnWorkAreaChanged();
    QCOMPARE(Flags(hidden), kConstructed);
}

void CSystemTrayTest::trayComesBack() {
    SWatchedTray test(m_pWindow.get());
    QVERIFY(test.bCreated);
    test.desktop.Set(false);
    QTRY_COMPARE(test.lost.count(), 1);
    // Gone with the tray, and added again when it is back.
    QCOMPARE(Flags(test.tray), kLost);
    // Back, and asked again at once for the add, which fails this time; the
    // tray stays, so later checks see no second loss however many run.
    CScriptedTray back({true, false, true});
    CSystemTray::SetTrayProbe(back.Probe());
    QTRY_COMPARE(Flags(test.tray), kAddFailed);
    QCOMPARE(test.lost.count(), 1);
}

// Shown means in a tray right now: the desktop is asked at that moment, not
// only at the next check of the tray's presence.
void CSystemTrayTest::shownOnlyWhileATrayHoldsIt() {
    STestTray test;
    CSystemTray& tray = test.tray;
    CScriptedTray& desktop = test.desktop;
    QVERIFY(!tray.IsIconShown());
    QVERIFY(Create(tray, m_pWindow.get()));
    QVERIFY(tray.IsIconShown());
    desktop.Set(false);
    QVERIFY(!tray.IsIconShown());
    desktop.Set(true);
    QVERIFY(tray.IsIconShown());
    QVERIFY(tray.RemoveTrayIcon());
    QVERIFY(!tray.IsIconShown());

    CSystemTray hidden;
    QVERIFY(Create(hidden, m_pWindow.get(), true));
    QVERIFY(!hidden.IsIconShown());
}

// Every return of the tray brings the icon back.
void CSystemTrayTest::trayGoneAndBack() {
    SWatchedTray test(m_pWindow.get());
    QVERIFY(test.bCreated);
    for (int nLosses = 1; nLosses <= 2; ++nLosses) {
        test.desktop.Set(false);
        QTRY_COMPARE(test.lost.count(), nLosses);
        QVERIFY(!test.tray.Icon()->isVisible());
        QVERIFY(!test.tray.IsIconShown());
        test.desktop.Set(true);
        QTRY_VERIFY(test.tray.IsIconShown());
        QCOMPARE(Flags(test.tray), kShown);
    }
}

// A panel that goes away changes the work area before the tray's absence is
// noticed; the icon must still come back with the next tray.
void CSystemTrayTest::workAreaChangeWithoutTray() {
    SWatchedTray test(m_pWindow.get());
    QVERIFY(test.bCreated);
    test.desktop.Set(false);
    test.tray.OnWorkAreaChanged();
    QTRY_COMPARE(test.lost.count(), 1);
    test.desktop.Set(true);
    QTRY_VERIFY(test.tray.IsIconShown());
    QCOMPARE(Flags(test.tray), kShown);
}

void CSystemTrayTest::tipCutToField() {
    STestTray test;
    CSystemTray& ascii = test.tray;
    QVERIFY(Create(ascii, m_pWindow.get(), false, QString(100, QLatin1Char('x'))));
    QCOMPARE(ascii.Icon()->toolTip(), QString(63, QLatin1Char('x')));

    // Three bytes a character: 21 of them fill 63 bytes; none is split.
    CSystemTray chinese;
    QVERIFY(Create(chinese, m_pWindow.get(), false, QString(30, QChar(0x8BA1))));
    QCOMPARE(chinese.Icon()->toolTip(), QString(21, QChar(0x8BA1)));
}

void CSystemTrayTest::noOwnerIgnored() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, nullptr));
    m_pWindow->hide();
    tray.OnActivated(QSystemTrayIcon::Trigger);
    tray.OnActivated(QSystemTrayIcon::Context);
    QVERIFY(!m_pWindow->isVisible());
    QVERIFY(!QApplication::activePopupWidget());
}

void CSystemTrayTest::clickRestores() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    m_pWindow->showMinimized();
    AnimateToTray(m_pWindow.get(), true);
    QVERIFY(!m_pWindow->isVisible());

    tray.OnActivated(QSystemTrayIcon::Trigger);
    QVERIFY(m_pWindow->isVisible());
    QVERIFY(!m_pWindow->isMinimized());
    QTRY_VERIFY(m_pWindow->isActiveWindow());
}

void CSystemTrayTest::otherReasonsDoNoMore_data() {
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick;
    QTest::newRow("unknown") << QSystemTrayIcon::Unknown;
}

void CSystemTrayTest::otherReasonsDoNoMore() {
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    m_pWindow->hide();
    tray.OnActivated(reason);
    QVERIFY(!m_pWindow->isVisible());
    QVERIFY(!QApplication::activePopupWidget());
}

void CSystemTrayTest::menuShowsAboutInBold() {
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    QSignalSpy about(tray.AboutAction(), &QAction::triggered);
    QSignalSpy exit(tray.ExitAction(), &QAction::triggered);
    QStringList texts;
    QString strDefault;
    OnMenu([&](QMenu* pMenu) {
        for (const QAction* pAction : pMenu->actions()) {
            texts << pAction->text();
        }
        strDefault = pMenu->defaultAction() ? pMenu->defaultAction()->text() : QString();
    });
    tray.OnActivated(QSystemTrayIcon::Context);
    QCOMPARE(texts, (QStringList{QStringLiteral("&About"), QStringLiteral("E&xit")}));
    QCOMPARE(strDefault, QStringLiteral("&About"));
    QCOMPARE(about.count() + exit.count(), 0);
}

void CSystemTrayTest::menuCommandsReachTarget_data() {
    QTest::addColumn<int>("nItem");
    QTest::addColumn<bool>("bAbout");
    QTest::newRow("About") << 0 << true;
    QTest::newRow("Exit") << 1 << false;
}

void CSystemTrayTest::menuCommandsReachTarget() {
    QFETCH(int, nItem);
    QFETCH(bool, bAbout);
    STestTray test;
    CSystemTray& tray = test.tray;
    QVERIFY(Create(tray, m_pWindow.get()));
    QSignalSpy about(tray.AboutAction(), &QAction::triggered);
    QSignalSpy exit(tray.ExitAction(), &QAction::triggered);
    OnMenu([nItem](QMenu* pMenu) {
        pMenu->setActiveAction(pMenu->actions().at(nItem));
        QTest::keyClick(pMenu, Qt::Key_Return);
    });
    tray.OnActivated(QSystemTrayIcon::Context);
    QCOMPARE(about.count(), bAbout ? 1 : 0);
    QCOMPARE(exit.count(), bAbout ? 0 : 1);
}

void CSystemTrayTest::minimiseFliesEvenWithoutAnimation() {
    const QRect window = m_pWindow->frameGeometry();
    AnimateToTray(m_pWindow.get(), true);
    QVERIFY(!m_pWindow->isVisible());
    QCOMPARE(m_flights.size(), 1u);
    QCOMPARE(m_flights[0].first, window);
    QCOMPARE(m_flights[0].second, FindTrayRect());
    // Offscreen there is neither an icon nor a panel: the corner of the
    // work area.
    QCOMPARE(FindTrayRect().size(), QSize(150, 30));
}

void CSystemTrayTest::restoreFliesOnlyWithAnimation_data() {
    QTest::addColumn<bool>("bAnimationOn");
    QTest::newRow("animation off") << false;
    QTest::newRow("animation on") << true;
}

void CSystemTrayTest::restoreFliesOnlyWithAnimation() {
    QFETCH(bool, bAnimationOn);
    QApplication::setEffectEnabled(Qt::UI_General, bAnimationOn);
    QCOMPARE(IsMinimizeAnimationOn(), bAnimationOn);
    AnimateToTray(m_pWindow.get(), false);
    RestoreFromTray(m_pWindow.get(), false);
    QVERIFY(m_pWindow->isVisible());
    QCOMPARE(m_flights.size(), bAnimationOn ? 2u : 0u);
    if (bAnimationOn) {
        QCOMPARE(m_flights[1].first, FindTrayRect());
        QCOMPARE(m_flights[1].second, m_pWindow->frameGeometry());
    }
}

void CSystemTrayTest::restoreTwice() {
    AnimateToTray(m_pWindow.get(), true);
    RestoreFromTray(m_pWindow.get(), true);
    RestoreFromTray(m_pWindow.get(), true);
    QVERIFY(m_pWindow->isVisible());
    QTRY_VERIFY(m_pWindow->isActiveWindow());
    // Out and back once; the second restore had nothing to fly back from.
    QCOMPARE(m_flights.size(), 2u);
}

QTEST_MAIN(CSystemTrayTest)
#include "CSystemTrayTest.moc"
