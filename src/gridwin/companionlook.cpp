#include "gridwin/companionlook.h"

#include "platform/colorvalues.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kelvara::companionlook {

void apply(QWidget &window)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    window.setFont(font);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, systemColor(SystemColor::BtnFace, palette));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
}

void centerOnScreen(QWidget &window)
{
    const QWidget *owner = window.parentWidget();
    if (QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace kelvara::companionlook
