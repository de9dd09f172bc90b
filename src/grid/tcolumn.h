#pragma once

#include "grid/assignable.h"
#include "grid/tcolumntitle.h"
#include "store/storetypes.h"

#include <QColor>
#include <QFont>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

namespace kelvara {

class Field;
class TDBGrid;
class TDBGridColumns;

// One column of a data grid: the field it shows and how it shows it. Values that are not
// assigned follow their defaults from the field and the grid, and change with them.
class TColumn : public QObject
{
    Q_OBJECT
    Q_PROPERTY(kelvara::Alignment Alignment READ alignment WRITE setAlignment RESET restoreAlignment)
    Q_PROPERTY(TColumnButtonStyle ButtonStyle READ buttonStyle WRITE setButtonStyle)
    Q_PROPERTY(QColor Color READ ownColor WRITE setColor RESET restoreColor)
    Q_PROPERTY(int DropDownRows READ dropDownRows WRITE setDropDownRows)
    Q_PROPERTY(bool Expanded READ expanded WRITE setExpanded)
    Q_PROPERTY(QString FieldName READ fieldName WRITE setFieldName)
    Q_PROPERTY(QFont Font READ ownFont WRITE setFont RESET restoreFont)
    Q_PROPERTY(QColor FontColor READ ownFontColor WRITE setFontColor RESET restoreFont)
    Q_PROPERTY(TImeMode ImeMode READ imeMode WRITE setImeMode)
    Q_PROPERTY(QString ImeName READ imeName WRITE setImeName)
    Q_PROPERTY(QStringList PickList READ pickList WRITE setPickList)
    Q_PROPERTY(QMenu *PopupMenu READ popupMenu WRITE setPopupMenu)
    Q_PROPERTY(bool ReadOnly READ readOnly WRITE setReadOnly RESET restoreReadOnly)
    Q_PROPERTY(kelvara::TColumnTitle *Title READ title CONSTANT)
    Q_PROPERTY(bool Visible READ visible WRITE setVisible)
    Q_PROPERTY(int Width READ width WRITE setWidth RESET restoreWidth)

public:
    enum TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };
    Q_ENUM(TColumnButtonStyle)
    // The input method wanted while the column is edited. Kept and stored with the column; on
    // this toolkit the desktop chooses the input method, so the editors do not apply it.
    enum TImeMode {
        imDisable,
        imClose,
        imOpen,
        imDontCare,
        imSAlpha,
        imAlpha,
        imHira,
        imSKata,
        imKata,
        imChinese,
        imSHanguel,
        imHanguel
    };
    Q_ENUM(TImeMode)

    explicit TColumn(TDBGridColumns *collection);
    ~TColumn() override;

    TDBGridColumns *collection() const { return m_collection; }
    TDBGrid *grid() const;
    int index() const;
    void setIndex(int index);
    // The field the column shows, from the grid's column-to-field map; nullptr when none.
    Field *field() const;

    kelvara::Alignment alignment() const;
    void setAlignment(kelvara::Alignment alignment);
    void restoreAlignment();
    bool isAlignmentAssigned() const { return m_alignment.isAssigned(); }

    TColumnButtonStyle buttonStyle() const { return m_buttonStyle; }
    void setButtonStyle(TColumnButtonStyle style);

    // The colour, font and font colour the column is drawn in: the locked look while the grid
    // locks the column, its own otherwise.
    QColor color() const;
    void setColor(const QColor &color);
    void restoreColor();
    bool isColorAssigned() const { return m_color.isAssigned(); }

    int dropDownRows() const { return m_dropDownRows; }
    void setDropDownRows(int rows);

    bool expanded() const { return m_expanded; }
    void setExpanded(bool expanded);

    QString fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name);

    // Font and font colour are assigned together, as one font.
    QFont font() const;
    void setFont(const QFont &font);
    QColor fontColor() const;
    void setFontColor(const QColor &color);
    void restoreFont();
    bool isFontAssigned() const { return m_font.isAssigned(); }

    TImeMode imeMode() const { return m_imeMode; }
    void setImeMode(TImeMode mode) { m_imeMode = mode; }
    QString imeName() const { return m_imeName; }
    void setImeName(const QString &name) { m_imeName = name; }

    QStringList pickList() const { return m_pickList; }
    void setPickList(const QStringList &list);

    QMenu *popupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu);

    bool readOnly() const;
    void setReadOnly(bool readOnly);
    void restoreReadOnly();
    bool isReadOnlyAssigned() const { return m_readOnly.isAssigned(); }

    TColumnTitle *title() const { return m_title.get(); }

    // The column's own look, which its properties give and the settings keep: never the look it
    // is drawn in while locked.
    QColor ownColor() const;
    QFont ownFont() const;
    QColor ownFontColor() const;
    // The look of a locked column, drawn over its own until it is taken away again.
    struct LockedLook
    {
        QFont font;
        QColor fontColor;
        QColor color;
        bool operator==(const LockedLook &other) const
        {
            return font == other.font && fontColor == other.fontColor && color == other.color;
        }
    };
    void setLockedLook(const std::optional<LockedLook> &look);
    bool isLocked() const { return m_lockedLook.has_value(); }

    bool visible() const { return m_visible; }
    void setVisible(bool visible);

    // -1 while the column is hidden.
    int width() const;
    void setWidth(int width);
    void restoreWidth();
    bool isWidthAssigned() const { return m_width.isAssigned(); }

    // From the field's display width in the column's font, and the title's width with titles shown.
    int defaultWidth() const;
    kelvara::Alignment defaultAlignment() const;
    QColor defaultColor() const;
    QFont defaultFont() const;
    QColor defaultFontColor() const;
    bool defaultReadOnly() const;

    void assign(const TColumn &other);
    void restoreDefaults();

private:
    friend class TColumnTitle;
    friend class TDBGrid;
    friend class TDBGridColumns;
    enum class Change { Layout, Width, Paint, None };
    void changed(Change change);

    TDBGridColumns *m_collection;
    std::unique_ptr<TColumnTitle> m_title;
    QString m_fieldName;
    Assignable<kelvara::Alignment> m_alignment;
    TColumnButtonStyle m_buttonStyle = cbsAuto;
    Assignable<QColor> m_color;
    int m_dropDownRows = 7;
    bool m_expanded = true;
    AssignableFont m_font;
    TImeMode m_imeMode = imDontCare;
    QString m_imeName;
    QStringList m_pickList;
    QPointer<QMenu> m_popupMenu;
    Assignable<bool> m_readOnly;
    bool m_visible = true;
    Assignable<int> m_width;
    std::optional<LockedLook> m_lockedLook;
};

}  // namespace kelvara
