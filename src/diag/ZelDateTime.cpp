#include "diag/ZelDateTime.h"

#include "diag/ZelException.h"

#include <QRegularExpression>

#include <cmath>
#include <memory>
#include <mutex>

namespace zel {

namespace {

const QDate &Epoch()
{
    static const QDate epoch(1899, 12, 30);
    return epoch;
}

// The clock a test put in place; the check timer's thread reads it too.
struct Clock
{
    std::mutex mutex;
    std::shared_ptr<const std::function<QDateTime()>> function;
};

Clock &ClockFunction()
{
    static Clock clock;
    return clock;
}

constexpr qint64 MsPerDay = 86400000;

} // namespace

TDateTime RoundToMs(TDateTime value)
{
    return std::round(value * double(MsPerDay)) / double(MsPerDay);
}

TDateTime ToDateTime(const QDate &value)
{
    return double(Epoch().daysTo(value));
}

TDateTime ToDateTime(const QDateTime &value)
{
    const QDateTime local = value.toLocalTime();
    const qint64 days = Epoch().daysTo(local.date());
    const qint64 ms = local.time().msecsSinceStartOfDay();
    // Before the epoch the whole days count backwards while the time of day
    // still counts forwards from midnight: 29 Dec 1899 06:00 is -1.25.
    if (days < 0)
        return double(days) - double(ms) / double(MsPerDay);
    return double(days) + double(ms) / double(MsPerDay);
}

QDateTime ToQDateTime(TDateTime value)
{
    // Whole milliseconds since the epoch; the fraction of a negative date-time
    // still counts forwards from midnight, as the stored format has it.
    const qint64 totalMs = qint64(std::llround(value * double(MsPerDay)));
    qint64 days = totalMs / MsPerDay;
    qint64 ms = totalMs % MsPerDay;
    if (ms < 0) {
        // -1.25 is 29 Dec 1899 06:00: days count towards zero, time is positive.
        ms = -ms;
    }
    return QDateTime(Epoch().addDays(days), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QDate ToQDate(TDateTime value)
{
    return ToQDateTime(value).date();
}

TDateTime EncodeDate(int year, int month, int day)
{
    const QDate date(year, month, day);
    if (!date.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return ToDateTime(date);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const QTime time(hour, minute, second, msec);
    if (!time.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return EncodeDate(year, month, day) + double(time.msecsSinceStartOfDay()) / double(MsPerDay);
}

TDateTime Now()
{
    std::shared_ptr<const std::function<QDateTime()>> function;
    {
        Clock &clock = ClockFunction();
        const std::lock_guard lock(clock.mutex);
        function = clock.function;
    }
    return RoundToMs(ToDateTime(function && *function ? (*function)() : QDateTime::currentDateTime()));
}

void SetClock(std::function<QDateTime()> clock)
{
    auto function = clock ? std::make_shared<const std::function<QDateTime()>>(std::move(clock)) : nullptr;
    Clock &c = ClockFunction();
    const std::lock_guard lock(c.mutex);
    c.function = std::move(function);
}

QString FourDigitYearPattern(const QString &pattern)
{
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)y{1,2}(?!y)"));
    QString result = pattern;
    result.replace(shortYear, QStringLiteral("yyyy"));
    return result;
}

FormatSettings &Formats()
{
    static FormatSettings settings = [] {
        FormatSettings s;
        s.locale = QLocale::system();
        s.shortDateFormat = FourDigitYearPattern(s.locale.dateFormat(QLocale::ShortFormat));
        s.shortTimeFormat = s.locale.timeFormat(QLocale::ShortFormat);
        s.longTimeFormat = s.locale.timeFormat(QLocale::LongFormat);
        return s;
    }();
    return settings;
}

QString QuotedStr(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

namespace {

// The date pattern with the program's month names put in.
QString DatePattern(const FormatSettings &f, const QDate &date)
{
    QString pattern = f.shortDateFormat;
    if (f.longMonthNames.size() == 12 && pattern.contains(QLatin1String("MMMM")))
        pattern.replace(QStringLiteral("MMMM"), QuotedStr(f.longMonthNames[date.month() - 1]));
    return pattern;
}

// A text written with the program's month names, turned back into numbers.
void UnnameMonths(const FormatSettings &f, QString &text, QString &pattern)
{
    if (f.longMonthNames.size() != 12 || !pattern.contains(QLatin1String("MMMM")))
        return;
    for (int m = 11; m >= 0; --m) {
        if (text.contains(f.longMonthNames[m], Qt::CaseInsensitive)) {
            text.replace(f.longMonthNames[m], QString::number(m + 1), Qt::CaseInsensitive);
            pattern.replace(QStringLiteral("MMMM"), QStringLiteral("M"));
            return;
        }
    }
}

// A text with the locale's digits made ASCII digits. Date-time texts are
// written and read with ASCII digits whatever the locale: Qt cannot read back
// the digits of some locales (those outside the first 65,536 characters, such
// as Chakma's or Adlam's), and a filter whose date cannot be read back would
// stop the due check. The rest of the pattern (separators, month names, the
// order) stays the locale's.
QString AsciiDigits(const QLocale &locale, const QString &text)
{
    const QString zero = locale.zeroDigit();
    if (zero == QLatin1String("0"))
        return text;
    const char32_t first = zero.size() == 2 ? QChar::surrogateToUcs4(zero.at(0), zero.at(1)) : zero.at(0).unicode();
    QString result;
    result.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c >= first && c <= first + 9)
            result.append(QChar(char16_t(u'0' + (c - first))));
        else
            result.append(QString::fromUcs4(&c, 1));
    }
    return result;
}

} // namespace

QString DateToStr(TDateTime value)
{
    const FormatSettings &f = Formats();
    const QDate date = ToQDate(value);
    return AsciiDigits(f.locale, f.locale.toString(date, DatePattern(f, date)));
}

QString DateTimeToStr(TDateTime value)
{
    const FormatSettings &f = Formats();
    const QDateTime dt = ToQDateTime(value);
    const QString date = f.locale.toString(dt.date(), DatePattern(f, dt.date()));
    if (dt.time().msecsSinceStartOfDay() == 0)
        return AsciiDigits(f.locale, date);
    return AsciiDigits(f.locale, date + QLatin1Char(' ') + f.locale.toString(dt.time(), f.shortTimeFormat));
}

bool TryStrToDateTime(const QString &text, TDateTime &value)
{
    const FormatSettings &f = Formats();
    // The locale's own digits are read too (a text typed by the user).
    QString trimmed = AsciiDigits(f.locale, text.trimmed());
    QString datePattern = f.shortDateFormat;
    UnnameMonths(f, trimmed, datePattern);
    const QDate dateOnly = f.locale.toDate(trimmed, datePattern);
    if (dateOnly.isValid()) {
        value = ToDateTime(dateOnly);
        return true;
    }
    // The date pattern may itself hold blanks (e.g. "d MMM yyyy"): split the
    // text where the time begins, after as many blanks as the pattern holds.
    const int dateBlanks = int(datePattern.count(QLatin1Char(' ')));
    int split = -1;
    int from = 0;
    for (int i = 0; i <= dateBlanks; ++i) {
        split = int(trimmed.indexOf(QLatin1Char(' '), from));
        if (split < 0)
            return false;
        from = split + 1;
    }
    const QDate date = f.locale.toDate(trimmed.left(split), datePattern);
    const QString timeText = trimmed.mid(split + 1).trimmed();
    QTime time = f.locale.toTime(timeText, f.shortTimeFormat);
    if (!time.isValid())
        time = f.locale.toTime(timeText, f.longTimeFormat);
    if (!date.isValid() || !time.isValid())
        return false;
    value = ToDateTime(date) + double(time.msecsSinceStartOfDay()) / double(MsPerDay);
    return true;
}

TDateTime StrToDateTime(const QString &text)
{
    TDateTime value = 0;
    if (!TryStrToDateTime(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(text));
    return value;
}

} // namespace zel
