#include "app/MainWindow.h"
#include "app/Session.h"
#include "engines/ProcessSetup.h"
#include "platform/AppIcon.h"
#include "platform/MessageStyle.h"
#include "platform/QtWindowServices.h"

#include <QApplication>

int main(int argc, char** argv) {
    shardix::prepareProcess();
    QApplication app(argc, argv);
    QApplication::setApplicationName(shardix::kAppTitle);
    QApplication::setDesktopFileName(QStringLiteral("example.shardix.Shardix"));
    QApplication::setWindowIcon(shardix::appIcon()); // for every window, the Open dialog too

    shardix::QtWindowServices ui;
    shardix::Session session{ui, {}, std::nullopt};
    shardix::MainWindow window(session);
    const shardix::StartupResult result = window.start();
    if (result != shardix::StartupResult::Ready)
        return shardix::exitStatus(result);
    window.show();
    return app.exec();
}
