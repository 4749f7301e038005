#include "app/CTallyvineApp.h"
#include "ui/CTallyvineDlg.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The HTTP library starts before any thread, Qt's own included; a failure
    // is told to the user once the window system is there.
    CTallyvineDlg::PrepareNetwork();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyvine"));
    return CTallyvineApp().Run();
}
