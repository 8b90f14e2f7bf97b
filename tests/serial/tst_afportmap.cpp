#include "afportmap.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestAfPortMap : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ini;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        QDir::setCurrent(m_dir.path());
        m_ini = m_dir.filePath(QStringLiteral("ardemo.INI"));
    }

    void lookUp_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("named") << 1 << QByteArray("/dev/ttyUSB0");
        QTest::newRow("key case and blanks") << 2 << QByteArray("/dev/pts/7");
        QTest::newRow("quoted") << 4 << QByteArray("/dev/serial/by-id/usb-FTDI x");
        QTest::newRow("two digits, not COM1") << 10 << QByteArray("/dev/ttyACM0");
        QTest::newRow("empty value: default") << 3 << QByteArray("/dev/ttyS2");
        QTest::newRow("only in another section: default") << 5 << QByteArray("/dev/ttyS4");
        QTest::newRow("commented out: default") << 6 << QByteArray("/dev/ttyS5");
        QTest::newRow("no entry: default") << 15 << QByteArray("/dev/ttyS14");
    }
    void lookUp()
    {
        QFETCH(int, number);
        QFETCH(QByteArray, path);
        // CP1250 text elsewhere in the file must not disturb the ASCII keys.
        QVERIFY(WriteFile(m_ini, "\xEF\xBB\xBF[Setup]\r\nLang=cz\r\nPath=/home/\x9A\xE8\x9D\r\n"
                                 "COM5=/dev/x\r\n"
                                 "\r\n[ports]\r\n"
                                 "COM1=/dev/ttyUSB0\r\n"
                                 "  com2 =  /dev/pts/7  \r\n"
                                 "COM3=\r\n"
                                 "COM4=\"/dev/serial/by-id/usb-FTDI x\"\r\n"
                                 "; COM6=/dev/ttyUSB6\r\n"
                                 "COM10=/dev/ttyACM0\r\n"
                                 "[Other]\r\nCOM15=/dev/nothing\r\n"));
        AfSetPortMapFile(m_ini);
        QCOMPARE(AfPortDevicePath(number), path);
    }

    void readAgainAtEveryOpen()
    {
        QVERIFY(WriteFile(m_ini, "[Ports]\nCOM1=/dev/ttyUSB0\n"));
        AfSetPortMapFile(m_ini);
        QCOMPARE(AfPortDevicePath(1), QByteArray("/dev/ttyUSB0"));
        QVERIFY(WriteFile(m_ini, "[Ports]\nCOM1=/dev/ttyUSB1\n"));
        QCOMPARE(AfPortDevicePath(1), QByteArray("/dev/ttyUSB1"));
    }

    void withoutFile()
    {
        AfSetPortMapFile(m_dir.filePath(QStringLiteral("missing.INI")));
        QCOMPARE(AfPortDevicePath(1), QByteArray("/dev/ttyS0"));
        AfSetPortMapFile(QString());
        QCOMPARE(AfPortMapFile(), QString());
        QCOMPARE(AfPortDevicePath(15), QByteArray("/dev/ttyS14"));
    }

    // What the connection dialog shows for a port: the same device the port would open,
    // where it comes from, and whether it is there now.
    void portInfo()
    {
        const QByteArray here = QFile::encodeName(m_dir.filePath(QStringLiteral("tty-here")));
        const QByteArray gone = QFile::encodeName(m_dir.filePath(QStringLiteral("tty-gone")));
        const QByteArray dangling = QFile::encodeName(m_dir.filePath(QStringLiteral("tty-link")));
        QVERIFY(WriteFile(QFile::decodeName(here), ""));
        QFile::remove(QFile::decodeName(gone));
        QVERIFY(QFile::link(QFile::decodeName(gone), QFile::decodeName(dangling)));
        QVERIFY(WriteFile(m_ini, "[Ports]\nCOM1=" + here + "\nCOM2=" + gone + "\nCOM3=" + dangling +
                                     "\n"));
        AfSetPortMapFile(m_ini);
        for (int n = 1; n <= 15; ++n) {
            const TAfPortInfo info = AfPortInfo(n);
            QCOMPARE(info.Path, AfPortDevicePath(n));
            QCOMPARE(info.Mapped, n <= 3);
            QCOMPARE(info.Present, QFileInfo::exists(QFile::decodeName(info.Path)));
        }
        QVERIFY(AfPortInfo(1).Present);
        QVERIFY(!AfPortInfo(2).Present);
        QVERIFY(!AfPortInfo(3).Present); // a link whose device has gone
        QCOMPARE(AfPortInfo(4).Path, QByteArray("/dev/ttyS3"));

        // The device comes and goes between two looks.
        QVERIFY(QFile::remove(QFile::decodeName(here)));
        QVERIFY(!AfPortInfo(1).Present);
        QVERIFY(WriteFile(QFile::decodeName(gone), ""));
        QVERIFY(AfPortInfo(2).Present);
        QVERIFY(AfPortInfo(3).Present);
    }
};

QTEST_GUILESS_MAIN(TestAfPortMap)
#include "tst_afportmap.moc"
