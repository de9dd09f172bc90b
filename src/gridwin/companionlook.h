#pragma once

class QWidget;

namespace kelvara {

// What the grid's companion windows share in their look and placement.
namespace companionlook {

// Tahoma 8 point (11 pixels high) on the button face, filled behind the window's children.
void apply(QWidget &window);

// Centres the window on the screen of its owner, or on the primary screen without one.
void centerOnScreen(QWidget &window);

}  // namespace companionlook

}  // namespace kelvara
