#pragma once

class QWidget;

namespace shardix {

// Moves a window so that it sits in the middle of the primary screen.
void centreOnScreen(QWidget& window);

} // namespace shardix
