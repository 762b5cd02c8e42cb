#pragma once

#include <QIcon>
#include <QPixmap>

namespace shardix {

// The program's icon, a page cut into slices, drawn from its scalable artwork:
// sharp at every size and every scale of the screen.
QIcon appIcon();

// The icon as a picture of `size` × `size` (device-independent pixels) for a
// screen of `devicePixelRatio`.
QPixmap appIconPixmap(int size, qreal devicePixelRatio);

} // namespace shardix
