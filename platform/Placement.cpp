#include "platform/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace shardix {

void centreOnScreen(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        window.move(area.x() + (area.width() - window.width()) / 2,
                    area.y() + (area.height() - window.height()) / 2);
    }
}

void offerNoMaximize(QWidget& window, bool minimizable) {
    Qt::WindowFlags flags = (window.windowFlags() & Qt::WindowType_Mask) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if (minimizable)
        flags |= Qt::WindowMinimizeButtonHint;
    window.setWindowFlags(flags);
}

} // namespace shardix
