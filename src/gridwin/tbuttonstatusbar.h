#pragma once

#include <QStatusBar>

class QPushButton;

namespace kelvara {

// The bottom button bar of the field viewer and the column chooser: a status bar 27
// pixels high without a size grip and without status panels of its own, carrying plain panels
// from left to right that each hold one flat button. The window puts the bar along its bottom
// edge (the last item of its layout, or QMainWindow::setStatusBar); the panels and buttons are
// the bar's children and move with it.
class TButtonStatusBar : public QStatusBar
{
    Q_OBJECT

public:
    static constexpr int BarHeight = 27;

    explicit TButtonStatusBar(QWidget *parent = nullptr);
    ~TButtonStatusBar() override;

    // Adds a panel of the given width after the last one and gives the flat button in it.
    QPushButton *addButtonPanel(const QString &caption, int width);

    int panelCount() const;
    // The panel holding the index-th button, from the left.
    QWidget *panel(int index) const;
};

}  // namespace kelvara
