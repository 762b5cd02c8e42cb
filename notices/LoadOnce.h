#pragma once

#include <QPointer>

namespace shardix {

// The one window of class `Window`, created hidden on first use and afterwards
// only shown and hidden. The program never destroys it; it lives until the
// process ends.
template <typename Window> Window& loadOnce() {
    static QPointer<Window> window;
    if (!window)
        window = new Window;
    return *window;
}

} // namespace shardix
