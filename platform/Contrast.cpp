#include "platform/Contrast.h"

#include <algorithm>
#include <cmath>

namespace shardix {

namespace {

double linear(double channel) {
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](float a, float b) { return a + (b - a) * share; };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()));
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& wanted, const QColor& background, double least) {
    if (contrastRatio(wanted, background) >= least)
        return wanted;
    // Black and white stand out equally from a luminance of about 0.18.
    const QColor away = luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    for (int step = 1; step <= 20; ++step) {
        const QColor c = mixed(wanted, away, step / 20.0);
        if (contrastRatio(c, background) >= least)
            return c;
    }
    return away;
}

QColor mostContrasting(const QColor& background, std::initializer_list<QColor> candidates) {
    return *std::max_element(candidates.begin(), candidates.end(),
                             [&](const QColor& a, const QColor& b) {
                                 return contrastRatio(a, background) < contrastRatio(b, background);
                             });
}

} // namespace shardix
