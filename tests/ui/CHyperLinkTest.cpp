#include "ui/CHyperLink.h"
#include "UiTestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/ControlIds.h"
#include "ui/VendorInfo.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QPushButton>
#include <QTest>

namespace {

void Enter(QWidget* pWidget) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(pWidget, &event);
}

void Leave(QWidget* pWidget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(pWidget, &event);
}

} // namespace

// The link control's colours, tooltip and click, and the About box.
class CHyperLinkTest : public QObject {
    Q_OBJECT

private:
    uitest::CUrlCatcher m_catcher;

private slots:
    void init() {
        m_catcher.m_urls.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_catcher, "Open");
    }

    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    void coloursFollowHoverAndVisit() {
        CHyperLink link;
        link.setText(QStringLiteral("Orbelle"));
        link.SetURL(QStringLiteral("https://site.example/"));
        QVERIFY(link.font().underline());
        QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link.TextColour(), QColor(0, 0, 255));
        link.show();
        QVERIFY(QTest::qWaitForWindowExposed(&link));
        // The pointer may rest where the window opened.
        Leave(&link);

        Enter(&link);
        QCOMPARE(link.TextColour(), QColor(255, 0, 0));
        QCOMPARE(link.palette().color(QPalette::WindowText), QColor(255, 0, 0));
        Leave(&link);
        QCOMPARE(link.TextColour(), QColor(0, 0, 255));

        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(m_catcher.m_urls, QList<QUrl>{QUrl(QStringLiteral("https://site.example/"))});
        QVERIFY(link.IsVisited());
        QCOMPARE(link.TextColour(), QColor(5, 34, 143));
        Enter(&link);
        QCOMPARE(link.TextColour(), QColor(5, 34, 143));
    }

    void toolTipOnlyWhenSwitchedOn() {
        CHyperLink link;
        link.SetToolTipText(QStringLiteral("ignored"));
        QCOMPARE(link.toolTip(), QString());
        link.SetToolTip(true);
        link.SetToolTipText(QStringLiteral("host.example"));
        QCOMPARE(link.toolTip(), QStringLiteral("host.example"));
    }

    void aboutBoxLinksToTheVendor() {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tallyvine 1.0.5"));
        CHyperLink* pLink = about.SiteLink();
        QCOMPARE(pLink->objectName(), QStringLiteral("m_linkSite"));
        // The link keeps the id the site link has always had.
        QCOMPARE(pLink->property(kControlIdProperty).toInt(), 1002);
        QCOMPARE(pLink->text(), QStringLiteral("Orbelle"));
        QCOMPARE(pLink->toolTip(), QString::fromLatin1(VendorInfo::kSiteHost));
        QCOMPARE(pLink->GetURL(), QString::fromLatin1(VendorInfo::kSiteUrl));
        QVERIFY(!pLink->IsVisited());

        auto* pOk = about.findChild<QPushButton*>(QStringLiteral("m_btnOK"));
        QVERIFY(pOk && pOk->isDefault());
        QCOMPARE(pOk->text(), QStringLiteral("OK(&O)"));
        about.show();
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(CHyperLinkTest)
#include "CHyperLinkTest.moc"
