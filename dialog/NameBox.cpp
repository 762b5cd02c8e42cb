#include "dialog/NameBox.h"

#include "dialog/NewFocus.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace shardix {

void NameBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    focusedByClick_ = event->reason() == Qt::MouseFocusReason;
    if (isNewFocus(event))
        emit gotFocus();
}

void NameBox::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    // The press that gave the focus also placed the cursor and dropped the
    // selection made on focus. Select everything again, unless the user dragged
    // out a selection: typing then replaces the text, as after a Tab. In the
    // count box the cursor would otherwise sit past its three places, where
    // nothing can be typed.
    if (focusedByClick_ && !hasSelectedText())
        selectAll();
    focusedByClick_ = false;
}

void NameBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace shardix
