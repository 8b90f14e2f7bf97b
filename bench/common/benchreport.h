#pragma once

// Figures of a benchmark, printed as they come and, when ARDEMO_BENCH_OUT names a file,
// appended to it as one tab-separated line each: goal, figure, value, unit, bound, verdict.
// scripts/bench.sh gathers those lines into its table and its JSON.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Bench {

// Compared with the bound: below it passes, or above it for a "min" bound; a figure
// without a bound is information.
enum class Bound { None, Max, Min };

inline void Report(const char *goal, const QString &figure, double value, const char *unit,
                   Bound kind = Bound::None, double bound = 0)
{
    const bool pass = kind == Bound::Max ? value < bound : value >= bound;
    const char *verdict = kind == Bound::None ? "info" : pass ? "pass" : "FAIL";
    QString boundText;
    if (kind != Bound::None)
        boundText = QString::fromLatin1(kind == Bound::Max ? "< %1" : ">= %1").arg(bound);
    std::printf("  [%s] %-58s %10.3f %-6s %-10s %s\n", goal, qPrintable(figure), value, unit,
                qPrintable(boundText), verdict);
    std::fflush(stdout);
    const QByteArray path = qgetenv("ARDEMO_BENCH_OUT");
    if (path.isEmpty())
        return;
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::Append | QIODevice::Text))
        return;
    QString clean = figure;
    clean.replace(QLatin1Char('\t'), QLatin1Char(' '));
    f.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                .arg(QLatin1String(goal), clean, QString::number(value, 'f', 3),
                     QLatin1String(unit), boundText, QLatin1String(verdict))
                .toUtf8());
}

// The q-quantile (0..1) of the samples, nearest rank.
inline double Quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(std::ceil(q * double(v.size()))) - (q > 0));
    return v[i];
}

inline double Median(const std::vector<double> &v)
{
    return Quantile(v, 0.5);
}

} // namespace Bench
