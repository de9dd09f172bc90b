#pragma once

#include <QColor>
#include <QFont>

namespace kelvara {

// A value of a column or title that is either assigned or follows its default. The owner reads
// value() only while it is assigned and asks for its default otherwise, so that the default is
// worked out when it is needed. set and restore say whether anything changed, for the owner to
// repaint or lay out only then.
template <typename T>
class Assignable
{
public:
    bool isAssigned() const { return m_assigned; }
    const T &value() const { return m_value; }

    bool set(const T &value)
    {
        if (m_assigned && value == m_value)
            return false;
        m_value = value;
        m_assigned = true;
        return true;
    }

    // The value is kept but no longer used.
    bool restore()
    {
        if (!m_assigned)
            return false;
        m_assigned = false;
        return true;
    }

private:
    T m_value{};
    bool m_assigned = false;
};

// A font and its colour, assigned together as one font: assigning either fixes the other at its
// default of that moment, and restoring lets both follow their defaults again.
class AssignableFont
{
public:
    bool isAssigned() const { return m_assigned; }
    const QFont &font() const { return m_font; }
    const QColor &color() const { return m_color; }

    bool setFont(const QFont &font, const QColor &defaultColor)
    {
        if (m_assigned && font == m_font)
            return false;
        if (!m_assigned)
            m_color = defaultColor;
        m_font = font;
        m_assigned = true;
        return true;
    }

    bool setColor(const QColor &color, const QFont &defaultFont)
    {
        if (m_assigned && color == m_color)
            return false;
        if (!m_assigned)
            m_font = defaultFont;
        m_color = color;
        m_assigned = true;
        return true;
    }

    bool restore()
    {
        if (!m_assigned)
            return false;
        m_assigned = false;
        return true;
    }

private:
    QFont m_font;
    QColor m_color;
    bool m_assigned = false;
};

} // namespace kelvara
