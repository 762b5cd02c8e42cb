#include "platform/AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace shardix {

namespace {

const QString kArtwork = QStringLiteral(":/shardix/shardix.svg");

QPixmap render(int pixels) {
    QPixmap picture(pixels, pixels);
    picture.fill(Qt::transparent);
    QSvgRenderer artwork(kArtwork);
    QPainter painter(&picture);
    artwork.render(&painter);
    return picture;
}

} // namespace

QIcon appIcon() {
    QIcon icon;
    for (int pixels : {16, 24, 32, 48, 64})
        icon.addPixmap(render(pixels));
    return icon;
}

QPixmap appIconPixmap(int size, qreal devicePixelRatio) {
    QPixmap picture = render(qRound(size * devicePixelRatio));
    picture.setDevicePixelRatio(devicePixelRatio);
    return picture;
}

} // namespace shardix
