#include "ui/TrayWindow.h"

#include "ui/CTrayAnimation.h"
#include "ui/TrayRect.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QPointer<QSystemTrayIcon>& TrayIconForFlights() {
    static QPointer<QSystemTrayIcon> pIcon;
    return pIcon;
}

STrayRect ToTrayRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect ToQRect(const STrayRect& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

std::optional<STrayRect> IconRect() {
    const QSystemTrayIcon* pIcon = TrayIconForFlights();
    if (!pIcon || !pIcon->isVisible()) {
        return std::nullopt;
    }
    const QRect rect = pIcon->geometry();
    if (!rect.isValid()) {
        return std::nullopt;
    }
    return ToTrayRect(rect);
}

} // namespace

void SetTrayIconForFlights(QSystemTrayIcon* pIcon) {
    TrayIconForFlights() = pIcon;
}

QRect FindTrayRect() {
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QRect screen = pScreen ? pScreen->geometry() : QRect();
    const QRect workArea = pScreen ? pScreen->availableGeometry() : QRect();
    return ToQRect(FindTrayRect(IconRect(), ToTrayRect(screen), ToTrayRect(workArea)));
}

bool IsMinimizeAnimationOn() {
    return QApplication::isEffectEnabled(Qt::UI_General);
}

void AnimateToTray(QWidget* pWnd, bool bForce) {
    if (!pWnd) {
        return;
    }
    if (bForce || IsMinimizeAnimationOn()) {
        CTrayAnimation::Fly(pWnd->frameGeometry(), FindTrayRect());
    }
    pWnd->hide();
}

void RestoreFromTray(QWidget* pWnd, bool bForce) {
    if (!pWnd) {
        return;
    }
    // A window already in front has nothing to fly back from.
    const bool bInTray = !pWnd->isVisible() || pWnd->isMinimized();
    if (bInTray && (bForce || IsMinimizeAnimationOn())) {
        CTrayAnimation::Fly(FindTrayRect(), pWnd->frameGeometry());
    }
    pWnd->setWindowState(pWnd->windowState() & ~Qt::WindowMinimized);
    pWnd->show();
    pWnd->repaint();
    pWnd->raise();
    pWnd->activateWindow();
}
