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

void TstCp1250::foreignCharactersBecomeQuestionMarks()
{
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
