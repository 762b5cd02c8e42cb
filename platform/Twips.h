#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <algorithm>

namespace shardix {

// Window measures are given in twips, 15 to a pixel at 96 dots per inch.
constexpr int twips(int t) {
    return (t + 7) / 15;
}

// A rectangle given in twips, in pixels.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// A size given in twips, in pixels.
constexpr QSize twipsSize(int width, int height) {
    return QSize(twips(width), twips(height));
}

// Places `w` at `place` (pixels), widened towards `maxRight` (pixels) when its
// text needs more room than the rectangle gives, so that no text is cut off in
// fonts wider than the ones the measures were made for.
inline void placeWidening(QWidget* w, const QRect& place, int maxRight) {
    const int wanted = std::min(w->sizeHint().width(), maxRight - place.x());
    w->setGeometry(place.x(), place.y(), std::max(place.width(), wanted), place.height());
}

} // namespace shardix
