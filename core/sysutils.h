#pragma once

// Run-time helpers shared by all units: the integer conversion with its error text, the
// general number format, the millisecond tick counter and the wall clock (both replaceable
// in tests), and the date-time number of the recordings and the chart.

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>

// A typed or loaded number that is not an integer.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Optional leading blanks, an optional sign, then decimal digits, or "$" and hexadecimal
// digits; anything else throws EConvertError("'<text>' is not a valid integer value").
int32_t StrToInt(const QString &text);
// As StrToInt, but gives def instead of throwing.
int32_t StrToIntDef(const QString &text, int32_t def);

// Reads a decimal number with the full stop as separator (what the panels' entries and the
// replies use); ok is false for anything else, the empty text included.
double StrToFloatDot(const QString &text, bool *ok);

// The general number format: shortest form up to 15 significant digits, the locale's
// decimal separator, no group separator.
QString FloatToStrGeneral(double v);

// Rounds half away from zero, as the "0", "000" and "##0" formats do.
int64_t RoundHalfAway(double v);
// v rounded and written with at least `digits` digits, a "-" before them when negative.
QString FormatWhole(double v, int digits);

// Millisecond tick counter, unsigned 32-bit with wrap-around.
uint32_t GetTickCount();
void SetTickSource(std::function<uint32_t()> source); // Services().Tick; empty: the real one

// Local wall-clock time.
QDateTime CurrentDateTime();
void SetClockSource(std::function<QDateTime()> source); // Services().Clock; empty: the real one
bool ClockIsSystem(); // no clock source set: CurrentDateTime is the system's clock

// Days since 30 December 1899 local time, the time of day as the fraction.
double DateTimeToNumber(const QDateTime &t);
QDateTime NumberToDateTime(double v);
