#include "app/AppIcon.h"
#include "app/Form1.h"
#include "engines/ProcessSetup.h"

#include <QApplication>

int main(int argc, char** argv) {
    shardix::prepareProcess();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Shardix!"));
    QApplication::setDesktopFileName(QStringLiteral("example.shardix.Shardix"));
    QApplication::setWindowIcon(shardix::appIcon()); // for every window, the Open dialog too

    shardix::Form1 window;
    const shardix::StartupResult result = window.loadHandler();
    if (result != shardix::StartupResult::Ready)
        return shardix::exitStatus(result);
    window.show();
    return app.exec();
}
