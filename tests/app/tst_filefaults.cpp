// Files that fail under the running program: a recording file deleted, turned into a folder
// or left in a working folder that went away, a full disk (the file size limit) under a
// recording and under the settings, a settings file that is a folder or cannot be opened,
// a program file of binary junk, and the program itself under a file size limit. Nothing
// may crash; the operator learns of what was not kept; nothing else is lost.

#include "wholeprogram.h"

#include "application.h"
#include "controls.h"
#include "progfile.h"
#include "recording.h"
#include "sysutils.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QRegularExpression RowPattern(
    QStringLiteral("^\\d{1,2}:\\d{1,2}:\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3};-?\\d+;-?\\d+$"));

QStringList FileLines(const QString &file)
{
    QStringList lines = QString::fromLatin1(ReadFile(file)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

bool HasRow(const QString &file, int u)
{
    const QString tail = QStringLiteral(";%1;%1").arg(u);
    for (const QString &l : FileLines(file))
        if (l.endsWith(tail))
            return true;
    return false;
}

// Sets the source's voltage from its panel, as the operator does.
void SetVoltage(int slot, int volts)
{
    Devices[slot].Edit1->setText(QString::number(volts));
    Devices[slot].ButtSetU->click();
}

// As root the permission bits refuse nothing. For the faults made of them, this thread (the
// interface thread, which writes recordings and settings) takes the file-system identity
// of an ordinary user meanwhile; the serial threads and the simulator are not concerned.
struct AsOrdinaryUser
{
    bool active = false;
    AsOrdinaryUser()
    {
        if (geteuid() == 0) {
            setfsgid(65534);
            setfsuid(65534);
            active = true;
        }
    }
    ~AsOrdinaryUser()
    {
        if (active) {
            setfsuid(0);
            setfsgid(0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;
};

// Readable and searchable by everyone, writable by the owner only.
const QFileDevice::Permissions OpenFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
const QFileDevice::Permissions ReadOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                                QFileDevice::ReadOther | QFileDevice::ExeOther;

struct FileSizeLimit
{
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

} // namespace

class TstFileFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recordingFileTakenAway_data();
    void recordingFileTakenAway();
    void fullDiskUnderRecordingAndSettings();
    void settingsFileUnusable_data();
    void settingsFileUnusable();
    void binaryProgramFileIsRefused();
    void fileSizeLimitDoesNotEndTheProgram();

private:
    // One answering source on line A, recording, with a few rows written; its slot.
    int startRecording(WholeProgram &wp);
};

void TstFileFaults::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    // As the program does at its start, so that a write past the limit fails instead.
    IgnoreFileSizeSignal();
}

int TstFileFaults::startRecording(WholeProgram &wp)
{
    const QString err = wp.Start({{"addr=3,u=5,out=1,slew=0"}});
    if (!err.isEmpty())
        qWarning("%s", qPrintable(err));
    const int slot = wp.Connect(1, 3);
    if (!slot)
        return 0;
    TDevice &d = Devices[slot];
    if (!QTest::qWaitFor([&] { return d.PanNekom->isHidden() && d.ButtSetU->isEnabled(); }, 10000))
        return 0;
    d.CheckBox1->click();
    SetVoltage(slot, 20);
    if (!QTest::qWaitFor([&] { return HasRow(d.RecFile, 20); }, 10000))
        return 0;
    return slot;
}

void TstFileFaults::recordingFileTakenAway_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("rowsGoOn"); // rows keep coming while the fault lasts
    QTest::newRow("file deleted") << "deleted" << true;
    QTest::newRow("file made read-only") << "read-only" << false;
    QTest::newRow("file replaced by a folder") << "folder" << false;
    QTest::newRow("working folder read-only") << "folder read-only" << false;
    QTest::newRow("working folder gone") << "folder gone" << false;
}

void TstFileFaults::recordingFileTakenAway()
{
    QFETCH(QString, fault);
    QFETCH(bool, rowsGoOn);
    WholeProgram wp;
    const int slot = startRecording(wp);
    QVERIFY(slot);
    TDevice &d = Devices[slot];
    const QString file = QFileInfo(d.RecFile).absoluteFilePath();
    const QByteArray before = ReadFile(file);
    QVERIFY(!RecordFailing(slot));
    QVERIFY(QFile::setPermissions(wp.Dir(), OpenFolder));

    std::function<void()> undo;
    if (fault == QLatin1String("deleted")) {
        QVERIFY(QFile::remove(file));
        undo = [] {};
    } else if (fault == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
        undo = [file] {
            QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        };
    } else if (fault == QLatin1String("folder")) {
        QVERIFY(QFile::rename(file, file + QStringLiteral(".kept")));
        QVERIFY(QDir().mkdir(file));
        undo = [file] {
            QDir().rmdir(file);
            QFile::rename(file + QStringLiteral(".kept"), file);
        };
    } else if (fault == QLatin1String("folder read-only")) {
        QVERIFY(QFile::remove(file)); // a row must create it again, in a folder that refuses
        QVERIFY(QFile::setPermissions(wp.Dir(), ReadOnlyFolder));
        undo = [&wp, file, before] {
            QFile::setPermissions(wp.Dir(), OpenFolder);
            WriteFile(file, before);
        };
    } else {
        // The working folder is where recordings go; this one is removed under the program.
        QVERIFY(QDir().mkdir(QStringLiteral("elsewhere")));
        QVERIFY(QDir::setCurrent(QStringLiteral("elsewhere")));
        QVERIFY(QDir().rmdir(QDir::currentPath()));
        undo = [&wp] { QDir::setCurrent(wp.Dir()); };
    }
    std::optional<AsOrdinaryUser> user;
    if (!rowsGoOn) {
        user.emplace();
        QFile probe(d.RecFile); // where the program's next row goes
        if (probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            user.reset();
            undo();
            QSKIP("this user may write there all the same");
        }
    }

    SetVoltage(slot, 30);
    if (rowsGoOn) {
        // Made again, without its header; the recording goes on unmarked.
        QTRY_VERIFY_WITH_TIMEOUT(HasRow(file, 30), 10000);
        QVERIFY(RecordFailing(slot) == false);
        for (const QString &l : FileLines(file))
            QVERIFY2(RowPattern.match(l).hasMatch(), qPrintable(l));
    } else {
        // The operator sees it on the record box, which names the file.
        QTRY_VERIFY_WITH_TIMEOUT(RecordFailing(slot), 10000);
        QVERIFY(d.CheckBox1->toolTip().contains(QFileInfo(d.RecFile).fileName()));
        QCOMPARE(d.CheckBox1->palette().color(QPalette::WindowText), QColor(Qt::red));
        user.reset();
        undo();
        SetVoltage(slot, 40);
        QTRY_VERIFY_WITH_TIMEOUT(HasRow(file, 40), 10000);
        QVERIFY(!RecordFailing(slot));
        // What was written before the fault is still there, in front.
        QVERIFY(ReadFile(file).startsWith(before));
    }
    QVERIFY(wp.Errors().isEmpty()); // a recording error is not a message box
    QVERIFY(d.PanNekom->isHidden());
    QDir::setCurrent(wp.Dir());
}

void TstFileFaults::fullDiskUnderRecordingAndSettings()
{
    WholeProgram wp;
    const int slot = startRecording(wp);
    QVERIFY(slot);
    const QString file = QFileInfo(Devices[slot].RecFile).absoluteFilePath();
    const QByteArray before = ReadFile(file);
    const QByteArray ini = ReadFile(wp.IniPath());
    {
        // Room for part of one more row only: the row is refused whole.
        FileSizeLimit limit(rlim_t(before.size() + 10));
        SetVoltage(slot, 33);
        QTRY_VERIFY_WITH_TIMEOUT(RecordFailing(slot), 10000);
        QCOMPARE(ReadFile(file), before);
    }
    SetVoltage(slot, 44);
    QTRY_VERIFY_WITH_TIMEOUT(HasRow(file, 44), 10000);
    QVERIFY(!RecordFailing(slot));
    const QStringList lines = FileLines(file);
    for (int i = 2; i < lines.size(); ++i)
        QVERIFY2(RowPattern.match(lines[i]).hasMatch(), qPrintable(lines[i]));

    // The settings written at the end meet a full disk: the operator is told, and the
    // settings file stays as it was rather than cut short.
    {
        FileSizeLimit limit(16);
        wp.Stop();
    }
    QCOMPARE(wp.Errors().size(), 1);
    QCOMPARE(wp.Errors().constFirst(), QStringLiteral("Unable to write to ") + wp.IniPath());
    QCOMPARE(ReadFile(wp.IniPath()), ini);
}

void TstFileFaults::settingsFileUnusable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a socket, which cannot be opened") << "socket";
    QTest::newRow("not readable") << "unreadable";
}

void TstFileFaults::settingsFileUnusable()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString ini = dir.filePath(QStringLiteral("ardemo.INI"));
    const QString inside = ini + QStringLiteral("/notes.txt");
    int sock = -1;
    std::optional<AsOrdinaryUser> user;
    const QByteArray kept = "[Setup]\r\nLang=en\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(ini));
        QVERIFY(WriteFile(inside, "kept\n"));
    } else if (kind == QLatin1String("unreadable")) {
        QVERIFY(WriteFile(ini, kept));
        QVERIFY(QFile::setPermissions(ini, QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(dir.path(), OpenFolder));
        user.emplace();
        if (QFile(ini).open(QIODevice::ReadOnly))
            QSKIP("this user may read it all the same");
    } else {
        sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray path = ini.toLocal8Bit();
        QVERIFY(size_t(path.size()) < sizeof a.sun_path);
        std::copy(path.begin(), path.end(), a.sun_path);
        QCOMPARE(::bind(sock, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    }

    QStringList errors;
    SetErrorReporter([&errors](const QString &m) { errors << m; });
    SetSettingsFileName(ini);
    DM = new TDM;
    new TFormMain;
    FormPripoj = new TFormPripoj(FormMain);
    FormProg = new TFormProg(FormMain);
    FormMain->show();
    QTest::qWait(200);
    // Started on the defaults.
    QCOMPARE(LangCode, QStringLiteral("cz"));
    QCOMPARE(ChartWindow, 120);
    QVERIFY(errors.isEmpty());
    WholeProgram::EndProgram();
    user.reset();
    if (sock >= 0)
        ::close(sock);

    // What cannot be read is not replaced: the operator is told the settings were not kept.
    QCOMPARE(errors, QStringList{QStringLiteral("Unable to write to ") + ini});
    if (kind == QLatin1String("folder")) {
        QVERIFY(QFileInfo(ini).isDir());
        QCOMPARE(ReadFile(inside), QByteArray("kept\n"));
    } else if (kind == QLatin1String("unreadable")) {
        QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(ReadFile(ini), kept);
    } else {
        QVERIFY(!QFileInfo(ini).isFile());
    }
}

void TstFileFaults::binaryProgramFileIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Bytes of every value, NUL and line ends among them, and some field separators.
    QByteArray junk;
    for (int i = 0; i < 64 * 1024; ++i)
        junk += char((i * 151 + 7) % 256);
    const QString prg = dir.filePath(QStringLiteral("junk.prg"));
    QVERIFY(WriteFile(prg, junk));

    for (ProgramStep &s : EditSteps)
        s = ProgramStep{};
    EditSteps[1] = {5, 12, 2};
    EditSteps[2] = {3, 24, 0};
    try {
        LoadProgramFile(prg);
        QFAIL("binary content was taken as a program");
    } catch (const EConvertError &e) {
        const QString m = QString::fromUtf8(e.what());
        QVERIFY2(m.endsWith(QLatin1String("' is not a valid integer value")) ||
                     m.contains(QLatin1String("is not a valid step number")),
                 qPrintable(m));
    }
    // The table in the editor is the one it had.
    QCOMPARE(EditSteps[1].Time, 5);
    QCOMPARE(EditSteps[1].U, 12.0);
    QCOMPARE(EditSteps[2].U, 24.0);
    QCOMPARE(EditSteps[2].Next, 0);
    QCOMPARE(EditSteps[3].Time, 0);
}

void TstFileFaults::fileSizeLimitDoesNotEndTheProgram()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A copy of the program keeps its settings file beside it, in the temporary folder;
    // a long section of notes makes the file larger than the limit, so saving it fails.
    const QString exe = dir.filePath(QStringLiteral("ardemo"));
    QVERIFY(QFile::copy(QStringLiteral(ARDEMO_EXE), exe));
    const QString ini = dir.filePath(QStringLiteral("ardemo.INI"));
    QByteArray text = "[Setup]\r\nLang=en\r\n[Notes]\r\n";
    for (int i = 0; i < 200; ++i)
        text += "Line" + QByteArray::number(i) + "=kept as it was written\r\n";
    QVERIFY(WriteFile(ini, text));

    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
        rlimit r{};
        getrlimit(RLIMIT_FSIZE, &r);
        r.rlim_cur = 1024;
        setrlimit(RLIMIT_FSIZE, &r);
        ::signal(SIGXFSZ, SIG_DFL); // as a shell would leave it
    });
    p.start(exe, {});
    QVERIFY(p.waitForStarted());
    QTest::qWait(1500);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), SIGTERM);
    // The settings cannot be written whole: the program must not die of the limit's signal
    // but show the failure in its message box, which a second request closes.
    for (int i = 0; i < 10 && !p.waitForFinished(1000); ++i)
        ::kill(pid_t(p.processId()), SIGTERM);
    QCOMPARE(p.state(), QProcess::NotRunning);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(ReadFile(ini), text);
}

QTEST_MAIN(TstFileFaults)
#include "tst_filefaults.moc"
