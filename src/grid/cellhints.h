#pragma once

#include <QLabel>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QFont;
class QWidget;

namespace kelvara {

class TDBGrid;

// The cell hints of the enhanced grid: a hint window that shows a cell's whole text over the
// cell when the text does not fit its column, kept on the screen.
class CellHints : public QObject
{
    Q_OBJECT

public:
    // editorActive tells whether an editor of the grid is open over a cell: no hint shows then.
    CellHints(TDBGrid *grid, std::function<bool()> editorActive);
    ~CellHints() override;

    // The hint routine for the pointer at pos in the grid's client coordinates: shows the hint for
    // the cell there, or hides it. Records pos as the last hint position.
    void update(const QPoint &pos);
    void hide();

    QPoint lastPos() const { return m_lastPos; }
    // The hint window; nullptr until a hint was first shown.
    QLabel *window() const { return m_window.get(); }
    bool isShown() const;
    // Whether the shown hint lies under the pointer while the pointer is over the grid: the grid
    // losing the pointer then is the hint's doing, not the pointer leaving.
    bool coversPointer() const;

    // Where a hint of the given size goes for a cell whose top-left corner is cellTopLeft on the
    // screen: one pixel up and left of it, moved back onto the screen where it would stick out.
    static QRect placement(const QPoint &cellTopLeft, const QSize &size, const QRect &screen);
    // The hint window's size for a text, at most maxWidth wide (the text wraps then).
    static QSize hintSize(const QString &text, const QFont &font, int maxWidth);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The text of the cell, or empty when there is no hint to show for it.
    QString cellText(int col, int row, QFont *font) const;
    void show(const QRect &rect, const QString &text, const QFont &font);

    TDBGrid *m_grid;
    std::function<bool()> m_editorActive;
    // A window of its own, so outside Qt's object tree: owned here, made at the first hint.
    std::unique_ptr<QLabel> m_window;
    QPoint m_lastPos;
};

}  // namespace kelvara
