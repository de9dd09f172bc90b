#include "app/findbar.h"

#include "store/textconv.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace kelvara {

namespace {
// What the words box takes: enough for any search, and a pasted page is cut rather than held.
constexpr int kLongestFind = 500;
}  // namespace

FindBar::FindBar(QWidget *parent) : QWidget(parent)
{
    m_words = new QLineEdit;
    m_words->setObjectName(QStringLiteral("FindBox"));
    m_words->setPlaceholderText(QStringLiteral("Find jobs (Ctrl+F)"));
    m_words->setToolTip(QStringLiteral("Jobs in which every word typed starts a word of a name, phone, e-mail, "
                                       "address, list field, the notes or a photo comment"));
    m_words->setMaxLength(kLongestFind);
    m_words->setMinimumWidth(200);
    const QString example = dateToText(QDate(2025, 12, 31));
    auto dateBox = [&](const char *name, const QString &placeholder, const QString &hint) {
        auto *box = new QLineEdit;
        box->setObjectName(QString::fromLatin1(name));
        box->setPlaceholderText(placeholder);
        box->setToolTip(hint.arg(example));
        box->setMaxLength(20);
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(example) + 16);
        return box;
    };
    m_fromBox = dateBox("FindFrom", QStringLiteral("from"), QStringLiteral("Jobs on or after this date, as %1"));
    m_toBox = dateBox("FindTo", QStringLiteral("to"), QStringLiteral("Jobs on or before this date, as %1"));
    m_clear = new QToolButton;
    m_clear->setObjectName(QStringLiteral("FindClear"));
    m_clear->setText(QStringLiteral("\u2715"));
    m_clear->setToolTip(QStringLiteral("Show every job again (Esc)"));
    m_clear->setAutoRaise(true);
    m_clear->setEnabled(false);
    m_state = new QLabel(QStringLiteral("indexing..."));
    m_state->setObjectName(QStringLiteral("FindState"));
    m_state->setToolTip(QStringLiteral("The word index is being brought up to date; finds read every job meanwhile"));
    m_state->hide();

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(4);
    row->addWidget(m_state);
    row->addWidget(m_words);
    row->addWidget(m_fromBox);
    row->addWidget(m_toBox);
    row->addWidget(m_clear);

    connect(m_words, &QLineEdit::textChanged, this, &FindBar::announce);
    connect(m_fromBox, &QLineEdit::textChanged, this, [this] { dateEdited(m_fromBox, &m_from); });
    connect(m_toBox, &QLineEdit::textChanged, this, [this] { dateEdited(m_toBox, &m_to); });
    connect(m_clear, &QToolButton::clicked, this, [this] {
        clear();
        m_words->setFocus();
    });
    for (QLineEdit *box : {m_words, m_fromBox, m_toBox}) {
        box->installEventFilter(this);
        connect(box, &QLineEdit::returnPressed, this, &FindBar::accepted);
    }
}

QString FindBar::words() const
{
    return m_words->text();
}

bool FindBar::isEmpty() const
{
    return m_words->text().isEmpty() && m_fromBox->text().isEmpty() && m_toBox->text().isEmpty();
}

void FindBar::focusWords()
{
    m_words->setFocus(Qt::ShortcutFocusReason);
    m_words->selectAll();
}

void FindBar::clear()
{
    if (isEmpty())
        return;
    m_words->clear();
    m_fromBox->clear();
    m_toBox->clear();
}

void FindBar::setIndexing(bool indexing)
{
    m_state->setVisible(indexing);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !isEmpty()) {
        clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::dateEdited(QLineEdit *box, QDate *bound)
{
    const QString text = box->text().trimmed();
    const std::optional<QDate> date = text.isEmpty() ? std::optional<QDate>(QDate()) : textToDate(text);
    // A date typed halfway is no bound yet; the box says so until it is one.
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, date ? m_words->palette().color(QPalette::Text) : QColor(Qt::red));
    box->setPalette(palette);
    const QDate now = date ? *date : QDate();
    if (now == *bound) {
        m_clear->setEnabled(!isEmpty());
        return;
    }
    *bound = now;
    announce();
}

void FindBar::announce()
{
    m_clear->setEnabled(!isEmpty());
    // Keys typed or pasted in one go are read together: one find for all of them.
    if (m_announcing)
        return;
    m_announcing = true;
    QTimer::singleShot(0, this, [this] {
        m_announcing = false;
        Q_EMIT changed();
    });
}

}  // namespace kelvara
