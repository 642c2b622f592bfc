#include "DateTimes.h"

#include <cmath>

namespace {

constexpr qint64 MSecsPerDay = 86400000;

// Julian day of 1899-12-30, the origin of TDateTime.
qint64 originJulianDay()
{
    static const qint64 jd = QDate(1899, 12, 30).toJulianDay();
    return jd;
}

template <class Text> int digits(const Text &text, qsizetype from, qsizetype count, bool &ok)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const auto c = int(text[i]);
        if (c < '0' || c > '9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

template <class Text> bool parseText(const Text &text, qsizetype n, TDateTime &result)
{
    if (n != 10 && n != 19 && n != 23)
        return false;
    bool ok = true;
    const int year = digits(text, 0, 4, ok);
    const int month = digits(text, 5, 2, ok);
    const int day = digits(text, 8, 2, ok);
    if (!ok || int(text[4]) != '-' || int(text[7]) != '-' || !QDate::isValid(year, month, day))
        return false;
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (n >= 19) {
        hour = digits(text, 11, 2, ok);
        minute = digits(text, 14, 2, ok);
        second = digits(text, 17, 2, ok);
        if (!ok || (int(text[10]) != ' ' && int(text[10]) != 'T') || int(text[13]) != ':' ||
            int(text[16]) != ':' || hour > 23 || minute > 59 || second > 59)
            return false;
    }
    if (n == 23) {
        msec = digits(text, 20, 3, ok);
        if (!ok || int(text[19]) != '.')
            return false;
    }
    result = TDateTime::FromParts(year, month, day, hour, minute, second, msec);
    return true;
}

} // namespace

TDateTime TDateTime::FromMSecs(qint64 msecs)
{
    // Negative values follow Delphi's rule: the integer part counts days back, the fraction is
    // still the time of day, so -1.25 is 1899-12-29 06:00.
    const qint64 days = msecs >= 0 ? msecs / MSecsPerDay : -((-msecs + MSecsPerDay - 1) / MSecsPerDay);
    const qint64 timeOfDay = msecs - days * MSecsPerDay;
    const double fraction = double(timeOfDay) / double(MSecsPerDay);
    return TDateTime{days >= 0 ? double(days) + fraction : double(days) - fraction};
}

qint64 TDateTime::ToMSecs() const
{
    const double days = std::trunc(Value);
    const double fraction = std::fabs(Value - days);
    const qint64 timeOfDay = qint64(std::llround(fraction * double(MSecsPerDay)));
    return qint64(days) * MSecsPerDay + timeOfDay;
}

TDateTime TDateTime::FromParts(int year, int month, int day, int hour, int minute, int second, int msec)
{
    // An invalid QDate has a sentinel Julian day that the arithmetic below would overflow.
    if (!QDate::isValid(year, month, day))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    const qint64 days = QDate(year, month, day).toJulianDay() - originJulianDay();
    const qint64 time = ((qint64(hour) * 60 + minute) * 60 + second) * 1000 + msec;
    return FromMSecs(days * MSecsPerDay + time);
}

TDateTime TDateTime::FromQDateTime(const QDateTime &dateTime)
{
    const QDateTime local = dateTime.toLocalTime();
    const QTime time = local.time();
    const QDate date = local.date();
    return FromParts(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
                     time.msec());
}

TDateTime TDateTime::Now()
{
    return FromQDateTime(QDateTime::currentDateTime());
}

QDate TDateTime::Date() const
{
    const qint64 msecs = ToMSecs();
    const qint64 days = msecs >= 0 ? msecs / MSecsPerDay : -((-msecs + MSecsPerDay - 1) / MSecsPerDay);
    return QDate::fromJulianDay(originJulianDay() + days);
}

QTime TDateTime::Time() const
{
    const qint64 msecs = ToMSecs();
    qint64 timeOfDay = msecs % MSecsPerDay;
    if (timeOfDay < 0)
        timeOfDay += MSecsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(timeOfDay));
}

QDateTime TDateTime::ToQDateTime() const
{
    return QDateTime(Date(), Time());
}

QByteArray TDateTime::ToTextUtf8() const
{
    // Written by hand: this runs for every date a data set writes, and a formatted print costs
    // more than the database's own work.
    // Days to a civil date by integer arithmetic (H. Hinnant's algorithm): a calendar object per
    // call costs more than the rest of the formatting.
    const qint64 msecs = ToMSecs();
    qint64 days = msecs >= 0 ? msecs / MSecsPerDay : -((-msecs + MSecsPerDay - 1) / MSecsPerDay);
    int timeOfDay = int(msecs - days * MSecsPerDay);
    days += 693899; // 1899-12-30 counted from 0000-03-01
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const int msec = timeOfDay % 1000;
    timeOfDay /= 1000;
    const int second = timeOfDay % 60;
    timeOfDay /= 60;
    const int minute = timeOfDay % 60;
    const int hour = timeOfDay / 60;
    char text[23];
    auto put = [&text](int at, int value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            text[at + i] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    text[4] = '-';
    put(5, month, 2);
    text[7] = '-';
    put(8, day, 2);
    text[10] = ' ';
    put(11, hour, 2);
    text[13] = ':';
    put(14, minute, 2);
    text[16] = ':';
    put(17, second, 2);
    text[19] = '.';
    put(20, msec, 3);
    return QByteArray(text, 23);
}

QString TDateTime::ToText() const
{
    return QString::fromLatin1(ToTextUtf8());
}

bool TDateTime::FromText(QStringView text, TDateTime &result)
{
    struct TUtf16
    {
        QStringView View;
        char16_t operator[](qsizetype i) const { return View[i].unicode(); }
    };
    return parseText(TUtf16{text}, text.size(), result);
}

bool TDateTime::FromText(const char *text, qsizetype size, TDateTime &result)
{
    return parseText(text, size, result);
}
