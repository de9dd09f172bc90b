#include "gridwin/tbuttonstatusbar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

namespace kelvara {

namespace {
const char *const PanelName = "buttonPanel";
}

TButtonStatusBar::TButtonStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    setFixedHeight(BarHeight);
    // It paints all of its area itself, whatever the window behind it.
    setAutoFillBackground(true);
}

TButtonStatusBar::~TButtonStatusBar() = default;

QPushButton *TButtonStatusBar::addButtonPanel(const QString &caption, int width)
{
    auto *panel = new QFrame(this);
    panel->setObjectName(QLatin1String(PanelName));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setFixedWidth(width);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    auto *button = new QPushButton(caption, panel);
    button->setFlat(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(button);
    addWidget(panel);
    return button;
}

int TButtonStatusBar::panelCount() const
{
    return int(findChildren<QFrame *>(QLatin1String(PanelName), Qt::FindDirectChildrenOnly).size());
}

QWidget *TButtonStatusBar::panel(int index) const
{
    const auto panels = findChildren<QFrame *>(QLatin1String(PanelName), Qt::FindDirectChildrenOnly);
    return index >= 0 && index < panels.size() ? panels.at(index) : nullptr;
}

}  // namespace kelvara
