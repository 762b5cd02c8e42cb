#include "notices/MailLabel.h"

#include "platform/WindowServices.h"

#include <QMouseEvent>

namespace shardix {

MailLabel::MailLabel(WindowServices& ui, const QString& address, QWidget* parent)
    : QLabel(address, parent), ui_(ui) {
    setCursor(Qt::PointingHandCursor);
    setTextColor(kRestColor);
}

void MailLabel::setTextColor(QRgb color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(color));
    setPalette(p);
}

void MailLabel::enterEvent(QEnterEvent* event) {
    setTextColor(kHoverColor);
    QLabel::enterEvent(event);
}

void MailLabel::leaveEvent(QEvent* event) {
    setTextColor(kRestColor);
    QLabel::leaveEvent(event);
}

// A failure to hand the address on is ignored: the window simply stays up.
void MailLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    try {
        ui_.openUrl(QStringLiteral("mailto:") + text());
    } catch (...) {
    }
}

} // namespace shardix
