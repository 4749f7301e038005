#pragma once

#include <QRect>

class QSystemTrayIcon;
class QWidget;

// Sending the main window into the tray and bringing it back. Hiding takes
// the window off the panel's task list, so no parking window is needed.

// Flies the window into the tray when bForce is set or the desktop animates
// its windows, then hides it. The caller makes sure something can bring the
// window back (a tray icon) before it calls this.
void AnimateToTray(QWidget* pWnd, bool bForce);

// Flies the window out of the tray when bForce is set or the desktop animates
// its windows, then shows it in its normal state, repaints it at once, raises
// and activates it. Harmless on a window that is already shown.
void RestoreFromTray(QWidget* pWnd, bool bForce);

// The screen rectangle the flights aim at (see ui/TrayRect.h).
QRect FindTrayRect();

// The desktop's setting for animated windows, as Qt reports it.
bool IsMinimizeAnimationOn();

// The tray icon whose geometry FindTrayRect prefers; null for none.
void SetTrayIconForFlights(QSystemTrayIcon* pIcon);
