#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QTimer;
class QWidget;

// The program's icon in the desktop's tray. A click brings the owner window
// back from the tray, the context click opens the menu: About (the default)
// and Exit, actions the window connects to its commands. When the tray comes
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

    // Adds the icon (unless bHidden) for the window pOwner; the tip is cut
    // to 63 bytes. False when the desktop has no tray or the add failed.
    bool CreateTrayIcon(QWidget* pOwner, const QString& strTip, const QIcon& icon, bool bHidden);
    // Takes the icon out of the tray; true when it is gone.
    bool RemoveTrayIcon();
    // Adds the icon again when a re-add is pending and the icon is meant to
    // be shown; false when a re-add is still pending afterwards.
    bool ReAddPendingIcon();

    // The menu's commands.
    QAction* AboutAction() const { return m_pAbout; }
    QAction* ExitAction() const { return m_pExit; }

    // A click on the icon: Trigger brings the owner back, Context opens the
    // menu at the pointer; any other reason does nothing. Nothing happens
    // without an owner.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

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
    // The tray has gone away; a window parked in it can no longer be reached
    // through the icon.
    void TrayLost();

public slots:
    // The tray has (re)appeared: the icon is added again.
    void OnTaskbarCreated();
    // The work area changed: the icon is added again unless it is hidden.
    void OnWorkAreaChanged();

private:
    bool AddIcon();
    bool DeleteIcon();
    void ShowMenu();
    void PollTray();
    void WatchTray();
    void OnTrayGone();

    QPointer<QWidget> m_pOwner;
    bool m_bTrayUsable = false;
    bool m_bIconHidden = true;
    bool m_bIconRemoved = true;
    bool m_bReAddPending = false;

    static bool IsTrayPresent();

    // Not a child of the owner, which may be gone when the menu returns.
    std::unique_ptr<QMenu> m_pMenu;
    QAction* m_pAbout;
    QAction* m_pExit;
    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    static TrayProbe s_probe;
    QTimer* m_pPollTimer = nullptr;
    int m_nPollInterval = 2000;
    bool m_bTrayPresent = false;
};
