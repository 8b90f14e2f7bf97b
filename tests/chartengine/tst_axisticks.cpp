#include "axisticks.h"
#include "datetimelabel.h"

#include <QLocale>
#include <QTest>
#include <cmath>
#include <limits>

using namespace ChartMath;

class TstAxisTicks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void niceStep_data();
    void niceStep();
    void niceStepIsOneTwoFiveNotBelowRaw();
    void timeStep_data();
    void timeStep();
    void tickPositions_data();
    void tickPositions();
    void timeTicksFallOnWholeSteps();
    void stepDecimals_data();
    void stepDecimals();
    void valueLabel_data();
    void valueLabel();
};

void TstAxisTicks::niceStep_data()
{
    QTest::addColumn<double>("raw");
    QTest::addColumn<double>("step");
    QTest::newRow("below one") << 0.7 << 1.0;
    QTest::newRow("exactly one") << 1.0 << 1.0;
    QTest::newRow("just above one") << 1.01 << 2.0;
    QTest::newRow("two") << 2.0 << 2.0;
    QTest::newRow("above two") << 2.2 << 5.0;
    QTest::newRow("five") << 5.0 << 5.0;
    QTest::newRow("above five") << 5.5 << 10.0;
    QTest::newRow("tens of volts") << 37.5 << 50.0;
    QTest::newRow("hundreds") << 130.0 << 200.0;
    QTest::newRow("hundredths") << 0.013 << 0.02;
    QTest::newRow("two tenths with rounding") << 0.1 * 2 << 0.2;
    QTest::newRow("zero") << 0.0 << 1.0;
    QTest::newRow("negative") << -3.0 << 1.0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 1.0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 1.0;
}

void TstAxisTicks::niceStep()
{
    QFETCH(double, raw);
    QFETCH(double, step);
    QCOMPARE(NiceStep(raw), step);
}

void TstAxisTicks::niceStepIsOneTwoFiveNotBelowRaw()
{
    for (double raw = 1e-4; raw < 1e5; raw *= 1.07) {
        const double s = NiceStep(raw);
        QVERIFY2(s >= raw * (1 - 1e-12), qPrintable(QString::number(raw)));
        QVERIFY2(s <= raw * 2.5 + 1e-12, qPrintable(QString::number(raw)));
        const double mantissa = s / std::pow(10.0, std::floor(std::log10(s) + 1e-9));
        QVERIFY2(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                     std::fabs(mantissa - 5) < 1e-9,
                 qPrintable(QString::number(s)));
    }
}

void TstAxisTicks::timeStep_data()
{
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("intervals");
    QTest::addColumn<double>("step");
    QTest::newRow("two minutes in twelve") << 120.0 << 12 << 10.0;
    QTest::newRow("two minutes in eight") << 120.0 << 8 << 15.0;
    QTest::newRow("two minutes in seven") << 120.0 << 7 << 30.0;
    QTest::newRow("plenty of room") << 60.0 << 100 << 1.0;
    QTest::newRow("under a second") << 0.5 << 10 << 1.0;
    QTest::newRow("five minutes in four") << 300.0 << 4 << 120.0;
    QTest::newRow("an hour in ten") << 3600.0 << 10 << 600.0;
    QTest::newRow("an hour in three") << 3600.0 << 3 << 1800.0;
    QTest::newRow("a day in five") << 86400.0 << 5 << 21600.0;
    QTest::newRow("three days in ten") << 3 * 86400.0 << 10 << 43200.0;
    QTest::newRow("a month in six") << 30 * 86400.0 << 6 << 5 * 86400.0;
    QTest::newRow("a month in four") << 30 * 86400.0 << 4 << 10 * 86400.0;
    QTest::newRow("no room") << 120.0 << 0 << 120.0;
}

void TstAxisTicks::timeStep()
{
    QFETCH(double, span);
    QFETCH(int, intervals);
    QFETCH(double, step);
    QCOMPARE(TimeStepSeconds(span, intervals), step);
}

