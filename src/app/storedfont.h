#pragma once

#include <QColor>
#include <QFont>
#include <QObject>

namespace kelvara {

// A font as the stored settings name its parts: character set, colour, height, name, pitch, size
// and style. It stands in for a font property and the colour property beside it while they are
// written or read by name, and gives back the font and colour they came to.
class TFontValues : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Charset READ charset CONSTANT)
    Q_PROPERTY(QColor Color READ color WRITE setColor)
    Q_PROPERTY(int Height READ height WRITE setHeight)
    Q_PROPERTY(QString Name READ name WRITE setName)
    Q_PROPERTY(TFontPitch Pitch READ pitch WRITE setPitch)
    Q_PROPERTY(int Size READ size WRITE setSize)
    Q_PROPERTY(TFontStyles Style READ style WRITE setStyle)

public:
    enum TFontPitch { fpDefault, fpVariable, fpFixed };
    Q_ENUM(TFontPitch)
    enum TFontStyle { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
    Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
    Q_FLAG(TFontStyles)

    // The platform's default character set. Qt's fonts are Unicode and carry no set of their own.
    static constexpr int DefaultCharset = 1;

    // Sizes in points and heights in pixels convert at pixelsPerInch.
    TFontValues(const QFont &font, const QColor &color, int pixelsPerInch);

    QFont font() const { return m_font; }

    int charset() const { return DefaultCharset; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    // The character height in pixels, negative as the platform gives it for a font's em height.
    int height() const;
    void setHeight(int height);
    QString name() const { return m_font.family(); }
    void setName(const QString &name);
    TFontPitch pitch() const { return m_font.fixedPitch() ? fpFixed : fpDefault; }
    void setPitch(TFontPitch pitch) { m_font.setFixedPitch(pitch == fpFixed); }
    // In points, rounded.
    int size() const;
    void setSize(int size);
    TFontStyles style() const;
    void setStyle(TFontStyles style);

private:
    QFont m_font;
    QColor m_color;
    int m_pixelsPerInch;
};

}  // namespace kelvara

Q_DECLARE_OPERATORS_FOR_FLAGS(kelvara::TFontValues::TFontStyles)
