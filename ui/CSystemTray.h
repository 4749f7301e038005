#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QTimer;
class QWidget;

// Mouse codes of the tray callback; the single-instance hand-over sends the
// left-button code too.
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_MBUTTONUP = 0x0208;

// The tray icon's id, which is also the id of its menu.
inline constexpr unsigned IDR_TRAYMENU = 130;
// Commands of the tray menu.
inline constexpr unsigned ID_TRAY_ABOUT = 32771;
inline constexpr unsigned ID_TRAY_EXIT = 32772;

// The program's icon in the desktop's tray. A left click brings the main
// window back from the tray, a right click opens the menu (About, Exit),
// whose choice is handed to the window as Command(). When the tray comes
// back after the panel restarted, the icon is shown again; while no tray is
// there the icon counts as removed.
//
// The flags follow the icon's life: hidden (not known to be in the tray),
// removed (deleted or never added) and re-add pending. Without a tray the
// object does nothing and the program runs on without an icon.
class CSystemTray : public QObject {
    Q_OBJECT

public:
    CSystemTray();
    // Removes the icon.
    ~CSystemTray() override;

    // Adds the icon (unless bHidden) for the window pParent; the tip is cut
    // to 63 bytes. False when the desktop has no tray or the add failed.
    bool CreateTrayIcon(QWidget* pParent, unsigned nCallbackMessage, const QString& strTip,
                        const QIcon& icon, unsigned nId, bool bHidden);
    // Takes the icon out of the tray; true when it is gone.
    bool RemoveTrayIcon();
    // Adds the icon again when a re-add is pending and the icon is meant to
    // be shown; 0 when it was added or nothing was pending, else 1.
    unsigned ReAddPendingIcon();

    // A mouse action on the icon (wParam: icon id, lParam: mouse code).
    // 0 when it is not this icon's or there is no window to act on, else 1.
    int OnTrayNotify(unsigned wParam, unsigned lParam);

    // A message for the tray's own address, as another start of the program
    // sends it: the callback message goes to OnTrayNotify, anything else is
    // answered with 0.
    int WindowProc(unsigned nMessage, unsigned wParam, unsigned lParam);

    // The window that is restored and receives the menu's commands: the one
    // set here, else the icon's owner.
    QWidget* GetNotifyTarget() const;
    void SetNotifyTarget(QWidget* pTarget);

    bool IsTrayUsable() const { return m_bTrayUsable; }
    bool IsIconHidden() const { return m_bIconHidden; }
    bool IsIconRemoved() const { return m_bIconRemoved; }
    bool IsReAddPending() const { return m_bReAddPending; }
    // Whether the icon is in a tray right now, so that a click on it can
    // bring a window back: a tray is there and the icon is shown in it.
    bool IsIconShown() const;
    // The icon as the tray shows it; null before a tray was found.
    const QSystemTrayIcon* Icon() const { return m_pIcon.get(); }

    // Tests: whether the desktop offers a tray right now, which is also
    // whether an add succeeds, for every tray object; null asks Qt again.
    using TrayProbe = std::function<bool()>;
    static void SetTrayProbe(TrayProbe probe);
    // Tests: how often the tray's presence is checked (default 2 s).
    void SetTrayPollInterval(int nMilliseconds);

signals:
    // A menu command for the notify target.
    void Command(unsigned nCommand);
    // The tray has gone away; a window parked in it can no longer be reached
    // through the icon.
    void TrayLost();

public slots:
    // The tray has (re)appeared: the icon is added again.
    void OnTaskbarCreated();
    // The work area changed: the icon is added again unless it is hidden.
    void OnWorkAreaChanged();

private:
    struct STrayIconData {
        QPointer<QWidget> pOwner;
        unsigned nId = 0;
        unsigned nCallbackMessage = 0;
    };

    bool AddIcon();
    bool DeleteIcon();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    // Shows the menu at the mouse; false when there is no menu to show.
    bool ShowMenu(QWidget* pTarget);
    void PollTray();
    void WatchTray();
    void OnTrayGone();

    STrayIconData m_iconData;
    bool m_bTrayUsable = false;
    bool m_bIconHidden = true;
    bool m_bIconRemoved = true;
    bool m_bReAddPending = false;
    QPointer<QWidget> m_pNotifyTarget;

    static bool IsTrayPresent();

    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    static TrayProbe s_probe;
    QTimer* m_pPollTimer = nullptr;
    int m_nPollInterval = 2000;
    bool m_bTrayPresent = false;
};
