// Loading and saving the four settings, with the chart controls they feed.

#include "afportmap.h"
#include "chartpage.h"
#include "controls.h"
#include "cp1250.h"
#include "forms.h"
#include "global.h"
#include "settings.h"
#include "tchart.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    TFormMainBase *m_form = nullptr;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        m_file = m_dir.filePath(QStringLiteral("ardemo.INI"));
        QFile::remove(m_file);
        SetSettingsFileName(m_file);
        // Only the controls the settings reach, with the ranges of the chart page.
        m_form = new TFormMainBase;
        m_form->Graf = new TChart(m_form);
        m_form->MaxX = new TEdit(m_form);
        m_form->UpDownX = new TUpDown(m_form);
        m_form->UpDownX->SetAssociate(m_form->MaxX);
        m_form->UpDownX->SetRange(5, 300);
        m_form->MaxU = new TEdit(m_form);
        m_form->UpDownY = new TUpDown(m_form);
        m_form->UpDownY->SetAssociate(m_form->MaxU);
        m_form->UpDownY->SetRange(1, 1000);
        m_form->UpDownY->OnChanging = UpDownYChanging; // as the chart page wires it
        FormMain = m_form;
        LangCode = QStringLiteral("??");
        ProgramPath = QStringLiteral("??");
        ChartWindow = -1;
    }

    void cleanup()
    {
        FormMain = nullptr;
        delete m_form;
        IniFile.reset();
        SetSettingsFileName(QString());
    }

    void fileNameRule_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("settings");
        QTest::newRow("no extension") << "/opt/ardemo/ardemo"
                                      << "/opt/ardemo/ardemo.INI";
        QTest::newRow("three letters") << "/x/name.exe"
                                       << "/x/name.INI";
        QTest::newRow("two letters") << "/x/prog.ex"
                                     << "/x/progINI";
        QTest::newRow("four letters") << "/x/prog.binx"
                                      << "/x/prog.bINI";
        QTest::newRow("dot in folder only") << "/a.b/ardemo"
                                            << "/a.b/ardemo.INI";
        QTest::newRow("hidden file") << "/x/.ardemo"
                                     << "/x/.ardemo.INI";
    }
    void fileNameRule()
    {
        QFETCH(QString, program);
        QFETCH(QString, settings);
        QCOMPARE(SettingsFileFor(program), settings);
    }

    void noFileGivesDefaultsAndSaveCreatesIt()
    {
        LoadSettings();
        QCOMPARE(LangCode, QStringLiteral("cz"));
        QCOMPARE(ProgramPath, QDir::homePath() + QLatin1Char('/'));
        QCOMPARE(ChartWindow, 120);
        QCOMPARE(m_form->UpDownX->Position(), 120);
        QCOMPARE(m_form->UpDownY->Position(), 300);
        QCOMPARE(m_form->Graf->LeftAxisMax(), 300.0);
        QVERIFY(!QFile::exists(m_file)); // reading creates nothing
        QVERIFY(IniFile);
        QCOMPARE(AfPortMapFile(), m_file);

        SaveSettings();
        QVERIFY(!IniFile);
        QCOMPARE(ReadFile(m_file), QByteArray("[Setup]\r\nLang=cz\r\nPath=") +
                                       ToCp1250(ProgramPath) + "\r\nMaxX=120\r\nMaxY=300\r\n");
    }

    void roundTrip()
    {
        LoadSettings();
        LangCode = QStringLiteral("en");
        ProgramPath = QStringLiteral("/data/programy/zkouška.prg");
        ChartWindow = 45;
        m_form->UpDownY->SetPosition(75);
        SaveSettings();

        LangCode.clear();
        ProgramPath.clear();
        ChartWindow = 0;
        m_form->UpDownY->SetPosition(1);
        LoadSettings();
        QCOMPARE(LangCode, QStringLiteral("en"));
        QCOMPARE(ProgramPath, QStringLiteral("/data/programy/zkouška.prg"));
        QCOMPARE(ChartWindow, 45);
        QCOMPARE(m_form->UpDownX->Position(), 45);
        QCOMPARE(m_form->UpDownY->Position(), 75);
        QCOMPARE(m_form->Graf->LeftAxisMax(), 75.0);
        // The path in CP1250 (š is 0x9A).
        QVERIFY(ReadFile(m_file).contains("Path=/data/programy/zkou\x9Aka.prg\r\n"));
    }

    void unknownSectionsAndKeysKept()
    {
        const QByteArray head = "; Ardemo\r\n[Ports]\r\nCOM1=/tmp/sim/COM1\r\n\r\n";
        QVERIFY(WriteFile(m_file, head + "[Setup]\r\nLang=en\r\nOwn=1\r\n"));
        LoadSettings();
        QCOMPARE(AfPortDevicePath(1), QByteArray("/tmp/sim/COM1"));
        SaveSettings();
        QCOMPARE(ReadFile(m_file),
                 head + "[Setup]\r\nLang=en\r\nOwn=1\r\nPath=" + ToCp1250(QDir::homePath()) +
                     "/\r\nMaxX=120\r\nMaxY=300\r\n");
    }

    void integerValues_data()
    {
        QTest::addColumn<QByteArray>("maxX");
        QTest::addColumn<QByteArray>("maxY");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("upDownX");
        QTest::addColumn<int>("axis");
        QTest::newRow("decimal") << QByteArray("60") << QByteArray("50") << 60 << 60 << 50;
        QTest::newRow("hex") << QByteArray("0x3C") << QByteArray("0X1f4") << 60 << 60 << 500;
        QTest::newRow("not numbers") << QByteArray("abc") << QByteArray("1,5") << 120 << 120 << 300;
        QTest::newRow("empty") << QByteArray("") << QByteArray("") << 120 << 120 << 300;
        QTest::newRow("bad hex, too big")
            << QByteArray("0xZZ") << QByteArray("99999999999") << 120 << 120 << 300;
        // The up-downs keep their ranges; the axis takes what its up-down holds.
        QTest::newRow("beyond ranges") << QByteArray("2") << QByteArray("5000") << 2 << 5 << 1000;
        // The time window reaches its up-down as a 16-bit value: 65596 wraps to 60.
        QTest::newRow("16-bit") << QByteArray("65596") << QByteArray("300") << 65596 << 60 << 300;
    }
    void integerValues()
    {
        QFETCH(QByteArray, maxX);
        QFETCH(QByteArray, maxY);
        QFETCH(int, window);
        QFETCH(int, upDownX);
        QFETCH(int, axis);
        QVERIFY(WriteFile(m_file, "[Setup]\r\nMaxX=" + maxX + "\r\nMaxY=" + maxY + "\r\n"));
        LoadSettings();
        QCOMPARE(ChartWindow, window);
        QCOMPARE(m_form->UpDownX->Position(), upDownX);
        QCOMPARE(m_form->UpDownY->Position(), axis);
        QCOMPARE(m_form->Graf->LeftAxisMax(), double(axis));
    }

    void garbageFileLoadsWhatItCan()
    {
        QByteArray junk(4096, '\0');
        // Every byte but the line ends, which the file keeps as CR LF.
        for (int i = 0; i < junk.size(); ++i) {
            const int b = (i * 7919 + 13) % 251;
            junk[i] = char(b == '\n' || b == '\r' ? 0x7F : b);
        }
        const QByteArray content = junk + "\r\n[Setup]\r\nLang=en\r\nMaxX=\xff\xfe\r\n" + junk;
        QVERIFY(WriteFile(m_file, content));
        LoadSettings();
        QCOMPARE(LangCode, QStringLiteral("en"));
        QCOMPARE(ChartWindow, 120);
        QCOMPARE(m_form->UpDownY->Position(), 300);
        SaveSettings();
        // The junk is still there, untouched; the keys are readable again.
        const QByteArray after = ReadFile(m_file);
        QVERIFY(after.startsWith(junk));
        QVERIFY(after.contains("[Setup]\r\nLang=en\r\nMaxX=120\r\n"));
        LoadSettings();
        QCOMPARE(ChartWindow, 120);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
