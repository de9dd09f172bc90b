#include "platform/colorvalues.h"

#include <QGuiApplication>

namespace kelvara {

QColor systemColor(SystemColor color, const QPalette &palette)
{
    switch (color) {
    case SystemColor::Window: return palette.color(QPalette::Active, QPalette::Base);
    case SystemColor::WindowText: return palette.color(QPalette::Active, QPalette::Text);
    case SystemColor::BtnFace: return palette.color(QPalette::Active, QPalette::Button);
    // Dark, not Mid: Qt's Windows theme fills Dark from the desktop's button shadow colour, and
    // Qt's own sunken and raised frames draw their shadow line in it.
    case SystemColor::BtnShadow: return palette.color(QPalette::Active, QPalette::Dark);
    case SystemColor::BtnHighlight: return palette.color(QPalette::Active, QPalette::Light);
    case SystemColor::Highlight: return palette.color(QPalette::Active, QPalette::Highlight);
    case SystemColor::HighlightText: return palette.color(QPalette::Active, QPalette::HighlightedText);
    case SystemColor::GrayText: return palette.color(QPalette::Disabled, QPalette::Text);
    case SystemColor::InfoBk: return palette.color(QPalette::Active, QPalette::ToolTipBase);
    case SystemColor::InfoText: return palette.color(QPalette::Active, QPalette::ToolTipText);
    }
    return QColor();
}

QColor systemColor(SystemColor color)
{
    return systemColor(color, QGuiApplication::palette());
}

QColor colorFromValue(quint32 value)
{
    return QColor(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

quint32 colorValue(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return quint32(rgb.red()) | quint32(rgb.green()) << 8 | quint32(rgb.blue()) << 16;
}

}  // namespace kelvara
