#include "app/Form1.h"

#include "app/AppIcon.h"
#include "app/Placement.h"

#include <QApplication>
#include <QCloseEvent>

namespace shardix {

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Shardix!"));
    setWindowIcon(appIcon());
}

StartupResult Form1::loadHandler() {
    centreOnScreen(*this);
    return startUp();
}

void Form1::endProgram() { QCoreApplication::exit(0); }

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram();
}

} // namespace shardix
