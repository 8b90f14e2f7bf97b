#include "axisticks.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace ChartMath {

double NiceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double base = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / base;
    // The tolerance keeps 0.2 (stored as 0.2000000000000001) from jumping to 0.5.
    const double tol = 1e-9;
    if (m <= 1 + tol)
        return base;
    if (m <= 2 + tol)
        return 2 * base;
    if (m <= 5 + tol)
        return 5 * base;
    return 10 * base;
}

int MaxTicks(double lengthPx, double spacingPx)
{
    if (!(spacingPx > 0) || !(lengthPx > 0))
        return 1;
    return std::max(1, int(std::floor(lengthPx / spacingPx)));
}

double ValueStep(double span, int maxIntervals)
{
    return NiceStep(span / std::max(1, maxIntervals));
}

double TimeStepSeconds(double spanSeconds, int maxIntervals)
{
    static const double ladder[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                    600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    const double raw = spanSeconds / std::max(1, maxIntervals);
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    for (double s : ladder)
        if (raw <= s * (1 + 1e-9))
            return s;
    return NiceStep(raw / SecondsPerDay) * SecondsPerDay;
}

QVector<double> TickPositions(double min, double max, double step, int maxCount)
{
    QVector<double> out;
    if (!(step > 0) || !(max >= min) || !std::isfinite(min) || !std::isfinite(max))
        return out;
    const double eps = step * 1e-7;
    const double first = std::ceil((min - eps) / step);
    const double last = std::floor((max + eps) / step);
    for (double k = first; k <= last && out.size() < maxCount; k += 1)
        out.append(k * step);
    return out;
}

QVector<double> TimeTicks(double minDays, double maxDays, double stepSeconds)
{
    QVector<double> out =
        TickPositions(minDays * SecondsPerDay, maxDays * SecondsPerDay, stepSeconds);
    for (double &v : out)
        v /= SecondsPerDay;
    return out;
}

int StepDecimals(double step)
{
    if (!(step > 0) || step >= 1 - 1e-9)
        return 0;
    return int(std::ceil(-std::log10(step) - 1e-9));
}

QString ValueLabel(double v, int decimals)
{
    if (std::fabs(v) < 1e-12)
        v = 0; // no "-0" from a tick computed as -0.0000000001
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(v, 'f', std::clamp(decimals, 0, 15));
}

} // namespace ChartMath
