#include "app/CTallyvineApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyvine"));
    return CTallyvineApp().Run();
}
