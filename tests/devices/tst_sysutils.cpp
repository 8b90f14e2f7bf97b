#include "errorof.h"
#include "sysutils.h"

#include <QLocale>
#include <QTest>

class TstSysUtils : public QObject
{
    Q_OBJECT
private slots:
    void strToInt_data();
    void strToInt();
    void generalFormat();
    void wholeFormats();
    void dateTimeNumber();
    void tickSourceWraps();
};

void TstSysUtils::strToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "120" << true << 120;
    QTest::newRow("leading blanks") << "  7" << true << 7;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("plus") << "+5" << true << 5;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("0x hex") << "0x10" << true << 16;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("trailing blank") << "2 " << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("too large") << "2147483648" << false << 0;
    QTest::newRow("smallest") << "-2147483648" << true << INT32_MIN;
}

void TstSysUtils::strToInt()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    if (ok) {
        QCOMPARE(StrToInt(text), value);
    } else {
        QCOMPARE(ErrorOf<EConvertError>([&] { StrToInt(text); }),
                 QStringLiteral("'%1' is not a valid integer value").arg(text));
        QCOMPARE(StrToIntDef(text, 42), 42);
    }
}

void TstSysUtils::generalFormat()
{
    QLocale::setDefault(QLocale(QLocale::Czech));
    QCOMPARE(FloatToStrGeneral(0), QStringLiteral("0"));
    QCOMPARE(FloatToStrGeneral(250), QStringLiteral("250"));
    QCOMPARE(FloatToStrGeneral(-5), QStringLiteral("-5"));
    QCOMPARE(FloatToStrGeneral(1.5), QStringLiteral("1,5"));
    QCOMPARE(FloatToStrGeneral(46000.25), QStringLiteral("46000,25"));
    QCOMPARE(FloatToStrGeneral(1234567), QStringLiteral("1234567")); // no group separator
    QLocale::setDefault(QLocale(QLocale::English));
    QCOMPARE(FloatToStrGeneral(1.5), QStringLiteral("1.5"));
    QCOMPARE(FloatToStrGeneral(0.1 + 0.2), QStringLiteral("0.3")); // 15 digits, shortest
}

void TstSysUtils::wholeFormats()
{
    QCOMPARE(FormatWhole(12.0, 3), QStringLiteral("012"));
    QCOMPARE(FormatWhole(12.5, 3), QStringLiteral("013"));
    QCOMPARE(FormatWhole(-12.5, 3), QStringLiteral("-013"));
    QCOMPARE(FormatWhole(1000, 3), QStringLiteral("1000"));
    QCOMPARE(FormatWhole(-1, 3), QStringLiteral("-001"));
    QCOMPARE(FormatWhole(0.4, 1), QStringLiteral("0"));
    QCOMPARE(FormatWhole(1.7, 1), QStringLiteral("2"));
    bool ok = true;
    QCOMPARE(StrToFloatDot(QStringLiteral("012"), &ok), 12.0);
    QVERIFY(ok);
    StrToFloatDot(QStringLiteral("1,5"), &ok);
    QVERIFY(!ok);
    StrToFloatDot(QString(), &ok);
    QVERIFY(!ok);
    StrToFloatDot(QStringLiteral("?1?"), &ok);
    QVERIFY(!ok);
}

void TstSysUtils::dateTimeNumber()
{
    const QDateTime t(QDate(2026, 12, 6), QTime(12, 0));
    const double v = DateTimeToNumber(t);
    QCOMPARE(v, double(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 6))) + 0.5);
    QCOMPARE(NumberToDateTime(v), t);
    QCOMPARE(DateTimeToNumber(QDateTime(QDate(1899, 12, 31), QTime(6, 0))), 1.25);
}

void TstSysUtils::tickSourceWraps()
{
    uint32_t now = 0xFFFFFFF0u;
    SetTickSource([&now] { return now; });
    const uint32_t start = GetTickCount();
    now += 0x20; // wraps past 2^32
    QCOMPARE(uint32_t(GetTickCount() - start), 0x20u);
    SetTickSource({});
}

QTEST_GUILESS_MAIN(TstSysUtils)
#include "tst_sysutils.moc"
