#include "app/AppIcon.h"

namespace shardix {

QPixmap appIconPixmap() { return QPixmap(QStringLiteral(":/shardix/shardix.xpm")); }

QIcon appIcon() { return QIcon(appIconPixmap()); }

} // namespace shardix
