#pragma once

#include "SysUtils.h"

#include <QDateTime>
#include <QString>

// A point in local time as the number of days since 1899-12-30, the fraction being the time of day.
// Catalogue times have no time zone (they are what the disk's directory entries say), so they are
// kept as plain local values. Comparing two of them compares the instants they name, to the
// millisecond: the numbers themselves do not order times of a day before 1899-12-30, where -1.25
// (06:00) is greater than -1.75 (18:00).
struct TDateTime
{
    double Value = 0.0;

    // Raises EConvertError for a date that does not exist; the time parts carry over (minute 60 is
    // the next hour).
    static TDateTime FromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                               int msec = 0);
    static TDateTime FromQDateTime(const QDateTime &dateTime);
    // Parses "YYYY-MM-DD HH:MM:SS.zzz", "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD"; false when the text
    // is not one of them or names no real date.
    static bool FromText(QStringView text, TDateTime &result);
    static bool FromText(const char *text, qsizetype size, TDateTime &result);
    static TDateTime Now();

    QDateTime ToQDateTime() const;
    QDate Date() const;
    QTime Time() const;
    // "YYYY-MM-DD HH:MM:SS.zzz": the form stored in the catalogue, which sorts in time order.
    QString ToText() const;
    QByteArray ToTextUtf8() const;
    // Whole milliseconds since 1899-12-30 00:00, rounded: the exact form behind ToText().
    qint64 ToMSecs() const;
    static TDateTime FromMSecs(qint64 msecs);

    friend bool operator==(TDateTime a, TDateTime b) { return a.ToMSecs() == b.ToMSecs(); }
    friend auto operator<=>(TDateTime a, TDateTime b) { return a.ToMSecs() <=> b.ToMSecs(); }
};
