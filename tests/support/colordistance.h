#pragma once

#include <QColor>
#include <QtGlobal>

#include <algorithm>

namespace kelvara::test {

// How far apart two colours are: the largest difference of their red, green or blue. A decoded
// JPEG or a smoothed picture is never exactly the colour it was made of.
inline int colorDistance(const QColor &a, const QColor &b)
{
    return std::max({qAbs(a.red() - b.red()), qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())});
}

// Whether two colours are at most `tolerance` apart.
inline bool near(const QColor &a, const QColor &b, int tolerance = 24)
{
    return colorDistance(a, b) <= tolerance;
}

}  // namespace kelvara::test
