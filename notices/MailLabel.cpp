#include "notices/MailLabel.h"

#include "platform/Contrast.h"
#include "platform/WindowServices.h"

#include <QMouseEvent>

namespace shardix {

MailLabel::MailLabel(WindowServices& ui, const QString& address, QWidget* parent)
    : QLabel(address, parent), ui_(ui) {
    setCursor(Qt::PointingHandCursor);
    setTextColor(kRestColor);
}

void MailLabel::setTextColor(QRgb color) {
    // Teal and blue as they are on a light background; lighter where the
    // background is dark, so that they can be read there too.
    QPalette p = palette();
    p.setColor(QPalette::WindowText, readableOn(QColor(color), p.color(QPalette::Window)));
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

// Whether the address could be handed on is not looked at: without a mail
// program the window simply stays up.
void MailLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    (void)ui_.openUrl(QStringLiteral("mailto:") + text());
}

} // namespace shardix
