#pragma once

#include <QColor>
#include <QPalette>

namespace kelvara {

// The platform's named colours. The system colours follow a palette (the desktop's, by default),
// so they change with the desktop theme; the others are fixed RGB values.
enum class SystemColor {
    Window,         // clWindow
    WindowText,     // clWindowText
    BtnFace,        // clBtnFace
    BtnShadow,      // clBtnShadow
    BtnHighlight,   // clBtnHighlight
    Highlight,      // clHighlight
    HighlightText,  // clHighlightText
    GrayText,       // clGrayText
    InfoBk,         // clInfoBk
    InfoText        // clInfoText
};

QColor systemColor(SystemColor color, const QPalette &palette);
// From the application palette.
QColor systemColor(SystemColor color);

inline const QColor clBlack{0, 0, 0};
inline const QColor clWhite{255, 255, 255};
inline const QColor clSilver{192, 192, 192};
inline const QColor clGray{128, 128, 128};
inline const QColor clNavy{0, 0, 128};
inline const QColor clYellow{255, 255, 0};

// A stored colour value: red in the low byte, then green, then blue.
QColor colorFromValue(quint32 value);
quint32 colorValue(const QColor &color);

}  // namespace kelvara
