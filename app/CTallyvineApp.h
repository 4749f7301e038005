#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CSingleInstance;
class QByteArray;
class CTallyvineDlg;
class QTranslator;

// The application: hands over to an instance that is already running, loads
// the Simplified Chinese language pack on such a system, starts the HTTP
// library, and runs the main window until the user ends it. Needs a
// QApplication.
class CTallyvineApp {
public:
    CTallyvineApp();
    ~CTallyvineApp();

    // The whole run; the process's exit status.
    int Run();

    // Start-up. False when the program is to end at once with ExitCode():
    // 0 after waking the running instance, 1 when the HTTP library failed.
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }
    CTallyvineDlg* MainWindow() const { return m_pMainWnd.get(); }

    // Where the pack is looked for, in order: beside the executable, then
    // the installed data folder.
    static QStringList LanguagePackFolders();
    // The pack to load for locale, or empty: for another language it is not
    // even looked for.
    static QString FindLanguagePack(const QLocale& locale, const QStringList& folders);
    // Loads and installs the pack for locale; false (and nothing said) when
    // there is none to load.
    bool LoadLanguagePack(const QLocale& locale, const QStringList& folders);

    // Tests: the HTTP library's start-up.
    using NetworkInit = std::function<bool()>;
    void SetNetworkInit(NetworkInit init);

private:
    // Only mainland China's Simplified Chinese (zh_CN) takes the pack.
    static bool IsSimplifiedChinese(const QLocale& locale);
    bool OnSecondStart(const QByteArray& request);

    // First, so that it goes last: the window speaks it until it is gone.
    std::unique_ptr<QTranslator> m_pLanguagePack;
    NetworkInit m_networkInit;
    std::unique_ptr<CTallyvineDlg> m_pMainWnd;
    std::unique_ptr<CSingleInstance> m_pInstance;
    int m_nExitCode = 0;
};
