#pragma once

#include <QIcon>
#include <QPixmap>

namespace shardix {

// The application icon (a page cut into slices), for window icons and pictures.
QPixmap appIconPixmap();
QIcon appIcon();

} // namespace shardix
