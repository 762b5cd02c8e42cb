#include "app/Form1.h"

#include "app/AppIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>

namespace shardix {

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Shardix!"));
    setWindowIcon(appIcon());
}

StartupResult Form1::loadHandler() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    return startUp();
}

void Form1::endProgram() { QCoreApplication::exit(0); }

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram();
}

} // namespace shardix
