#pragma once

#include <QColor>

#include <initializer_list>

namespace shardix {

// How far a text colour stands out from its background: the ratio of their
// relative luminances (each plus 0.05), from 1 (the same) to 21 (black on
// white), as the Web Content Accessibility Guidelines measure it.
double contrastRatio(const QColor& a, const QColor& b);

// The ratio from which small text reads well.
inline constexpr double kReadableContrast = 4.5;

// `wanted` itself when it stands out from `background` by `least`; otherwise
// `wanted` mixed with white on a dark background, with black on a light one,
// as little as it takes.
QColor readableOn(const QColor& wanted, const QColor& background, double least = kReadableContrast);

// Of `candidates`, the colour that stands out most from `background`.
QColor mostContrasting(const QColor& background, std::initializer_list<QColor> candidates);

} // namespace shardix
