#include "datetimelabel.h"

#include <cmath>

namespace ChartMath {

namespace {
const QDate Epoch(1899, 12, 30);
constexpr qint64 MsPerDay = 86400000;
} // namespace

TDateTimeParts DecodeDateTime(double value)
{
    TDateTimeParts parts;
    if (!std::isfinite(value))
        return parts;
    const double day = std::trunc(value);
    // Rounding to the millisecond keeps a tick computed as 12:00:04.9999999 on 12:00:05.
    qint64 ms = std::llround(std::fabs(value - day) * double(MsPerDay));
    QDate date = Epoch.addDays(qint64(day));
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        date = date.addDays(1);
    }
    parts.date = date;
    parts.time = QTime::fromMSecsSinceStartOfDay(int(ms));
    return parts;
}

double EncodeDateTime(const QDate &date, const QTime &time)
{
    const double days = double(Epoch.daysTo(date));
    const double frac = double(time.msecsSinceStartOfDay()) / double(MsPerDay);
    return days >= 0 ? days + frac : days - frac;
}

QString TimeLabel(double value)
{
    const QTime t = DecodeDateTime(value).time;
    if (!t.isValid())
        return QString();
    return QString::asprintf("%02d:%02d:%02d", t.hour(), t.minute(), t.second());
}

QString DateLabel(double value)
{
    const QDate d = DecodeDateTime(value).date;
    if (!d.isValid())
        return QString();
    return QString::asprintf("%d.%d.%04d", d.day(), d.month(), d.year());
}

QString DateTimeLabel(double value)
{
    const TDateTimeParts p = DecodeDateTime(value);
    if (!p.date.isValid())
        return QString();
    return TimeLabel(value) + QLatin1Char(' ') + DateLabel(value);
}

} // namespace ChartMath