void TstAxisTicks::tickPositions_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<QList<double>>("ticks");
    QTest::newRow("volts") << 0.0 << 300.0 << 50.0 << QList<double>{0, 50, 100, 150, 200, 250, 300};
    QTest::newRow("inner range") << 0.1 << 0.95 << 0.2 << QList<double>{0.2, 0.4, 0.6, 0.8};
    QTest::newRow("end kept despite rounding")
        << 0.0 << 0.3 << 0.1 << QList<double>{0, 0.1, 0.2, 0.3};
    QTest::newRow("negative") << -25.0 << 10.0 << 10.0 << QList<double>{-20, -10, 0, 10};
    QTest::newRow("no multiple inside") << 1.0 << 4.0 << 5.0 << QList<double>{};
    QTest::newRow("zero step") << 0.0 << 10.0 << 0.0 << QList<double>{};
    QTest::newRow("reversed range") << 10.0 << 0.0 << 1.0 << QList<double>{};
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 1.0 << 0.1
                                  << QList<double>{};
}

void TstAxisTicks::tickPositions()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, step);
    QFETCH(QList<double>, ticks);
    const QVector<double> got = TickPositions(min, max, step);
    QCOMPARE(got.size(), ticks.size());
    for (int i = 0; i < ticks.size(); ++i)
        QVERIFY2(std::fabs(got[i] - ticks[i]) < 1e-9, qPrintable(QString::number(got[i])));
    // A runaway range is cut short instead of filling memory.
    QCOMPARE(TickPositions(0, 1e12, 1, 50).size(), 50);
}

void TstAxisTicks::timeTicksFallOnWholeSteps()
{
    const QDate day(2024, 3, 18);
    const double from = EncodeDateTime(day, QTime(10, 15, 7));
    const double to = EncodeDateTime(day, QTime(10, 16, 2));
    QStringList labels;
    for (double t : TimeTicks(from, to, 15))
        labels << DateTimeLabel(t);
    QCOMPARE(labels, QStringList({"10:15:15 18.3.2024", "10:15:30 18.3.2024", "10:15:45 18.3.2024",
                                  "10:16:00 18.3.2024"}));
    // Hours over midnight, in local time.
    labels.clear();
    for (double t : TimeTicks(EncodeDateTime(day, QTime(20, 30)),
                              EncodeDateTime(day.addDays(1), QTime(5, 0)), 6 * 3600))
        labels << DateTimeLabel(t);
    QCOMPARE(labels, QStringList({"00:00:00 19.3.2024"}));
}

void TstAxisTicks::stepDecimals_data()
{
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("1") << 1.0 << 0;
    QTest::newRow("5") << 5.0 << 0;
    QTest::newRow("100") << 100.0 << 0;
    QTest::newRow("0.5") << 0.5 << 1;
    QTest::newRow("0.2") << 0.2 << 1;
    QTest::newRow("0.1") << 0.1 << 1;
    QTest::newRow("0.05") << 0.05 << 2;
    QTest::newRow("0.01") << 0.01 << 2;
    QTest::newRow("0.002") << 0.002 << 3;
    QTest::newRow("zero") << 0.0 << 0;
}

void TstAxisTicks::stepDecimals()
{
    QFETCH(double, step);
    QFETCH(int, decimals);
    QCOMPARE(StepDecimals(step), decimals);
}

void TstAxisTicks::valueLabel_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << "C" << 250.0 << 0 << "250";
    QTest::newRow("no thousands separator") << "C" << 1000.0 << 0 << "1000";
    QTest::newRow("tenths") << "C" << 0.5 << 1 << "0.5";
    QTest::newRow("rounding left over from the step") << "C" << 0.30000000000000004 << 1 << "0.3";
    QTest::newRow("no minus zero") << "C" << -1e-15 << 1 << "0.0";
    QTest::newRow("negative") << "C" << -20.0 << 0 << "-20";
    QTest::newRow("Czech comma") << "cs_CZ" << 2.5 << 1 << "2,5";
    QTest::newRow("Czech, no thousands space") << "cs_CZ" << 1500.0 << 0 << "1500";
}

void TstAxisTicks::valueLabel()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    const QString got = ValueLabel(value, decimals);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(got, text);
}

QTEST_GUILESS_MAIN(TstAxisTicks)
#include "tst_axisticks.moc"
