#pragma once

#include "grid/cellgrid.h"
#include "grid/cellpainter.h"

#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>

#include <functional>

class QTimer;
class QWidget;

namespace kelvara {

// The column drag of the enhanced grid: a press on a title arms it, past the drag threshold a
// picture of the title follows the pointer along the title row, and near the client's left or
// right edge a 500 ms timer scrolls the grid a column at a time. The grid does the drop itself.
class ColumnDrag : public QObject
{
    Q_OBJECT

public:
    // Where the picture waits out of view: when the drag starts, and while the pointer is not over the grid.
    static constexpr QPoint kStartPos{-100, -100};
    static constexpr QPoint kAwayPos{-200, -200};
    static constexpr int kEdgeMargin = 5;
    static constexpr int kEdgeInterval = 500;

    // The grid's view of the drag: the left edge L of the first scrollable column in view and
    // the client width, and a step of one column left or right.
    struct Host
    {
        std::function<int()> leftEdge;
        std::function<int()> clientWidth;
        std::function<void(bool right)> scrollColumn;
    };

    // client is the grid's viewport: the picture is its child and positions are in its coordinates.
    ColumnDrag(QWidget *client, Host host);
    ~ColumnDrag() override;

    // The column-drag flag: set from the press that armed the drag until it ends.
    bool active() const { return m_active; }
    // Whether the pointer passed the drag threshold and the picture is showing.
    bool started() const { return m_started; }
    int source() const { return m_source; }

    void press(int col, const QPoint &pos);
    // A pointer move while armed; true when it passes the threshold now (the grid then hands over
    // the picture with begin()).
    bool passesThreshold(const QPoint &pos) const;
    void begin(const QPixmap &picture);
    // The pointer over the grid (inside) or elsewhere; positions the picture at (x, 0) over the
    // title row and switches the edge timer on near either edge.
    void over(const QPoint &pos, bool inside);
    // Clears the flag, hides the picture and stops the timer; nothing when not armed.
    void end();

    // One tick of the edge timer: scrolls a column towards the edge the pointer is beyond, or
    // stops the timer when it is back between the edges. The picture is hidden meanwhile.
    void edgeScrollTick();

    QTimer *edgeTimer() const { return m_timer; }
    QLabel *image() const { return m_image; }
    QPoint lastPos() const { return m_lastPos; }

    // A title as a drag picture: the painted title with, when masked, its background colour
    // see-through.
    static QPixmap makePicture(const QImage &painted, const QColor &maskColor, bool masked);

private:
    QPointer<QWidget> m_client;
    Host m_host;
    QTimer *m_timer = nullptr;
    QPointer<QLabel> m_image;
    bool m_active = false;
    bool m_started = false;
    int m_source = -1;
    QPoint m_pressPos;
    QPoint m_lastPos;
};

// What PaintColumnTitle draws: the title's colour, a one-pixel 3-D frame (sunken in the fixed
// state, raised otherwise) and the caption with tabs expanded, prefixes left alone and lines kept.
void paintColumnTitle(QPainter &painter, const TitleText &title, CellGrid::TGridDrawState state, const QRect &rect,
                      const QPalette &palette);

}  // namespace kelvara
