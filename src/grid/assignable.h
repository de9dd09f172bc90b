#pragma once

#include <QColor>
#include <QFont>

#include <utility>

namespace kelvara {

// A value of a column or title that is either assigned or follows its default. The owner reads
// value() only while it is assigned and asks for its default otherwise, so that the default is
// worked out when it is needed. set and restore say whether anything changed, for the owner to
// repaint or lay out only then.
template <typename T> class Assignable
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
    bool isAssigned() const { return m_value.isAssigned(); }
    const QFont &font() const { return m_value.value().first; }
    const QColor &color() const { return m_value.value().second; }

    bool setFont(const QFont &font, const QColor &defaultColor)
    {
        return m_value.set({font, isAssigned() ? color() : defaultColor});
    }
    bool setColor(const QColor &color, const QFont &defaultFont)
    {
        return m_value.set({isAssigned() ? font() : defaultFont, color});
    }
    bool restore() { return m_value.restore(); }

private:
    Assignable<std::pair<QFont, QColor>> m_value;
};

}  // namespace kelvara
