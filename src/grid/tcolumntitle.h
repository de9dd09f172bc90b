#pragma once

#include "grid/assignable.h"
#include "store/storetypes.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

namespace kelvara {

class TColumn;

// The title of a grid column: caption, font, colour and alignment. Each value is either assigned
// or follows its default (the field's display label, the grid's title font and fixed colour).
class TColumnTitle : public QObject
{
    Q_OBJECT
    Q_PROPERTY(kelvara::Alignment Alignment READ alignment WRITE setAlignment RESET restoreAlignment)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption RESET restoreCaption)
    Q_PROPERTY(QColor Color READ color WRITE setColor RESET restoreColor)
    Q_PROPERTY(QFont Font READ font WRITE setFont RESET restoreFont)
    Q_PROPERTY(QColor FontColor READ fontColor WRITE setFontColor RESET restoreFont)

public:
    explicit TColumnTitle(TColumn *column);

    TColumn *column() const { return m_column; }

    kelvara::Alignment alignment() const;
    void setAlignment(kelvara::Alignment alignment);
    void restoreAlignment();
    bool isAlignmentAssigned() const { return m_alignment.isAssigned(); }

    // The caption, else the field's display label, else the column's field name.
    QString caption() const;
    void setCaption(const QString &caption);
    void restoreCaption();
    bool isCaptionAssigned() const { return m_caption.isAssigned(); }

    QColor color() const;
    void setColor(const QColor &color);
    void restoreColor();
    bool isColorAssigned() const { return m_color.isAssigned(); }

    // Font and font colour are assigned together, as one font.
    QFont font() const;
    void setFont(const QFont &font);
    QColor fontColor() const;
    void setFontColor(const QColor &color);
    void restoreFont();
    bool isFontAssigned() const { return m_font.isAssigned(); }

    QString defaultCaption() const;
    QFont defaultFont() const;
    QColor defaultFontColor() const;
    QColor defaultColor() const;

    void assign(const TColumnTitle &other);
    void restoreDefaults();

private:
    void changed(bool layout);

    TColumn *m_column;
    Assignable<kelvara::Alignment> m_alignment;
    Assignable<QString> m_caption;
    Assignable<QColor> m_color;
    AssignableFont m_font;
};

}  // namespace kelvara
