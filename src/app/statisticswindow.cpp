#include "app/statisticswindow.h"

#include "dbctrls/tdbcombobox.h"
#include "platform/errorreport.h"
#include "report/pagecanvas.h"
#include "report/printdialogs.h"
#include "store/error.h"
#include "store/table.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kelvara {

namespace {

constexpr int kMargin = 12;

}  // namespace

QList<StatisticsField> statisticsFields(const QWidget &dataSheet)
{
    // The pick-list fields of a job that say what kind of job it was, in the order they are
    // shown in the window.
    QList<StatisticsField> fields;
    for (const char *name : {"Typeofbee", "method", "camefrom", "wentinto"})
        fields << StatisticsField{QString::fromLatin1(name), QString::fromLatin1(name)};
    for (const QLabel *label : dataSheet.findChildren<QLabel *>()) {
        const auto *box = qobject_cast<const TDBComboBox *>(label->buddy());
        if (!box)
            continue;
        for (StatisticsField &field : fields) {
            if (box->dataField().compare(field.name, Qt::CaseInsensitive) == 0)
                field.caption = label->text().remove(QLatin1Char('&')).trimmed();
        }
    }
    return fields;
}

StatisticsView::StatisticsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("chart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StatisticsView::setSheet(const StatisticsSheet &sheet)
{
    m_sheet = sheet;
    layOut();
    update();
}

void StatisticsView::layOut()
{
    if (!m_sheet)
        return;
    m_sheet->layOut(std::max(1, width() - 2 * kMargin));
    setMinimumHeight(int(std::ceil(m_sheet->pageHeight(0))) + 2 * kMargin);
}

void StatisticsView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void StatisticsView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    if (!m_sheet)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(kMargin, kMargin);
    PainterCanvas canvas(painter);
    m_sheet->paint(canvas, 0, QRectF(event->rect()).translated(-kMargin, -kMargin));
}

StatisticsWindow::StatisticsWindow(const Table &table, const QList<StatisticsField> &fields, const QString &counted,
                                   QWidget *parent)
    : QDialog(parent), m_table(table), m_fields(fields), m_counted(counted)
{
    setObjectName(QStringLiteral("StatisticsWindow"));
    setWindowTitle(tr("Statistics"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    auto *countedLabel = new QLabel(tr("Counting: %1").arg(counted));
    countedLabel->setObjectName(QStringLiteral("counted"));
    top->addWidget(countedLabel);
    top->addStretch();
    const auto yearBox = [&](const char *name, const QString &caption) {
        auto *box = new QSpinBox;
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(1, 9999);
        // Counted once a year is typed whole, not at each digit.
        box->setKeyboardTracking(false);
        auto *label = new QLabel(caption);
        label->setBuddy(box);
        top->addWidget(label);
        top->addWidget(box);
        return box;
    };
    m_first = yearBox("fromYear", tr("&From"));
    m_last = yearBox("toYear", tr("&To"));
    layout->addLayout(top);

    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #a00000"));
    m_message->hide();
    layout->addWidget(m_message);

    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("chartArea"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view = new StatisticsView;
    scroll->setWidget(m_view);
    layout->addWidget(scroll, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *printButton = buttons->addButton(tr("&Print..."), QDialogButtonBox::ActionRole);
    printButton->setObjectName(QStringLiteral("print"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(printButton, &QPushButton::clicked, this, [this] { guarded(this, [this] { print(); }); });

    count(std::nullopt);
    connect(m_first, &QSpinBox::valueChanged, this, [this] { guarded(this, [this] { yearsChanged(); }); });
    connect(m_last, &QSpinBox::valueChanged, this, [this] { guarded(this, [this] { yearsChanged(); }); });
    resize(820, 680);
}

void StatisticsWindow::count(std::optional<std::pair<int, int>> years)
{
    m_figures = countSeasonStatistics(m_table, m_fields, years);
    const QSignalBlocker blockFirst(m_first);
    const QSignalBlocker blockLast(m_last);
    m_first->setValue(m_figures.firstYear);
    m_last->setValue(m_figures.lastYear);
    m_view->setSheet(StatisticsSheet(m_figures, m_counted));
}

void StatisticsWindow::setYears(int first, int last)
{
    {
        const QSignalBlocker blockFirst(m_first);
        const QSignalBlocker blockLast(m_last);
        m_first->setValue(first);
        m_last->setValue(last);
    }
    yearsChanged();
}

void StatisticsWindow::yearsChanged()
{
    const int first = m_first->value();
    const int last = m_last->value();
    QString message;
    if (first > last)
        message = tr("From %1 is after to %2: the years are counted from %2 to %1.").arg(first).arg(last);
    try {
        count(std::make_pair(first, last));
    } catch (const Error &error) {
        // The figures shown stay those of the years before, and so do the boxes.
        message = error.message();
        const QSignalBlocker blockFirst(m_first);
        const QSignalBlocker blockLast(m_last);
        m_first->setValue(m_figures.firstYear);
        m_last->setValue(m_figures.lastYear);
    }
    m_message->setText(message);
    m_message->setVisible(!message.isEmpty());
}

QString StatisticsWindow::message() const
{
    return m_message->text();
}

void StatisticsWindow::print()
{
    StatisticsDocument document(m_figures, m_counted);
    printDialogs().preview(this, document);
}

}  // namespace kelvara
