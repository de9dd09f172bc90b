#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>

class QRect;

namespace kelvara {

class TColumn;
class TDBGrid;

// The search mode's box over a column title: a title click sorts the table by that column's index
// and opens the box; each key typed into it searches the index for the text, and where that finds
// nothing, locates the first record whose value in the clicked column starts with it.
class TitleSearch : public QObject
{
    Q_OBJECT

public:
    explicit TitleSearch(TDBGrid *grid);
    ~TitleSearch() override;

    // The title-click step for a column whose title cell is titleRect (client coordinates).
    void titleClicked(TColumn *column, const QRect &titleRect);
    // The search for a text, as a key typed into the box runs it.
    void search(const QString &text);
    void hide();

    // The box; nullptr until first needed.
    QLineEdit *box() const { return m_box; }
    bool isVisible() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *ensureBox();
    void hideAndFocusGrid();

    TDBGrid *m_grid;
    QPointer<QLineEdit> m_box;
    // The box as the filter sees it: its last events come from QWidget's destructor, when the
    // object is no longer a QLineEdit and QPointer<QLineEdit> may not cast to it.
    const QObject *m_watchedBox = nullptr;
    QString m_fieldName;  // of the column whose title was clicked
};

}  // namespace kelvara
