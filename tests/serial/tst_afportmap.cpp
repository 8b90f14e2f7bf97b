#include "afportmap.h"
#include "cp1250.h"
#include "inifile.h"
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

    // A file as a technician may leave it, read for one port: the port opens the device the
    // settings reader finds in [Ports], and the settings beside it read as well.
    void sameAnswerAsTheSettingsReader_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("number");
        QTest::addColumn<QByteArray>("path");
        const QByteArray setup = "[Setup]\nLang=en\n";
        QTest::newRow("byte order mark")
            << "\xEF\xBB\xBF" + setup + "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"
            << 1 << QByteArray("/dev/ttyUSB0");
        QTest::newRow("mark in front of the section")
            << setup + "\xEF\xBB\xBF[Ports]\nCOM1=/dev/ttyUSB0\n"
            << 1 << QByteArray("/dev/ttyUSB0");
        QTest::newRow("repeated section, key in the second")
            << "[Ports]\nCOM1=/dev/ttyUSB0\n" + setup + "[Ports]\nCOM2=/dev/ttyACM0\n"
            << 2 << QByteArray("/dev/ttyACM0");
        QTest::newRow("repeated key: the first counts")
            << "[Ports]\nCOM1=/dev/ttyUSB0\n" + setup + "[ports]\nCOM1=/dev/ttyUSB9\n"
            << 1 << QByteArray("/dev/ttyUSB0");
        QTest::newRow("lower-case key and section") << setup + "[ports]\ncom3=/dev/ttyUSB3\n"
                                                    << 3 << QByteArray("/dev/ttyUSB3");
        QTest::newRow("quoted path") << setup + "[Ports]\nCOM3=\"/dev/ttyACM0\"\n"
                                     << 3 << QByteArray("/dev/ttyACM0");
        QTest::newRow("path in apostrophes") << setup + "[Ports]\nCOM3='/dev/ttyACM0'\n"
                                             << 3 << QByteArray("/dev/ttyACM0");
        QTest::newRow("comment lines")
            << setup + "[Ports]\n; COM1=/dev/old\n# COM1=/dev/older\nCOM1=/dev/ttyUSB1\n"
            << 1 << QByteArray("/dev/ttyUSB1");
        QTest::newRow("LF ends, no last line end")
            << setup + "[Ports]\nCOM2=/dev/pts/4" << 2 << QByteArray("/dev/pts/4");
        QTest::newRow("header without its bracket") << setup + "[Ports\nCOM5=/dev/ttyUSB5\n"
                                                    << 5 << QByteArray("/dev/ttyUSB5");
        // A name in UTF-8 or in the code page: the bytes go to the system as they stand, the
        // last byte of a UTF-8 "à" (a no-break space in the code page) included.
        QTest::newRow("bytes beyond ASCII")
            << setup + "[Ports]\nCOM6=/dev/serial/by-id/usb-Zdroj_\xE8\xC4\x8D\xC3\xA0\n"
            << 6 << QByteArray("/dev/serial/by-id/usb-Zdroj_\xE8\xC4\x8D\xC3\xA0");
    }
    void sameAnswerAsTheSettingsReader()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, number);
        QFETCH(QByteArray, path);
        QVERIFY(WriteFile(m_ini, content));
        AfSetPortMapFile(m_ini);
        QCOMPARE(AfPortDevicePath(number), path);
        const TIniFile ini(m_ini);
        const QString key = QStringLiteral("COM%1").arg(number);
        const QByteArray value = ToCp1250(ini.ReadString("Ports", key, QString()));
        QCOMPARE(value.isEmpty() ? "/dev/ttyS" + QByteArray::number(number - 1) : value, path);
        QCOMPARE(AfPortInfo(number).Mapped, !value.isEmpty());
        QCOMPARE(ini.ReadString("Setup", "Lang", "def"), QStringLiteral("en"));
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
