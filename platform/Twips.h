#pragma once

#include <QRect>
#include <QWidget>

#include <algorithm>

namespace shardix {

// Window measures are given in twips, 15 to a pixel at 96 dots per inch.
constexpr int twips(int t) {
    return (t + 7) / 15;
}

// A rectangle given in twips, in pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Places `w` at a rectangle given in twips, widened towards `maxRight` (pixels)
// when its text needs more room than the rectangle gives, so that no text is
// cut off in fonts wider than the ones the measures were made for.
inline void placeTwips(QWidget* w, int left, int top, int width, int height, int maxRight) {
    const int x = twips(left);
    const int wanted = std::min(w->sizeHint().width(), maxRight - x);
    w->setGeometry(x, twips(top), std::max(twips(width), wanted), twips(height));
}

} // namespace shardix
