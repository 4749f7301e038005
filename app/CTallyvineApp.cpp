#include "app/CTallyvineApp.h"

#include "app/CSingleInstance.h"
#include "ui/CMessageBox.h"
#include "ui/CSystemTray.h"
#include "ui/CTallyvineDlg.h"
#include "ui/TrayWindow.h"
#include "ui/WindowMessages.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace {

constexpr const char* kLanguagePack = "TallyvineRes_zh_CN.qm";

// Qt's own button texts, carried by the language pack as well: Debian ships
// no Chinese translation of Qt itself.
[[maybe_unused]] constexpr const char* s_qtButtonTexts[] = {
    QT_TRANSLATE_NOOP("QPlatformTheme", "OK"),    QT_TRANSLATE_NOOP("QPlatformTheme", "&Yes"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&No"),   QT_TRANSLATE_NOOP("QPlatformTheme", "Cancel"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "Open"),  QT_TRANSLATE_NOOP("QPlatformTheme", "Save"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "Close"),
};

} // namespace

CTallyvineApp::CTallyvineApp() : m_networkInit([] { return CTallyvineDlg::PrepareNetwork(); }) {}

CTallyvineApp::~CTallyvineApp() {
    ExitInstance(m_nExitCode);
}

int CTallyvineApp::Run() {
    if (!InitInstance()) {
        return ExitInstance(m_nExitCode);
    }
    return ExitInstance(QApplication::exec());
}

bool CTallyvineApp::InitInstance() {
    const QString strInstance = CSingleInstance::ServerName();
    // Exactly what a left click on the running instance's tray icon sends.
    if (CSingleInstance::SendToRunning(strInstance, WM_TRAY_NOTIFY, IDR_TRAYMENU, WM_LBUTTONDOWN)) {
        m_nExitCode = 0;
        return false;
    }
    // Before anything is shown, so that even the message below speaks the
    // user's language.
    LoadLanguagePack(QLocale::system(), LanguagePackFolders());
    if (!m_networkInit()) {
        CMessageBox::Show(
            nullptr,
            QCoreApplication::translate(
                "CTallyvineApp", "The network library could not be started. Tallyvine will end."));
        m_nExitCode = 1;
        return false;
    }

    // The window is hidden while it is in the tray; only its end ends the
    // program.
    QApplication::setQuitOnLastWindowClosed(false);
    m_pMainWnd = std::make_unique<CTallyvineDlg>();
    QObject::connect(m_pMainWnd.get(), &QDialog::finished, qApp, &QCoreApplication::quit);
    m_pMainWnd->show();

    m_pInstance = std::make_unique<CSingleInstance>();
    m_pInstance->Listen(strInstance, [this](unsigned nMessage, unsigned wParam, unsigned lParam) {
        return OnSecondStart(nMessage, wParam, lParam);
    });
    m_nExitCode = 0;
    return true;
}

int CTallyvineApp::ExitInstance(int nExitCode) {
    m_pInstance.reset();
    m_pMainWnd.reset();
    UnloadLanguagePack();
    m_nExitCode = nExitCode;
    return nExitCode;
}

int CTallyvineApp::OnSecondStart(unsigned nMessage, unsigned wParam, unsigned lParam) {
    if (!m_pMainWnd) {
        return 0;
    }
    CSystemTray& tray = m_pMainWnd->TrayIcon();
    const int nResult = tray.WindowProc(nMessage, wParam, lParam);
    // Without a tray nobody answers the tray's message, yet a second start
    // still means "show me the program".
    const bool bWake = nMessage == WM_TRAY_NOTIFY && (lParam & 0xFFFF) == WM_LBUTTONDOWN;
    if (!tray.IsTrayUsable() && bWake) {
        RestoreFromTray(m_pMainWnd.get(), false);
    }
    return nResult;
}

bool CTallyvineApp::IsSimplifiedChinese(const QLocale& locale) {
    return locale.language() == QLocale::Chinese && locale.territory() == QLocale::China;
}

QStringList CTallyvineApp::LanguagePackFolders() {
    const QDir program(QCoreApplication::applicationDirPath());
    return {program.path(), QDir::cleanPath(program.filePath(
                                QStringLiteral(TALLYVINE_DATA_FROM_BIN "/translations")))};
}

QString CTallyvineApp::FindLanguagePack(const QLocale& locale, const QStringList& folders) {
    if (!IsSimplifiedChinese(locale)) {
        return {};
    }
    for (const QString& strFolder : folders) {
        const QFileInfo pack(QDir(strFolder), QString::fromLatin1(kLanguagePack));
        if (pack.isFile()) {
            return pack.filePath();
        }
    }
    return {};
}

bool CTallyvineApp::LoadLanguagePack(const QLocale& locale, const QStringList& folders) {
    UnloadLanguagePack();
    const QString strPack = FindLanguagePack(locale, folders);
    if (strPack.isEmpty()) {
        return false;
    }
    auto pTranslator = std::make_unique<QTranslator>();
    if (!pTranslator->load(strPack) || !QCoreApplication::installTranslator(pTranslator.get())) {
        return false;
    }
    m_hResDll = std::move(pTranslator);
    return true;
}

void CTallyvineApp::UnloadLanguagePack() {
    if (m_hResDll) {
        QCoreApplication::removeTranslator(m_hResDll.get());
        m_hResDll.reset();
    }
}

void CTallyvineApp::SetNetworkInit(NetworkInit init) {
    m_networkInit = std::move(init);
}
