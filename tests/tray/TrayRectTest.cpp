#include "ui/TrayRect.h"

#include <QTest>

Q_DECLARE_METATYPE(STrayRect)
Q_DECLARE_METATYPE(EPanelEdge)
Q_DECLARE_METATYPE(std::optional<STrayRect>)

// Names a rectangle in a failed comparison.
char* toString(const STrayRect& rect) {
    return QTest::toString(QStringLiteral("(%1, %2, %3, %4)")
                               .arg(rect.left)
                               .arg(rect.top)
                               .arg(rect.right)
                               .arg(rect.bottom));
}

namespace {

const STrayRect kScreen{0, 0, 1920, 1080};

} // namespace

class TrayRectTest : public QObject {
    Q_OBJECT

private slots:
    void panelRect_data();
    void panelRect();
    void findPanel_data();
    void findPanel();
    void noPanel_data();
    void noPanel();
    void findTrayRect_data();
    void findTrayRect();
};

void TrayRectTest::panelRect_data() {
    QTest::addColumn<EPanelEdge>("edge");
    QTest::addColumn<STrayRect>("bar");
    QTest::addColumn<STrayRect>("expected");

    // A vertical panel: the far end of it, short of its last 16 pixels.
    QTest::newRow("right edge, 0 to 1000")
        << EPanelEdge::Right << STrayRect{1860, 0, 1920, 1000} << STrayRect{1860, 900, 1920, 984};
    QTest::newRow("left edge") << EPanelEdge::Left << STrayRect{0, 0, 48, 1080}
                               << STrayRect{0, 980, 48, 1064};
    // A horizontal panel: near its right end.
    QTest::newRow("bottom edge") << EPanelEdge::Bottom << STrayRect{0, 1040, 1920, 1080}
                                 << STrayRect{1820, 1040, 1904, 1080};
    QTest::newRow("top edge") << EPanelEdge::Top << STrayRect{0, 0, 1280, 28}
                              << STrayRect{1180, 0, 1264, 28};
}

void TrayRectTest::panelRect() {
    QFETCH(EPanelEdge, edge);
    QFETCH(STrayRect, bar);
    QFETCH(STrayRect, expected);
    QCOMPARE(RectFromPanel({edge, bar}), expected);
}

void TrayRectTest::findPanel_data() {
    QTest::addColumn<STrayRect>("workArea");
    QTest::addColumn<EPanelEdge>("edge");
    QTest::addColumn<STrayRect>("bar");

    QTest::newRow("bottom") << STrayRect{0, 0, 1920, 1040} << EPanelEdge::Bottom
                            << STrayRect{0, 1040, 1920, 1080};
    QTest::newRow("top") << STrayRect{0, 30, 1920, 1080} << EPanelEdge::Top
                         << STrayRect{0, 0, 1920, 30};
    QTest::newRow("right") << STrayRect{0, 0, 1860, 1080} << EPanelEdge::Right
                           << STrayRect{1860, 0, 1920, 1080};
    QTest::newRow("left") << STrayRect{64, 0, 1920, 1080} << EPanelEdge::Left
                          << STrayRect{0, 0, 64, 1080};
    QTest::newRow("top and bottom: the wider wins")
        << STrayRect{0, 24, 1920, 1032} << EPanelEdge::Bottom << STrayRect{0, 1032, 1920, 1080};
    QTest::newRow("top wider than bottom")
        << STrayRect{0, 60, 1920, 1060} << EPanelEdge::Top << STrayRect{0, 0, 1920, 60};
    QTest::newRow("equal strips: bottom first")
        << STrayRect{0, 30, 1920, 1050} << EPanelEdge::Bottom << STrayRect{0, 1050, 1920, 1080};
}

void TrayRectTest::findPanel() {
    QFETCH(STrayRect, workArea);
    QFETCH(EPanelEdge, edge);
    QFETCH(STrayRect, bar);
    const std::optional<SPanel> panel = FindPanel(kScreen, workArea);
    QVERIFY(panel);
    QCOMPARE(panel->edge, edge);
    QCOMPARE(panel->bar, bar);
}

void TrayRectTest::noPanel_data() {
    QTest::addColumn<STrayRect>("screen");
    QTest::addColumn<STrayRect>("workArea");

    QTest::newRow("work area is the screen") << kScreen << kScreen;
    QTest::newRow("work area beyond the screen") << kScreen << STrayRect{-10, -10, 1930, 1090};
    QTest::newRow("empty work area") << kScreen << STrayRect{};
    QTest::newRow("empty screen") << STrayRect{} << STrayRect{0, 0, 1920, 1040};
}

void TrayRectTest::noPanel() {
    QFETCH(STrayRect, screen);
    QFETCH(STrayRect, workArea);
    QVERIFY(!FindPanel(screen, workArea));
}

void TrayRectTest::findTrayRect_data() {
    QTest::addColumn<std::optional<STrayRect>>("icon");
    QTest::addColumn<STrayRect>("workArea");
    QTest::addColumn<STrayRect>("expected");

    const STrayRect bottomPanelArea{0, 0, 1920, 1040};
    QTest::newRow("the icon's own rectangle")
        << std::optional<STrayRect>(STrayRect{1700, 1044, 1724, 1068}) << bottomPanelArea
        << STrayRect{1700, 1044, 1724, 1068};
    QTest::newRow("an empty icon rectangle: the panel")
        << std::optional<STrayRect>(STrayRect{1700, 1044, 1700, 1044}) << bottomPanelArea
        << STrayRect{1820, 1040, 1904, 1080};
    QTest::newRow("no icon: the panel")
        << std::optional<STrayRect>() << bottomPanelArea << STrayRect{1820, 1040, 1904, 1080};
    QTest::newRow("no icon, no panel: the corner, 150 by 30")
        << std::optional<STrayRect>() << kScreen << STrayRect{1770, 1050, 1920, 1080};
}

void TrayRectTest::findTrayRect() {
    QFETCH(std::optional<STrayRect>, icon);
    QFETCH(STrayRect, workArea);
    QFETCH(STrayRect, expected);
    QCOMPARE(FindTrayRect(icon, kScreen, workArea), expected);
}

QTEST_APPLESS_MAIN(TrayRectTest)
#include "TrayRectTest.moc"
