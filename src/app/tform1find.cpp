// The main window's find: the find bar in the menu bar's row, and the status bar's account of
// the jobs shown.
#include "app/findbar.h"
#include "app/runningtotal.h"
#include "app/tform1.h"
#include "grid/tenhancedgrid.h"
#include "platform/errorreport.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/table.h"
#include "store/textconv.h"

#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace kelvara {

void TForm1::buildFindBar()
{
    m_findBar = new FindBar;
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    // In the menu bar's row, so the pages keep their controls where they are.
    menuBar()->setCornerWidget(m_findBar, Qt::TopRightCorner);
    connect(m_findBar, &FindBar::changed, this, [this] { guarded(this, [this] { applyFind(); }); });
    connect(m_findBar, &FindBar::accepted, this, [this] {
        PageControl1->setCurrentIndex(0);
        EnhancedGrid1->setFocus(Qt::OtherFocusReason);
    });
    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, m_findBar, &FindBar::focusWords);
    // A table opened anew (a restored backup) shows every job: the bar says so too.
    connect(Table1, &Table::afterOpen, m_findBar, &FindBar::clear);
    connect(Table1, &Table::findIndexStateChanged, this,
            [this] { m_findBar->setIndexing(Table1->findIndexState() == Table::FindIndexState::Indexing); });
}

void TForm1::buildShownJobsStatus()
{
    m_shownJobs = new QLabel;
    m_shownJobs->setObjectName(QStringLiteral("ShownJobs"));
    m_queryStatus = new QLabel(QStringLiteral("Query by form narrows the jobs"));
    m_queryStatus->setObjectName(QStringLiteral("QueryStatus"));
    m_queryStatus->hide();
    m_clearQuery = new QToolButton;
    m_clearQuery->setObjectName(QStringLiteral("ClearQuery"));
    m_clearQuery->setText(QStringLiteral("Clear Query"));
    m_clearQuery->setToolTip(QStringLiteral("Show the jobs the query hides again"));
    m_clearQuery->hide();
    connect(m_clearQuery, &QToolButton::clicked, this, [this] { guarded(this, [this] { clearQuery(); }); });
    statusBar()->insertWidget(0, m_shownJobs);
    statusBar()->insertWidget(1, m_queryStatus);
    statusBar()->insertWidget(2, m_clearQuery);

    for (auto signal :
         {&Table::afterOpen, &Table::afterPost, &Table::afterDelete, &Table::afterRefresh, &Table::afterClose})
        connect(Table1, signal, this, &TForm1::scheduleShownJobs);
    // A new range or find tells the links the whole set changed, as a move does: only a change
    // in what is shown is worth counting again.
    connect(DataSource1, &DataSource::dataChanged, this, [this](Field *field) {
        if (!field && Table1->active()
            && (Table1->recordCount() != m_shownCount || Table1->narrowed() != m_shownNarrowed
                || Table1->hasRange() != m_queryStatus->isVisibleTo(this)))
            scheduleShownJobs();
    });
}

void TForm1::applyFind()
{
    if (!Table1->active())
        return;
    Table1->setFind({m_findBar->words(), QStringLiteral("Dato"), m_findBar->from(), m_findBar->to()});
    keepEditing();
    scheduleShownJobs();
}

void TForm1::clearQuery()
{
    if (!Table1->active())
        return;
    Table1->cancelRange();
    keepEditing();
    scheduleShownJobs();
}

QString TForm1::shownJobsDescription() const
{
    const FindFilter &find = Table1->find();
    QStringList parts;
    if (!find.words.trimmed().isEmpty())
        parts << QStringLiteral("found by \"%1\"").arg(find.words.simplified());
    if (find.from.isValid())
        parts << QStringLiteral("from %1").arg(dateToText(find.from));
    if (find.to.isValid())
        parts << QStringLiteral("to %1").arg(dateToText(find.to));
    if (Table1->hasRange())
        parts << QStringLiteral("in the query's range");
    return parts.isEmpty() ? QStringLiteral("All jobs") : QStringLiteral("Jobs ") + parts.join(QLatin1Char(' '));
}

void TForm1::scheduleShownJobs()
{
    // Counted when the typing of the moment pauses: summing the time of tens of thousands of
    // jobs found at every key would slow the find that the user waits for.
    if (!m_shownJobsTimer) {
        m_shownJobsTimer = new QTimer(this);
        m_shownJobsTimer->setSingleShot(true);
        m_shownJobsTimer->setInterval(120);
        connect(m_shownJobsTimer, &QTimer::timeout, this, [this] { guarded(this, [this] { showShownJobs(); }); });
    }
    m_shownJobsTimer->start();
}

void TForm1::showShownJobs()
{
    if (!Table1->active()) {
        m_shownJobs->clear();
        m_queryStatus->hide();
        m_clearQuery->hide();
        m_shownCount = -1;
        return;
    }
    m_shownCount = Table1->recordCount();
    m_shownNarrowed = Table1->narrowed();
    // A job being typed in counts with what it holds now, as the running total does.
    const qint64 minutes = Table1->sumOf(Table1->fieldByName(QStringLiteral("timeused")), Table::Scope::Shown);
    m_shownJobs->setText(shownJobsText(m_shownCount, Table1->storedCount(), m_shownNarrowed, minutes));
    m_queryStatus->setVisible(Table1->hasRange());
    m_clearQuery->setVisible(Table1->hasRange());
}

}  // namespace kelvara
