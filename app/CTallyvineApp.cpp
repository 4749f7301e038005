#include "app/CTallyvineApp.h"

#include "app/CSingleInstance.h"
#include "ui/CMessageBox.h"
#include "ui/CTallyvineDlg.h"
#include "ui/ControlMap.h"
#include "ui/TrayWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
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

CTallyvineApp::~CTallyvineApp() = default;

int CTallyvineApp::Run() {
    return InitInstance() ? QApplication::exec() : m_nExitCode;
}

bool CTallyvineApp::InitInstance() {
    const QString strInstance = CSingleInstance::ServerName();
    if (CSingleInstance::SendToRunning(strInstance, CSingleInstance::kShowRequest)) {
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
    // A tool that drives the window from outside learns where its controls
    // are; the layout is settled once the event loop runs.
    const QString strControlMap = qEnvironmentVariable("TALLYVINE_CONTROL_MAP");
    if (!strControlMap.isEmpty()) {
        QTimer::singleShot(0, m_pMainWnd.get(),
                           [this, strControlMap] { WriteControlMap(*m_pMainWnd, strControlMap); });
    }

    m_pInstance = std::make_unique<CSingleInstance>();
    m_pInstance->Listen(strInstance,
                        [this](const QByteArray& request) { return OnSecondStart(request); });
    m_nExitCode = 0;
    return true;
}

// A second start means "show me the program", from the tray or not, as a
// click on the tray icon does.
bool CTallyvineApp::OnSecondStart(const QByteArray& request) {
    if (request != CSingleInstance::kShowRequest || !m_pMainWnd) {
        return false;
    }
    RestoreFromTray(m_pMainWnd.get(), false);
    return true;
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
    // A translator takes itself out of the application when it goes.
    m_pLanguagePack.reset();
    const QString strPack = FindLanguagePack(locale, folders);
    if (strPack.isEmpty()) {
        return false;
    }
    auto pTranslator = std::make_unique<QTranslator>();
    if (!pTranslator->load(strPack) || !QCoreApplication::installTranslator(pTranslator.get())) {
        return false;
    }
    m_pLanguagePack = std::move(pTranslator);
    return true;
}

void CTallyvineApp::SetNetworkInit(NetworkInit init) {
    m_networkInit = std::move(init);
}
