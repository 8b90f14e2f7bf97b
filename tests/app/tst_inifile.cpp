// The settings file's reader and writer: lines it does not own survive byte for byte.

#include "cp1250.h"
#include "errorof.h"
#include "inifile.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("t.INI"));
        QFile::remove(m_file);
    }

    void replaceSection_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("keys"); // key=value
        QTest::addColumn<QByteArray>("after");
        const QByteArray setup = "[Setup]\r\nLang=en\r\n;note\r\n[Ports]\r\nCOM1=/dev/x\r\n";
        QTest::newRow("added at the end")
            << setup << QStringList{"Slot1=A,1,5,#FF8000,1", "Slot3=B,2,0,#000000,0"}
            << setup + "\r\n[Sources]\r\nSlot1=A,1,5,#FF8000,1\r\nSlot3=B,2,0,#000000,0\r\n";
        QTest::newRow("nothing to add leaves the file") << setup << QStringList{} << setup;
        QTest::newRow("keys replaced, comments and neighbours kept")
            << QByteArray("[Setup]\nLang=en\n[sources]\n; mine\nSlot1=A,1,5,#FF8000,1\n"
                          "Slot9=A,1,6,#FF8000,1\n\n[Ports]\nCOM1=\x9A\n")
            << QStringList{"Slot2=C,3,1,#00FF00,1"}
            << QByteArray("[Setup]\r\nLang=en\r\n[sources]\r\nSlot2=C,3,1,#00FF00,1\r\n; "
                          "mine\r\n\r\n[Ports]\r\nCOM1=\x9A\r\n");
        QTest::newRow("emptied, both parts")
            << QByteArray("[Sources]\r\nSlot1=A,1,5,#FF8000,1\r\n[Setup]\r\nLang=en\r\n"
                          "[Sources]\r\nSlot2=A,1,6,#FF8000,1\r\n")
            << QStringList{} << QByteArray("[Sources]\r\n[Setup]\r\nLang=en\r\n[Sources]\r\n");
    }
    void replaceSection()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, after);
        QVERIFY(WriteFile(m_file, before));
        std::vector<std::pair<QString, QString>> pairs;
        for (const QString &k : keys)
            pairs.emplace_back(k.section('=', 0, 0), k.section('=', 1));
        TIniFile ini(m_file);
        ini.ReplaceSection(QStringLiteral("Sources"), pairs);
        QCOMPARE(ReadFile(m_file), after);
        // What was written reads back as it was given.
        std::vector<std::pair<QString, QString>> back = ini.ReadSection(QStringLiteral("Sources"));
        QCOMPARE(back, pairs);
    }

    void codePageBothWays()
    {
        const QString czech = QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy");
        const QByteArray bytes = ToCp1250(czech);
        QCOMPARE(bytes.size(), czech.size());          // one byte per character
        QCOMPARE(uint8_t(bytes.at(1)), uint8_t(0xF8)); // ř
        QCOMPARE(FromCp1250(bytes), czech);
        // What the code page lacks becomes "?"; the bytes it leaves undefined survive a
        // read and a write unchanged.
        QCOMPARE(ToCp1250(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
        const QByteArray undefined("\x81\x83\x88\x90\x98", 5);
        QCOMPARE(FromCp1250(undefined), QStringLiteral("\u0081\u0083\u0088\u0090\u0098"));
        QCOMPARE(ToCp1250(FromCp1250(undefined)), undefined);
    }

    void readsValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("[Setup]\r\nLang=en\r\n") << "en";
        QTest::newRow("case of names") << QByteArray("[SETUP]\nlang=en\n") << "en";
        QTest::newRow("blanks") << QByteArray("  [ Setup ]  \n  Lang =  en  \n") << "en";
        QTest::newRow("quotes") << QByteArray("[Setup]\nLang=\"e n\"\n") << "e n";
        QTest::newRow("empty value") << QByteArray("[Setup]\nLang=\n") << "";
        QTest::newRow("other section") << QByteArray("[Other]\nLang=en\n") << "def";
        QTest::newRow("first of two") << QByteArray("[Setup]\nLang=en\nLang=cz\n") << "en";
        QTest::newRow("comment") << QByteArray("[Setup]\n;Lang=en\n") << "def";
        QTest::newRow("cp1250") << QByteArray("[Setup]\nLang=\xE8\x9A\n") << "čš";
        QTest::newRow("no line end") << QByteArray("[Setup]\nLang=en") << "en";
        QTest::newRow("next section ends it")
            << QByteArray("[Setup]\nX=1\n[Ports]\nLang=en\n") << "def";
        QTest::newRow("apostrophes") << QByteArray("[Setup]\nLang='e n'\n") << "e n";
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBF[Setup]\r\nLang=en\r\n") << "en";
        QTest::newRow("section again later")
            << QByteArray("[Setup]\nX=1\n[Ports]\nLang=cz\n[setup]\nLang=en\n") << "en";
        QTest::newRow("first of two sections")
            << QByteArray("[Setup]\nLang=en\n[Setup]\nLang=cz\n") << "en";
        QTest::newRow("header without bracket") << QByteArray("[Setup\nLang=en\n") << "en";
        QTest::newRow("no-break space is no blank")
            << QByteArray("[Setup]\nLang= en\xA0\n") << QStringLiteral("en\u00A0");
    }
    void readsValues()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QVERIFY(WriteFile(m_file, content));
        QCOMPARE(TIniFile(m_file).ReadString("Setup", "Lang", "def"), expected);
    }

    // A section written twice: a key is replaced where it stands, a new one goes into the
    // first part, and both read back.
    void repeatedSectionWritten()
    {
        QVERIFY(WriteFile(m_file, "\xEF\xBB\xBF[Setup]\r\nMaxX=10\r\n\r\n[Ports]\r\nCOM1=/dev/a\r\n"
                                  "[Setup]\r\nLang=cz\r\n"));
        TIniFile ini(m_file);
        ini.WriteString("Setup", "Lang", "en");
        ini.WriteInteger("Setup", "MaxY", 40);
        QCOMPARE(
            ReadFile(m_file),
            QByteArray("\xEF\xBB\xBF[Setup]\r\nMaxX=10\r\nMaxY=40\r\n\r\n[Ports]\r\nCOM1=/dev/a\r\n"
                       "[Setup]\r\nLang=en\r\n"));
        QCOMPARE(ini.ReadString("Setup", "Lang", "def"), QStringLiteral("en"));
        QCOMPARE(ini.ReadInteger("Setup", "MaxY", 0), 40);
        QCOMPARE(ini.ReadInteger("Setup", "MaxX", 0), 10);
    }

    void longValueIsCut()
    {
        QVERIFY(WriteFile(m_file, "[Setup]\nPath=" + QByteArray(3000, 'x') + "\n"));
        QCOMPARE(TIniFile(m_file).ReadString("Setup", "Path", {}).size(), TIniFile::MaxValueLength);
    }

    void missingFileGivesDefaultsAndIsCreatedOnWrite()
    {
        TIniFile ini(m_file);
        QCOMPARE(ini.ReadInteger("Setup", "MaxY", 300), 300);
        QVERIFY(!ini.ValueExists("Setup", "MaxY"));
        ini.WriteInteger("Setup", "MaxY", 42);
        QCOMPARE(ReadFile(m_file), QByteArray("[Setup]\r\nMaxY=42\r\n"));
    }

    void writeKeepsEverythingElse()
    {
        const QByteArray before = "; made by hand\r\n"
                                  "[Ports]\r\n"
                                  "COM1=/dev/ttyUSB0\r\n"
                                  "\r\n"
                                  "[Setup]\r\n"
                                  "Extra = keep me\r\n"
                                  "lang=cz\r\n"
                                  "\r\n"
                                  "[Tail]\r\n"
                                  "x=1\r\n";
        QVERIFY(WriteFile(m_file, before));
        TIniFile ini(m_file);
        ini.WriteString("Setup", "Lang", "en");   // replaced in place, spelling kept
        ini.WriteString("Setup", "Path", "/tmp"); // added after the section's last key
        ini.WriteString("New", "K", "v");         // new section at the end
        QCOMPARE(ReadFile(m_file), QByteArray("; made by hand\r\n"
                                              "[Ports]\r\n"
                                              "COM1=/dev/ttyUSB0\r\n"
                                              "\r\n"
                                              "[Setup]\r\n"
                                              "Extra = keep me\r\n"
                                              "lang=en\r\n"
                                              "Path=/tmp\r\n"
                                              "\r\n"
                                              "[Tail]\r\n"
                                              "x=1\r\n"
                                              "\r\n"
                                              "[New]\r\n"
                                              "K=v\r\n"));
    }

    // What is written reads back as it was, whatever blanks, quotes or code-page bytes it
    // holds; the line shows how it is stored.
    void writtenValueReadsBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << "/home/me/a.prg" << QByteArray("Path=/home/me/a.prg");
        QTest::newRow("inner quotes") << "a\"b'c" << QByteArray("Path=a\"b'c");
        QTest::newRow("one quote") << "\"a" << QByteArray("Path=\"a");
        QTest::newRow("enclosed in quotes") << "\"a\"" << QByteArray("Path=\"\"a\"\"");
        QTest::newRow("enclosed in apostrophes") << "'a'" << QByteArray("Path=\"'a'\"");
        QTest::newRow("trailing blank") << "/tmp/a.prg " << QByteArray("Path=\"/tmp/a.prg \"");
        QTest::newRow("leading blank") << " a" << QByteArray("Path=\" a\"");
        QTest::newRow("only blanks") << "  " << QByteArray("Path=\"  \"");
        QTest::newRow("empty") << "" << QByteArray("Path=");
        QTest::newRow("undefined byte") << QStringLiteral("/ho\u0081e")
                                        << QByteArray("Path=/ho\x81"
                                                      "e");
    }
    void writtenValueReadsBack()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        TIniFile ini(m_file);
        ini.WriteString("Setup", "Path", value);
        QCOMPARE(ReadFile(m_file), "[Setup]\r\n" + line + "\r\n");
        QCOMPARE(ini.ReadString("Setup", "Path", "def"), value);
    }

    void binaryLinesSurvive()
    {
        QByteArray junk;
        for (int i = 0; i < 256; ++i)
            if (i != '\n' && i != '\r')
                junk += char(i);
        QVERIFY(WriteFile(m_file, junk + "\n[Setup]\nMaxX=0x10\n" + junk + "=" + junk + "\n"));
        TIniFile ini(m_file);
        QCOMPARE(ini.ReadInteger("Setup", "MaxX", 0), 16);
        ini.WriteInteger("Setup", "MaxX", 17);
        QCOMPARE(ReadFile(m_file),
                 junk + "\r\n[Setup]\r\nMaxX=17\r\n" + junk + "=" + junk + "\r\n");
    }

    void unwritableFileRaisesAndKeepsContent()
    {
        // Running as the superuser makes permission bits useless here: a folder stands in
        // the file's place instead.
        const QString blocked = m_dir.filePath(QStringLiteral("blocked.INI"));
        QVERIFY(QDir().mkpath(blocked));
        TIniFile ini(blocked);
        QCOMPARE(ErrorOf<EIniFileException>([&] { ini.WriteString("Setup", "Lang", "en"); }),
                 QStringLiteral("Unable to write to ") + blocked);
        QVERIFY(QFileInfo(blocked).isDir());
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
