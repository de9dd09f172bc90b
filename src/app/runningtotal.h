#pragma once

#include <QString>
#include <QtGlobal>

namespace kelvara {

// The running total of minutes kept in "total.txt", and the split of minutes into hours and
// minutes that the time boxes show.
inline const QString kTotalFileName = QStringLiteral("total.txt");

struct HoursMinutes
{
    qint64 hours = 0;
    qint64 minutes = 0;
};

// Truncating division: -90 minutes are -1 hour and -30 minutes.
HoursMinutes splitMinutes(qint64 minutes);

// The texts of the total's hour and minute boxes. The sign stands once, before the hours: a
// total of -5000 minutes reads "-83" and "20", one of -20 minutes "-0" and "20".
struct TotalTexts
{
    QString hours;
    QString minutes;
};
TotalTexts totalTexts(qint64 minutes);

// A time as one text, "14 h 30" (minutes always two digits), the sign before the hours.
QString hoursAndMinutesText(qint64 minutes);

// What the status bar says of the shown jobs: "12 of 20,017 jobs, 14 h 30" while a find or a
// query narrows them, "20,017 jobs, 2,345 h 10" otherwise. Counts are grouped by thousands as
// the program's texts are written.
QString shownJobsText(qint64 shown, qint64 stored, bool narrowed, qint64 minutes);

// The value of a total line: leading blanks skipped, an optional sign, then digits up to the
// first character that cannot continue them. A sign followed by anything but digits to the end
// of the line is not applied; a line without digits reads as 0.
qint64 parseTotalLine(const QString &line);

// Reads the first line of the file; fails when the file is missing, unreadable or holds no line.
qint64 readTotalFile(const QString &fileName = kTotalFileName);

// Replaces the file with the one line holding the total.
void writeTotalFile(qint64 minutes, const QString &fileName = kTotalFileName);

}  // namespace kelvara
