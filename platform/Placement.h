#pragma once

class QWidget;

namespace shardix {

// Moves a window so that it sits in the middle of the primary screen.
void centreOnScreen(QWidget& window);

// Gives a window that cannot grow no maximize control: only its title, its
// close control and, for a main window (`minimizable`), the minimize control.
void offerNoMaximize(QWidget& window, bool minimizable = false);

} // namespace shardix
