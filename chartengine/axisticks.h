#pragma once

// Tick placement for the chart axes: readable steps for volts (1-2-5 x 10^n) and for
// date-time values (whole seconds, minutes, hours and days that a reader counts in).

#include <QString>
#include <QVector>

namespace ChartMath {

constexpr double SecondsPerDay = 86400.0;

// Smallest value of 1, 2 or 5 x 10^n that is not below raw; 1 for a raw step that is not
// a positive number.
double NiceStep(double raw);

// How many intervals fit on an axis of lengthPx when each label needs spacingPx (at least 1).
int MaxTicks(double lengthPx, double spacingPx);

// Step of a value axis spanning span, split into at most maxIntervals intervals.
double ValueStep(double span, int maxIntervals);

// Step in seconds of a date-time axis spanning spanSeconds in at most maxIntervals
// intervals: 1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h;
// then 1, 2, 5 x 10^n days. Never below one second, the finest the labels show.
double TimeStepSeconds(double spanSeconds, int maxIntervals);

// The multiples of step inside [min, max], allowing a hair of rounding at both ends.
// Empty for an empty range or a step that is not positive, and capped at maxCount values.
QVector<double> TickPositions(double min, double max, double step, int maxCount = 1000);

// Ticks of a date-time axis (values in days) at whole multiples of stepSeconds of local
// time, so that a 15 s step falls on :00, :15, :30 and :45.
QVector<double> TimeTicks(double minDays, double maxDays, double stepSeconds);

// Decimals a value label needs so that labels stepped by step differ (0 for whole steps).
int StepDecimals(double step);

// Value axis label in the default locale: its decimal separator, no thousands separator.
QString ValueLabel(double v, int decimals);

} // namespace ChartMath
