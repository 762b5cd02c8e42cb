#pragma once

#include <QFocusEvent>

namespace shardix {

// Focus that comes back with the window (after a message box, on re-activation)
// is no new focus for a control.
inline bool isNewFocus(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}

} // namespace shardix
