#include "cp1250.h"

#include <QStringList>
#include <QTest>

class TstCp1250 : public QObject
{
    Q_OBJECT
private slots:
    void czechLettersHaveTheirBytes_data();
    void czechLettersHaveTheirBytes();
    void wholeAlphabetRoundTrips();
    void everyByteRoundTrips();
    void foreignCharactersBecomeQuestionMarks();
    void linesEndWithCrLf();
};

void TstCp1250::czechLettersHaveTheirBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("c caron") << QStringLiteral("č") << QByteArray("\xE8");
    QTest::newRow("S caron") << QStringLiteral("Š") << QByteArray("\x8A");
    QTest::newRow("u ring") << QStringLiteral("ů") << QByteArray("\xF9");
    QTest::newRow("e caron") << QStringLiteral("ě") << QByteArray("\xEC");
    QTest::newRow("euro") << QStringLiteral("€") << QByteArray("\x80");
    QTest::newRow("r caron") << QStringLiteral("ř") << QByteArray("\xF8");
    QTest::newRow("z caron") << QStringLiteral("ž") << QByteArray("\x9E");
    QTest::newRow("s caron") << QStringLiteral("š") << QByteArray("\x9A");
    QTest::newRow("y acute") << QStringLiteral("ý") << QByteArray("\xFD");
    QTest::newRow("a acute") << QStringLiteral("á") << QByteArray("\xE1");
    QTest::newRow("i acute") << QStringLiteral("í") << QByteArray("\xED");
    QTest::newRow("e acute") << QStringLiteral("é") << QByteArray("\xE9");
    QTest::newRow("C caron") << QStringLiteral("Č") << QByteArray("\xC8");
    QTest::newRow("R caron") << QStringLiteral("Ř") << QByteArray("\xD8");
    QTest::newRow("Z caron") << QStringLiteral("Ž") << QByteArray("\x8E");
    QTest::newRow("low quote") << QStringLiteral("„") << QByteArray("\x84");
    QTest::newRow("left quote") << QStringLiteral("“") << QByteArray("\x93");
    QTest::newRow("en dash") << QStringLiteral("–") << QByteArray("\x96");
    QTest::newRow("em dash") << QStringLiteral("—") << QByteArray("\x97");
    QTest::newRow("ellipsis") << QStringLiteral("…") << QByteArray("\x85");
    QTest::newRow("no-break space") << QStringLiteral("\u00A0") << QByteArray("\xA0");
    QTest::newRow("dot above, the last byte") << QStringLiteral("˙") << QByteArray("\xFF");
    QTest::newRow("undefined 81") << QStringLiteral("\u0081") << QByteArray("\x81");
    QTest::newRow("undefined 98") << QStringLiteral("\u0098") << QByteArray("\x98");
    QTest::newRow("header") << QStringLiteral("Zdroj č.3 adr.12")
                            << QByteArray("Zdroj \xE8.3 adr.12");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TstCp1250::czechLettersHaveTheirBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ToCp1250(text), bytes);
    QCOMPARE(FromCp1250(bytes), text);
}

void TstCp1250::wholeAlphabetRoundTrips()
{
    const QString letters = QStringLiteral("aábcčdďeéěfghiíjklĺľmnňoóôpqrřsštťuúůvwxyýzž"
                                           "AÁBCČDĎEÉĚFGHIÍJKLĹĽMNŇOÓÔPQRŘSŠTŤUÚŮVWXYÝZŽ"
                                           " 0123456789;.:[]-");
    const QByteArray bytes = ToCp1250(letters);
    QCOMPARE(bytes.size(), letters.size()); // one byte per character, nothing lost
    QCOMPARE(FromCp1250(bytes), letters);
}

// A file's bytes, whatever they are, are written back as they were read.
void TstCp1250::everyByteRoundTrips()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = FromCp1250(all);
    QCOMPARE(text.size(), 256);
    QVERIFY(!text.contains(QChar::ReplacementCharacter));
    QCOMPARE(ToCp1250(text), all);
}

void TstCp1250::foreignCharactersBecomeQuestionMarks()
{
    // Neighbours of characters the page holds, and a control character it leaves out.
    QCOMPARE(ToCp1250(QStringLiteral("\u00C0\u00E0\u0080\u0082\uFFFD")), QByteArray("?????"));
    QCOMPARE(ToCp1250(QStringLiteral("a日b")), QByteArray("a?b"));
    QCOMPARE(ToCp1250(QStringLiteral("Ω1")), QByteArray("?1"));
    // A long text crosses the conversion buffer without loss.
    const QString lng =
        QString(3000, QChar(u'č')) + QStringLiteral("日") + QString(3000, QChar(u'x'));
    const QByteArray b = ToCp1250(lng);
    QCOMPARE(b.size(), 6001);
    QCOMPARE(b.at(3000), '?');
    QCOMPARE(b.count('\xE8'), 3000);
}

void TstCp1250::linesEndWithCrLf()
{
    QCOMPARE(Cp1250Lines({QStringLiteral("Osa X;1"), QStringLiteral("č")}),
             QByteArray("Osa X;1\r\n\xE8\r\n"));
    QCOMPARE(Cp1250Lines({}), QByteArray());
}

QTEST_GUILESS_MAIN(TstCp1250)
#include "tst_cp1250.moc"
