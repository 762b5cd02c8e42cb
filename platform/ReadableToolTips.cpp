#include "platform/ReadableToolTips.h"

#include <QEvent>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

namespace shardix {

namespace {

// Tips up to this many characters stay on one line.
constexpr qsizetype kOneLine = 70;

} // namespace

QString ReadableToolTips::wrapped(const QString& text) {
    if (text.size() <= kOneLine || Qt::mightBeRichText(text))
        return text;
    // A tip of rich text is wrapped by the tool tip itself, at about 80
    // average characters.
    return QStringLiteral("<p>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

bool ReadableToolTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWidgetType())
        return false;
    const QString tip = widget->toolTip();
    const QString shown = wrapped(tip);
    if (tip.isEmpty() || shown == tip)
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), shown, widget);
    return true;
}

} // namespace shardix
