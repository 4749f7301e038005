#include "ui/CSystemTray.h"

#include "ui/CStringTable.h"
#include "ui/TrayWindow.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// The tip field holds 64 bytes with its terminating zero.
constexpr qsizetype kMaxTipBytes = 63;

// Cuts the tip to the field's size without splitting a character.
QString CutTip(const QString& strTip) {
    QString strCut = strTip;
    while (strCut.toUtf8().size() > kMaxTipBytes) {
        strCut.chop(1);
        if (!strCut.isEmpty() && strCut.back().isHighSurrogate()) {
            strCut.chop(1);
        }
    }
    return strCut;
}

} // namespace

CSystemTray::TrayProbe CSystemTray::s_probe;

CSystemTray::CSystemTray() : m_pMenu(std::make_unique<QMenu>()) {
    m_pAbout = m_pMenu->addAction(tr("&About"));
    m_pAbout->setStatusTip(CStringTable::Load(IDS_TRAY_ABOUT));
    m_pExit = m_pMenu->addAction(tr("E&xit"));
    m_pExit->setStatusTip(CStringTable::Load(IDS_TRAY_EXIT));
    // About is the default, shown in bold.
    m_pMenu->setDefaultAction(m_pAbout);
}

CSystemTray::~CSystemTray() {
    RemoveTrayIcon();
}

bool CSystemTray::CreateTrayIcon(QWidget* pOwner, const QString& strTip, const QIcon& icon,
                                 bool bHidden) {
    m_bTrayUsable = IsTrayPresent();
    if (!m_bTrayUsable) {
        return false;
    }
    m_pIcon = std::make_unique<QSystemTrayIcon>();
    // Queued, so the menu opens after the tray's own mouse handling is done.
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated,
            Qt::QueuedConnection);
    SetTrayIconForFlights(m_pIcon.get());

    m_pOwner = pOwner;
    m_pIcon->setIcon(icon);
    m_pIcon->setToolTip(CutTip(strTip));
    WatchTray();

    m_bIconHidden = bHidden;
    if (bHidden) {
        return true;
    }
    const bool bAdded = AddIcon();
    m_bIconRemoved = m_bIconHidden = m_bReAddPending = !bAdded;
    return bAdded;
}

bool CSystemTray::RemoveTrayIcon() {
    m_bReAddPending = false;
    if (!m_bTrayUsable || m_bIconRemoved) {
        return true;
    }
    if (DeleteIcon()) {
        m_bIconHidden = m_bIconRemoved = true;
    }
    return m_bIconRemoved;
}

bool CSystemTray::ReAddPendingIcon() {
    if (!m_bReAddPending) {
        return true;
    }
    if (m_bIconHidden) {
        return false;
    }
    const bool bAdded = AddIcon();
    m_bIconHidden = m_bReAddPending = !bAdded;
    if (bAdded) {
        m_bIconRemoved = false;
    }
    return bAdded;
}

void CSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (!m_pOwner) {
        return;
    }
    if (reason == QSystemTrayIcon::Trigger) {
        RestoreFromTray(m_pOwner, false);
    } else if (reason == QSystemTrayIcon::Context) {
        ShowMenu();
    }
}

void CSystemTray::ShowMenu() {
    if (m_pOwner->isVisible()) {
        m_pOwner->activateWindow();
    }
    // The chosen action reaches the owner through its own connection; this
    // object may be gone when exec returns.
    m_pMenu->exec(QCursor::pos());
}

bool CSystemTray::IsIconShown() const {
    return m_pIcon && m_pIcon->isVisible() && IsTrayPresent();
}

void CSystemTray::SetTrayProbe(TrayProbe probe) {
    s_probe = std::move(probe);
}

bool CSystemTray::IsTrayPresent() {
    return s_probe ? s_probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void CSystemTray::SetTrayPollInterval(int nMilliseconds) {
    m_nPollInterval = nMilliseconds;
    if (m_pPollTimer) {
        m_pPollTimer->setInterval(nMilliseconds);
    }
}

void CSystemTray::OnTaskbarCreated() {
    m_bReAddPending = true;
    ReAddPendingIcon();
}

void CSystemTray::OnWorkAreaChanged() {
    // A panel that goes away changes the work area too; an add now would fail
    // and leave the icon hidden for good. The tray's return brings it back.
    if (!IsTrayPresent()) {
        return;
    }
    m_bReAddPending = !m_bIconHidden;
    ReAddPendingIcon();
}

bool CSystemTray::AddIcon() {
    if (!m_pIcon || !IsTrayPresent()) {
        return false;
    }
    m_pIcon->show();
    return true;
}

bool CSystemTray::DeleteIcon() {
    if (!m_pIcon) {
        return false;
    }
    m_pIcon->hide();
    return true;
}

// A desktop tells no program that its tray came back, so its presence is
// checked now and then; each return counts as a new tray.
void CSystemTray::WatchTray() {
    if (!m_pPollTimer) {
        m_pPollTimer = new QTimer(this);
        m_pPollTimer->setInterval(m_nPollInterval);
        connect(m_pPollTimer, &QTimer::timeout, this, &CSystemTray::PollTray);
        if (QScreen* pScreen = QGuiApplication::primaryScreen()) {
            connect(pScreen, &QScreen::availableGeometryChanged, this,
                    &CSystemTray::OnWorkAreaChanged);
        }
    }
    m_bTrayPresent = true;
    m_pPollTimer->start();
}

void CSystemTray::PollTray() {
    const bool bPresent = IsTrayPresent();
    if (bPresent == m_bTrayPresent) {
        return;
    }
    m_bTrayPresent = bPresent;
    if (bPresent) {
        OnTaskbarCreated();
    } else {
        OnTrayGone();
        emit TrayLost();
    }
}

// The icon went with the tray; it is added again when a tray comes back.
void CSystemTray::OnTrayGone() {
    if (m_bIconRemoved) {
        return;
    }
    DeleteIcon();
    m_bIconRemoved = true;
    m_bReAddPending = !m_bIconHidden;
}
