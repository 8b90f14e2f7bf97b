#include "errorof.h"
#include "progfile.h"
#include "sysutils.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>

class TstProgFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void zeroTableWritesIndexedZeroLines();
    void roundTrip();
    void indexFieldIsIgnored();
    void malformedLine_data();
    void malformedLine();
    void shortAndLongFiles();
    void unreadableFile();
    void stepNumberBound_data();
    void stepNumberBound();
    void lineEnds();
    void unwritableSaveIsReported();
    void failedSaveKeepsEarlierFile();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void writeFile(const QString &name, const QByteArray &text) const;
    // A valid file whose line i reads i/3i/10i/i+1.
    static QByteArray validFile(int lines = ProgramSize);

    QTemporaryDir m_dir;
};

void TstProgFile::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TstProgFile::init()
{
    std::fill(std::begin(EditSteps), std::end(EditSteps), ProgramStep{});
}

void TstProgFile::writeFile(const QString &name, const QByteArray &text) const
{
    QFile f(path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray TstProgFile::validFile(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i) + '/' + QByteArray::number(i * 3) + '/' +
                QByteArray::number(i * 10) + '/' + QByteArray::number((i + 1) % 256) + "\r\n";
    return text;
}

void TstProgFile::zeroTableWritesIndexedZeroLines()
{
    SaveProgramFile(path("zero.prg"));
    QFile f(path("zero.prg"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (int i = 0; i < ProgramSize; ++i)
        expected += QByteArray::number(i) + "/0/0/0\r\n";
    QCOMPARE(f.readAll(), expected);
}

void TstProgFile::roundTrip()
{
    VoltageProgram p;
    for (int i = 0; i < ProgramSize; ++i)
        p[i] = ProgramStep{i % 7 - 3, double(i * 11 - 900), (i * 37) % 256};
    p[0] = {-5, 42, 0};
    p[1] = {10, 100, 2};
    p[3] = {INT32_MAX, -2147483648.0, 255};
    p[4] = {INT32_MIN, 2147483647.0, 1};
    std::copy(std::begin(p), std::end(p), std::begin(EditSteps));
    SaveProgramFile(path("rt.prg"));
    std::fill(std::begin(EditSteps), std::end(EditSteps), ProgramStep{9, 9, 9});
    LoadProgramFile(path("rt.prg"));
    for (int i = 0; i < ProgramSize; ++i) {
        QCOMPARE(EditSteps[i].Time, p[i].Time);
        QCOMPARE(EditSteps[i].U, p[i].U);
        QCOMPARE(EditSteps[i].Next, p[i].Next);
    }
    QFile f(path("rt.prg"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readLine(), QByteArray("0/-5/42/0\r\n"));
    QCOMPARE(f.readLine(), QByteArray("1/10/100/2\r\n"));
}

void TstProgFile::indexFieldIsIgnored()
{
    QByteArray text = validFile();
    QList<QByteArray> lines = text.split('\n');
    lines[7] = "99/15/120/8\r";
    lines[9] = "abc/1/2/3\r";
    writeFile("idx.prg", lines.join('\n'));
    LoadProgramFile(path("idx.prg"));
    QCOMPARE(EditSteps[7].Time, 15);
    QCOMPARE(EditSteps[7].U, 120.0);
    QCOMPARE(EditSteps[7].Next, 8);
    QCOMPARE(EditSteps[9].Time, 1);
    QCOMPARE(EditSteps[9].Next, 3);
    QCOMPARE(EditSteps[8].Time, 24);
}

void TstProgFile::malformedLine_data()
{
    QTest::addColumn<QByteArray>("line"); // replaces the second line (entry 1)
    QTest::addColumn<QString>("message");
    QTest::newRow("three fields") << QByteArray("1/10/100") << "'' is not a valid integer value";
    QTest::newRow("trailing blank in Next")
        << QByteArray("1/10/100/2 ") << "'2 ' is not a valid integer value";
    QTest::newRow("decimal voltage")
        << QByteArray("1/10/1.5/2") << "'1.5' is not a valid integer value";
    QTest::newRow("empty line") << QByteArray("") << "'' is not a valid integer value";
    QTest::newRow("letters in Time") << QByteArray("1/x/5/2") << "'x' is not a valid integer value";
    QTest::newRow("extra field joins Next")
        << QByteArray("1/10/100/2/7") << "'2/7' is not a valid integer value";
    QTest::newRow("Time beyond 32 bits")
        << QByteArray("1/2147483648/0/0") << "'2147483648' is not a valid integer value";
}

void TstProgFile::malformedLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, message);
    QList<QByteArray> lines = validFile().split('\n');
    lines[1] = line + '\r';
    writeFile("bad.prg", lines.join('\n'));
    EditSteps[1] = {7, 70, 7};
    // A malformed line stops the load.
    QCOMPARE(ErrorOf<EConvertError>([&] { LoadProgramFile(path("bad.prg")); }), message);
    QCOMPARE(EditSteps[0].Next, 0);
    QCOMPARE(EditSteps[1].Time, 7);
    QCOMPARE(EditSteps[1].U, 70.0);
    QCOMPARE(EditSteps[1].Next, 7);
}

void TstProgFile::shortAndLongFiles()
{
    writeFile("short.prg", validFile(255));
    // A file of 255 lines is incomplete.
    QCOMPARE(ErrorOf<EConvertError>([&] { LoadProgramFile(path("short.prg")); }),
             QStringLiteral("'' is not a valid integer value"));
    QCOMPARE(EditSteps[254].Time, 0);

    QByteArray text = validFile();
    for (int i = 256; i < 300; ++i)
        text += QByteArray::number(i) + "/junk\r\n";
    writeFile("long.prg", text);
    LoadProgramFile(path("long.prg"));
    QCOMPARE(EditSteps[255].Time, 255 * 3);
    QCOMPARE(EditSteps[255].Next, 0);
    QCOMPARE(EditSteps[100].U, 1000.0);
}

void TstProgFile::unreadableFile()
{
    EditSteps[5] = {1, 2, 3};
    for (const QString &name : {path("missing.prg"), m_dir.path()}) {
        QCOMPARE(ErrorOf<EConvertError>([&] { LoadProgramFile(name); }),
                 QStringLiteral("'' is not a valid integer value"));
        QCOMPARE(EditSteps[5].Next, 3);
    }
}

void TstProgFile::stepNumberBound_data()
{
    QTest::addColumn<QByteArray>("next");
    QTest::addColumn<bool>("ok");
    QTest::newRow("255") << QByteArray("255") << true;
    QTest::newRow("0") << QByteArray("0") << true;
    QTest::newRow("hex FF") << QByteArray("$FF") << true;
    QTest::newRow("256") << QByteArray("256") << false;
    QTest::newRow("-1") << QByteArray("-1") << false;
    QTest::newRow("hex 100") << QByteArray("$100") << false;
}

void TstProgFile::stepNumberBound()
{
    QFETCH(QByteArray, next);
    QFETCH(bool, ok);
    QList<QByteArray> lines = validFile().split('\n');
    lines[3] = "3/1/2/" + next + '\r';
    writeFile("bound.prg", lines.join('\n'));
    EditSteps[3] = {4, 5, 6};
    if (ok) {
        LoadProgramFile(path("bound.prg"));
        QCOMPARE(EditSteps[3].Next, StrToInt(QString::fromLatin1(next)));
    } else {
        // A step number beyond the table is refused.
        const QString error = ErrorOf<EConvertError>([&] { LoadProgramFile(path("bound.prg")); });
        QVERIFY2(error.contains(QString::fromLatin1(next)), qPrintable(error));
        QCOMPARE(EditSteps[3].Next, 6);
        QCOMPARE(EditSteps[3].Time, 4);
        QCOMPARE(EditSteps[0].Next, 0);
    }
}

void TstProgFile::lineEnds()
{
    // Lines ending in a bare line feed, and a last line without any line end, read alike.
    QByteArray text = validFile();
    text.replace("\r\n", "\n");
    text.chop(1);
    writeFile("lf.prg", text);
    LoadProgramFile(path("lf.prg"));
    QCOMPARE(EditSteps[255].Time, 765);
    QCOMPARE(EditSteps[255].Next, 0);
    QCOMPARE(EditSteps[17].Next, 18);
}

void TstProgFile::unwritableSaveIsReported()
{
    const QString target = path("no-such-folder/p.prg");
    // A save that cannot be written is reported.
    QCOMPARE(ErrorOf<EFileError>([&] { SaveProgramFile(target); }),
             QStringLiteral("Unable to write to ") + target);
    QVERIFY(!QFile::exists(target));
}

void TstProgFile::failedSaveKeepsEarlierFile()
{
    const QString target = path("keep.prg");
    EditSteps[1] = {10, 100, 2};
    SaveProgramFile(target);
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    // A file size limit below the program's size makes the writing fail part way, as a
    // full disk does.
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    EditSteps[1] = {99, 99, 0};
    bool reported = false;
    try {
        SaveProgramFile(target);
    } catch (const EFileError &) {
        reported = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    QVERIFY(reported);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("keep.prg*")}, QDir::Files),
             QStringList{QStringLiteral("keep.prg")});
}

QTEST_GUILESS_MAIN(TstProgFile)
#include "tst_progfile.moc"
