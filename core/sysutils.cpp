#include "sysutils.h"

#include "services.h"

#include <QLocale>
#include <chrono>
#include <cmath>

int32_t StrToInt(const QString &text)
{
    const auto fail = [&text]() -> int32_t {
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    };
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool neg = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        neg = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return fail();
    int64_t v = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return fail();
        v = v * base + digit;
        if (v > (int64_t(1) << 32))
            return fail();
    }
    if (base == 16 && !neg) {
        if (v > 0xFFFFFFFFLL)
            return fail();
        return int32_t(uint32_t(v)); // hexadecimal may give the full 32-bit pattern
    }
    if (neg)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return fail();
    return int32_t(v);
}

int32_t StrToIntDef(const QString &text, int32_t def)
{
    try {
        return StrToInt(text);
    } catch (const EConvertError &) {
        return def;
    }
}

double StrToFloatDot(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    bool good = !t.isEmpty();
    double v = 0;
    if (good) {
        // Only plain decimal forms: digits, one point, an optional exponent and sign.
        for (QChar c : t)
            if (!(c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
                  c == QLatin1Char('+') || c == QLatin1Char('e') || c == QLatin1Char('E')))
                good = false;
        if (good)
            v = QLocale::c().toDouble(t, &good);
    }
    if (ok)
        *ok = good && std::isfinite(v);
    return good && std::isfinite(v) ? v : 0;
}

QString FloatToStrGeneral(double v)
{
    if (v == 0)
        return QStringLiteral("0");
    QString s = QString::number(v, 'g', 15);
    if (s.contains(QLatin1Char('e'))) {
        // Keep the exponent form, as the general format does for very large or small values.
        s = s.toUpper();
    }
    const QString sep = QLocale().decimalPoint();
    if (sep != QLatin1String("."))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

int64_t RoundHalfAway(double v)
{
    return int64_t(std::llround(v));
}

QString FormatWhole(double v, int digits)
{
    const int64_t r = RoundHalfAway(v);
    const QString body = QString::number(r < 0 ? -r : r).rightJustified(digits, QLatin1Char('0'));
    return r < 0 ? QLatin1Char('-') + body : body;
}

uint32_t GetTickCount()
{
    if (Services().Tick)
        return Services().Tick();
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetTickSource(std::function<uint32_t()> source)
{
    Services().Tick = std::move(source);
}

QDateTime CurrentDateTime()
{
    if (Services().Clock)
        return Services().Clock();
    return QDateTime::currentDateTime();
}

void SetClockSource(std::function<QDateTime()> source)
{
    Services().Clock = std::move(source);
}

bool ClockIsSystem()
{
    return !Services().Clock;
}

double DateTimeToNumber(const QDateTime &t)
{
    static const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(t.date());
    const double frac = t.time().msecsSinceStartOfDay() / 86400000.0;
    return double(days) + frac;
}

QDateTime NumberToDateTime(double v)
{
    static const QDate epoch(1899, 12, 30);
    const double d = std::floor(v);
    const int ms = int(std::llround((v - d) * 86400000.0));
    return QDateTime(epoch.addDays(qint64(d)), QTime(0, 0).addMSecs(qMin(ms, 86399999)));
}
