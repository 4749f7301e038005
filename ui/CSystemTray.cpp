#include "ui/CSystemTray.h"

#include "ui/CStringTable.h"
#include "ui/TrayWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// The tip field holds 64 bytes with its terminating zero.
constexpr qsizetype kMaxTipBytes = 63;

constexpr const char* kMenuContext = "CSystemTray";

struct SMenuItem {
    const char* pszText;
    unsigned nCommand;
    int nPrompt;
};

// The tray menu (id 130): About, shown in bold as the default, then Exit.
constexpr SMenuItem s_trayMenu[] = {
    {QT_TRANSLATE_NOOP("CSystemTray", "&About"), ID_TRAY_ABOUT, IDS_TRAY_ABOUT},
    {QT_TRANSLATE_NOOP("CSystemTray", "E&xit"), ID_TRAY_EXIT, IDS_TRAY_EXIT},
};

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

// The menu of the given id in the current language, or null when there is
// none of that id.
std::unique_ptr<QMenu> LoadMenu(unsigned nId) {
    if (nId != IDR_TRAYMENU) {
        return nullptr;
    }
    auto pMenu = std::make_unique<QMenu>();
    for (const SMenuItem& item : s_trayMenu) {
        QAction* pAction =
            pMenu->addAction(QCoreApplication::translate(kMenuContext, item.pszText));
        pAction->setData(item.nCommand);
        pAction->setStatusTip(CStringTable::Load(item.nPrompt));
    }
    pMenu->setDefaultAction(pMenu->actions().constFirst());
    return pMenu;
}

unsigned MouseCode(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return WM_LBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
        return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick:
        return WM_MBUTTONUP;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return WM_MOUSEMOVE;
}

} // namespace

CSystemTray::TrayProbe CSystemTray::s_probe;

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray() {
    RemoveTrayIcon();
}

bool CSystemTray::CreateTrayIcon(QWidget* pParent, unsigned nCallbackMessage, const QString& strTip,
                                 const QIcon& icon, unsigned nId, bool bHidden) {
    m_bTrayUsable = IsTrayPresent();
    if (!m_bTrayUsable) {
        return false;
    }
    m_pIcon = std::make_unique<QSystemTrayIcon>();
    // Queued, so the menu opens after the tray's own mouse handling is done.
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated,
            Qt::QueuedConnection);
    SetTrayIconForFlights(m_pIcon.get());

    m_iconData.pOwner = pParent;
    m_iconData.nId = nId;
    m_iconData.nCallbackMessage = nCallbackMessage;
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

unsigned CSystemTray::ReAddPendingIcon() {
    if (!m_bReAddPending) {
        return 0;
    }
    if (m_bIconHidden) {
        return 1;
    }
    const bool bAdded = AddIcon();
    m_bIconHidden = m_bReAddPending = !bAdded;
    if (bAdded) {
        m_bIconRemoved = false;
    }
    return bAdded ? 0 : 1;
}

int CSystemTray::OnTrayNotify(unsigned wParam, unsigned lParam) {
    if (wParam != m_iconData.nId) {
        return 0;
    }
    QWidget* pTarget = GetNotifyTarget();
    if (!pTarget) {
        return 0;
    }
    switch (lParam & 0xFFFF) {
    case WM_RBUTTONUP:
        return ShowMenu(pTarget) ? 1 : 0;
    case WM_LBUTTONDOWN:
        RestoreFromTray(pTarget, false);
        return 1;
    default:
        return 1;
    }
}

bool CSystemTray::ShowMenu(QWidget* pTarget) {
    // Not a child of the target, which may be gone when the menu returns.
    std::unique_ptr<QMenu> pMenu = LoadMenu(m_iconData.nId);
    if (!pMenu) {
        return false;
    }
    const QPoint pos = QCursor::pos();
    if (pTarget->isVisible()) {
        pTarget->activateWindow();
    }
    QPointer<QWidget> pGuard = pTarget;
    const QAction* pChosen = pMenu->exec(pos);
    if (pChosen && pGuard) {
        emit Command(pChosen->data().toUInt());
    }
    return true;
}

int CSystemTray::WindowProc(unsigned nMessage, unsigned wParam, unsigned lParam) {
    if (m_bTrayUsable && nMessage == m_iconData.nCallbackMessage) {
        return OnTrayNotify(wParam, lParam);
    }
    return 0;
}

QWidget* CSystemTray::GetNotifyTarget() const {
    return m_pNotifyTarget ? m_pNotifyTarget.data() : m_iconData.pOwner.data();
}

void CSystemTray::SetNotifyTarget(QWidget* pTarget) {
    m_pNotifyTarget = pTarget;
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

void CSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    OnTrayNotify(m_iconData.nId, MouseCode(reason));
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
