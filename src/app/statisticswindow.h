#pragma once

#include "report/statisticssheet.h"
#include "store/statistics.h"

#include <QDialog>
#include <QWidget>

#include <optional>

class QLabel;
class QSpinBox;

namespace kelvara {

class Table;

// The fields the season figures are counted by, each under the caption of its box on the
// window's data sheet (the field's name where the sheet has no such box).
QList<StatisticsField> statisticsFields(const QWidget &dataSheet);

// Draws the season figures, laid out anew for its width.
class StatisticsView : public QWidget
{
    Q_OBJECT

public:
    explicit StatisticsView(QWidget *parent = nullptr);
    void setSheet(const StatisticsSheet &sheet);
    const StatisticsSheet *sheet() const { return m_sheet ? &*m_sheet : nullptr; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void layOut();

    std::optional<StatisticsSheet> m_sheet;
};

// The season statistics of the jobs the table shows: a year range, the jobs per month of each
// year as bar charts on one scale, and the tables of jobs and time used; printed and saved as
// PDF through the print preview. Counts when opened and whenever the years change.
class StatisticsWindow : public QDialog
{
    Q_OBJECT

public:
    // counted tells which jobs the table shows ("All jobs"). Fails with the store's message when
    // the figures cannot be counted.
    StatisticsWindow(const Table &table, const QList<StatisticsField> &fields, const QString &counted,
                     QWidget *parent = nullptr);

    const SeasonStatistics &statistics() const { return m_figures; }
    // Chooses the years as the boxes do, and counts again.
    void setYears(int first, int last);
    // What the window says about the years chosen: why they were swapped or refused.
    QString message() const;
    void print();

private:
    void count(std::optional<std::pair<int, int>> years);
    void yearsChanged();

    const Table &m_table;
    QList<StatisticsField> m_fields;
    QString m_counted;
    SeasonStatistics m_figures;
    QSpinBox *m_first;
    QSpinBox *m_last;
    QLabel *m_message;
    StatisticsView *m_view;
};

}  // namespace kelvara
