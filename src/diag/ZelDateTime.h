#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

// Local date-times counted in days from 1899-12-30, the time of day as the
// fraction, kept to the millisecond. This unit is the one place where they meet
// QDateTime, and where date-time texts are written and read back.
using TDateTime = double;

namespace zel {

inline constexpr TDateTime OneHour = 1.0 / 24.0;
inline constexpr TDateTime OneMinute = 1.0 / 1440.0;
inline constexpr TDateTime OneSecond = 1.0 / 86400.0;

// Rounds a date-time to the nearest millisecond (after arithmetic).
TDateTime RoundToMs(TDateTime value);

TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second = 0, int msec = 0);
TDateTime ToDateTime(const QDateTime &value);
TDateTime ToDateTime(const QDate &value);
QDateTime ToQDateTime(TDateTime value);
QDate ToQDate(TDateTime value);

// The current local date and time, from any thread. Tests replace the clock
// through SetClock; an empty function restores the system clock.
TDateTime Now();
void SetClock(std::function<QDateTime()> clock);

// Format settings used by every date-time text of the program: the short date
// pattern (Qt form) and the time pattern. The date pattern defaults to the
// system's short date with the year forced to four digits, so that a text
// written today reads back as the same year.
struct FormatSettings
{
    QLocale locale;
    QString shortDateFormat;
    QString shortTimeFormat;
    QString longTimeFormat;
    // The program's own month names (12), used for the "MMMM" part of the
    // date pattern (empty: the locale's), and day letters (7, Sunday first)
    // for the calendar's headings.
    QStringList longMonthNames;
    QStringList shortDayNames;
};

FormatSettings &Formats();
// The system short date pattern with any one- or two-digit year made "yyyy".
QString FourDigitYearPattern(const QString &pattern);

QString DateToStr(TDateTime value);
// Short date, a blank and the short time; the date alone at midnight exactly.
QString DateTimeToStr(TDateTime value);
// Reads a text written by DateTimeToStr (or a date alone) back; raises
// EConvertError when it is not a valid date-time in the current formats.
TDateTime StrToDateTime(const QString &text);
bool TryStrToDateTime(const QString &text, TDateTime &value);

// A text between single quotes with every quote inside it doubled: a literal
// of a filter text or of a date-time format pattern.
QString QuotedStr(const QString &text);

} // namespace zel
