#include "datetimelabel.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <limits>

using namespace ChartMath;

class TstDateTimeLabel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void encodeKnownDays_data();
    void encodeKnownDays();
    void label_data();
    void label();
    void roundTrip();
};

void TstDateTimeLabel::encodeKnownDays_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("value");
    QTest::newRow("day zero") << QDate(1899, 12, 30) << QTime(0, 0) << 0.0;
    QTest::newRow("noon of day zero") << QDate(1899, 12, 30) << QTime(12, 0) << 0.5;
    QTest::newRow("1 January 1900") << QDate(1900, 1, 1) << QTime(0, 0) << 2.0;
    QTest::newRow("2000") << QDate(2000, 1, 1) << QTime(18, 0) << 36526.75;
    QTest::newRow("2024") << QDate(2024, 3, 18) << QTime(6, 0) << 45369.25;
    QTest::newRow("day before, time counts forward") << QDate(1899, 12, 29) << QTime(6, 0) << -1.25;
}

void TstDateTimeLabel::encodeKnownDays()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(double, value);
    QCOMPARE(EncodeDateTime(date, time), value);
    const TDateTimeParts p = DecodeDateTime(value);
    QCOMPARE(p.date, date);
    QCOMPARE(p.time, time);
}

void TstDateTimeLabel::label_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    const double tick = EncodeDateTime(QDate(2024, 3, 18), QTime(10, 15, 5));
    QTest::newRow("plain") << EncodeDateTime(QDate(2024, 3, 18), QTime(10, 15, 7))
                           << "10:15:07 18.3.2024";
    QTest::newRow("no leading zeros in the date")
        << EncodeDateTime(QDate(2000, 1, 1), QTime(0, 0)) << "00:00:00 1.1.2000";
    QTest::newRow("two-digit day and month")
        << EncodeDateTime(QDate(2023, 12, 24), QTime(23, 59, 59)) << "23:59:59 24.12.2023";
    QTest::newRow("tick a hair early") << tick - 1e-10 << "10:15:05 18.3.2024";
    QTest::newRow("tick a hair late") << tick + 1e-10 << "10:15:05 18.3.2024";
    QTest::newRow("seconds not rounded up")
        << EncodeDateTime(QDate(2024, 3, 18), QTime(10, 15, 5, 700)) << "10:15:05 18.3.2024";
    QTest::newRow("midnight reached by rounding")
        << EncodeDateTime(QDate(2024, 3, 18), QTime(0, 0)) - 1e-10 << "00:00:00 18.3.2024";
    QTest::newRow("before day zero") << -1.25 << "06:00:00 29.12.1899";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << QString();
}

void TstDateTimeLabel::label()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(DateTimeLabel(value), text);
    if (!text.isEmpty()) {
        QCOMPARE(TimeLabel(value), text.section(' ', 0, 0));
        QCOMPARE(DateLabel(value), text.section(' ', 1, 1));
    }
}

void TstDateTimeLabel::roundTrip()
{
    QRandomGenerator rng(42);
    for (int i = 0; i < 2000; ++i) {
        const double v = rng.bounded(70000.0);
        const TDateTimeParts p = DecodeDateTime(v);
        QVERIFY(p.date.isValid());
        QVERIFY(p.time.isValid());
        const double back = EncodeDateTime(p.date, p.time);
        QVERIFY2(std::fabs(back - v) * 86400000.0 <= 0.5 + 1e-3, qPrintable(QString::number(v)));
    }
}

QTEST_GUILESS_MAIN(TstDateTimeLabel)
#include "tst_datetimelabel.moc"
