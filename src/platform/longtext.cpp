#include "platform/longtext.h"

namespace kelvara {

namespace {

// Laying out a run this long at word boundaries takes a few milliseconds; the time grows with
// the square of the run.
constexpr qsizetype kLongestRun = 2000;

}  // namespace

QTextOption::WrapMode wrapModeFor(QStringView text)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        if (c.isSpace()) {
            run = 0;
        } else if (++run > kLongestRun) {
            return QTextOption::WrapAnywhere;
        }
    }
    return QTextOption::WrapAtWordBoundaryOrAnywhere;
}

}  // namespace kelvara
