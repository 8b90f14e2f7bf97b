#pragma once

// Date-time numbers of the chart's X values: days since 30 December 1899 with the time of
// day as the fraction. For days before that date the fraction still counts forward from
// midnight (-1.25 is 29 December 1899, 06:00), as the date-time numbers of the recordings.

#include <QDate>
#include <QString>
#include <QTime>

namespace ChartMath {

struct TDateTimeParts
{
    QDate date;
    QTime time; // rounded to the nearest millisecond
};

TDateTimeParts DecodeDateTime(double value);
double EncodeDateTime(const QDate &date, const QTime &time);

// "hh:mm:ss" and "d.M.yyyy" of a value; seconds are not rounded up, milliseconds are.
QString TimeLabel(double value);
QString DateLabel(double value);
// The bottom axis label "hh:mm:ss d.M.yyyy".
QString DateTimeLabel(double value);

} // namespace ChartMath
