// The soak run: the whole program with 50 sources on four simulated lines, many of them
// faulty (silent, late, split, garbled, without CR, unreadable values, dropped replies), ten
// of them running looping programs with recording on, the chart page in 3D. It measures every
// pass of the tick, samples the resident memory, ends the program the orderly way and then
// checks what it left behind: the settings file, and every voltage change that the
// simulator reported to a recording source as a row of that source's file.
//
//   ardemo-soak [--minutes M] [--sample SECONDS] [--judge wall|cpu]
//
// Prints its figures and a last line "soak: PASS" or "soak: FAIL"; exit status 0 or 1.
// --judge cpu judges the 100 ms limit on the tick's own CPU time instead of its wall time,
// for machines shared with other work (the automatic test run).

#include "wholeprogram.h"

#include "application.h"
#include "chartpage.h"
#include "controls.h"
#include "cp1250.h"
#include "data.h"
#include "global.h"
#include "mainform.h"
#include "progfile.h"
#include "tchart.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

constexpr double PassLimitMs = 100.0;
constexpr int ChartSeconds = 30; // the chart window: it fills within the warm-up
constexpr int AxisMax = 250;     // set during the run; must come back from the settings file

// One simulated source and what the run expects of it.
struct SoakSource
{
    int line = 0;
    int address = 0;
    QString items;        // the simulator's --source items, address excluded
    bool answers = true;  // false: never completes a reply, so it shows "NEKOMUNIKUJE"
    bool steady = true;   // every request answered in time (no dropped replies)
    bool program = false; // runs a program with recording on
    int slot = 0;
};

// 13 + 13 + 12 + 12 sources. Every line carries programs with recording and faulty
// neighbours; the faults a program source has must not lose a reply (split, garbage, late
// within the time-out), since a source that misses its time-out stops its program.
QList<SoakSource> Layout()
{
    const int perLine[4] = {13, 13, 12, 12};
    const char *progFaults[] = {"", "split=3", "delay=150", "garbage", "split=2,garbage"};
    QList<SoakSource> r;
    int prog = 0;
    for (int line = 1; line <= 4; ++line) {
        for (int a = 0; a < perLine[line - 1]; ++a) {
            SoakSource s;
            s.line = line;
            s.address = a;
            const int volts = 10 * line + a;
            // The last source of lines A and C never answers, of lines B and D answers
            // without its CR: either way the line waits out the time-out for it.
            const bool deadSlot = a == perLine[line - 1] - 1;
            if (a < (line <= 2 ? 3 : 2)) {
                s.program = true;
                s.items = QStringLiteral("u=%1,out=1,slew=40").arg(volts);
                const QString f = QLatin1String(progFaults[prog++ % 5]);
                if (!f.isEmpty())
                    s.items += QLatin1Char(',') + f;
            } else if (deadSlot) {
                s.items = line % 2 ? QStringLiteral("silent") : QStringLiteral("nocr,out=1");
                s.answers = false;
                s.steady = false;
            } else {
                switch ((a + line) % 8) {
                case 0:
                    s.items = QStringLiteral("u=%1,out=1,noise=3").arg(volts);
                    break;
                case 1:
                    s.items = QStringLiteral("u=%1,out=1,delay=400").arg(volts);
                    break;
                case 2:
                    s.items = QStringLiteral("u=%1,out=1,split=4").arg(volts);
                    break;
                case 3:
                    s.items = QStringLiteral("u=%1,out=1,garbage").arg(volts);
                    break;
                case 4:
                    s.items = QStringLiteral("out=1,badvolt");
                    break;
                case 5:
                    s.items = QStringLiteral("u=%1,out=1,badtol").arg(volts);
                    break;
                case 6:
                    s.items = QStringLiteral("u=%1,out=1,drop=4").arg(volts);
                    s.steady = false;
                    break;
                default:
                    s.items = QStringLiteral("u=%1,out=0,type=ZDR150").arg(volts);
                    break;
                }
            }
            r << s;
        }
    }
    return r;
}

// A looping program of four steps, different for each source.
void WriteProgram(const QString &file, int n)
{
    for (ProgramStep &s : EditSteps)
        s = ProgramStep{};
    const double base = 20 + 7 * n;
    EditSteps[1] = {2, base, 2};
    EditSteps[2] = {3, base + 35, 3};
    EditSteps[3] = {2, base + 10, 4};
    EditSteps[4] = {1, base + 60, 1};
    SaveProgramFile(file);
}

qint64 RssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QList<double> Collapsed(const QList<double> &v)
{
    QList<double> r;
    for (double x : v)
        if (r.isEmpty() || r.constLast() != x)
            r << x;
    return r;
}

QString Join(const QList<double> &v, int max = 12)
{
    QStringList s;
    for (int i = 0; i < v.size() && i < max; ++i)
        s << QString::number(v[i]);
    if (v.size() > max)
        s << QStringLiteral("...(%1)").arg(v.size());
    return s.join(QLatin1Char(' '));
}

// The voltages the simulator sent to the source, in order: every NAP reply in its frame
// log, junk before the "#" ignored, an unreadable value as -1 (as the program takes it).
QList<double> ReportedVoltages(const QList<SimFrame> &frames, int line, int address)
{
    const QByteArray key =
        "#" + QByteArray::number(address, 16).toUpper().rightJustified(2, '0') + "NAP";
    QList<double> r;
    for (const SimFrame &f : frames) {
        if (f.line != line || f.kind != "TX")
            continue;
        const qsizetype p = f.text.indexOf(key);
        if (p < 0)
            continue;
        bool ok = false;
        const double u = f.text.mid(p + key.size(), 3).toDouble(&ok);
        r << (ok ? u : -1);
    }
    return r;
}

struct RecordRow
{
    double u = 0;    // measured
    double uSet = 0; // requested
};

// The rows of a recording file; the error text when a line is not a row.
QList<RecordRow> RecordedRows(const QString &file, QString *error)
{
    QList<RecordRow> r;
    const QByteArray all = ReadFile(file);
    const QStringList lines = FromCp1250(all).split(QStringLiteral("\r\n"));
    static const QRegularExpression row(QStringLiteral(
        "^\\d{1,2}:\\d{1,2}:\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3};(-?\\d+);(-?\\d+)$"));
    for (int i = 0; i < lines.size(); ++i) {
        if (i < 2 || (i == lines.size() - 1 && lines[i].isEmpty()))
            continue;
        const auto m = row.match(lines[i]);
        if (!m.hasMatch()) {
            *error = QStringLiteral("line %1 is not a row: %2").arg(i + 1).arg(lines[i]);
            return r;
        }
        r << RecordRow{m.captured(1).toDouble(), m.captured(2).toDouble()};
    }
    return r;
}

// Every change the simulator reported after recording began must be a row, in order, with
// nothing in between that it did not report. The first reported value is the one the source
// already had when recording began (no row for it, unless a program step wrote one), and the
// last reply may have been under way when the program ended.
//
// A program's step change writes a row too, with the new requested voltage and the measured
// one as it stands; so a reading whose own row was lost would still show up, one step row
// later. A row that brings a new measured voltage must therefore keep the requested voltage
// of the row before it: only a reading changes one without the other.
QString CheckRecording(const QList<double> &reported, const QList<RecordRow> &rows, int *changes)
{
    const QList<double> s = Collapsed(reported);
    *changes = qMax(0, int(s.size()) - 1);
    QList<double> recorded;
    for (int i = 0; i < rows.size(); ++i) {
        recorded << rows[i].u;
        if (i > 0 && rows[i].u != rows[i - 1].u && rows[i].uSet != rows[i - 1].uSet)
            return QStringLiteral("row %1 brings U %2 with a step to Uset %3: the reading's "
                                  "own row is missing")
                .arg(i + 3)
                .arg(rows[i].u)
                .arg(rows[i].uSet);
    }
    const QList<double> f = Collapsed(recorded);
    if (s.isEmpty())
        return QStringLiteral("the simulator reported no voltage");
    for (int first = 0; first <= 1; ++first)
        for (int last = int(s.size()) - 1; last >= int(s.size()) - 2; --last)
            if (last >= first && f == s.mid(first, last - first + 1))
                return {};
    if (s.size() == 1 && f.isEmpty())
        return {};
    return QStringLiteral("reported %1 | recorded %2").arg(Join(s), Join(f));
}

struct Options
{
    double minutes = 10;
    int sampleSeconds = 60;
    bool judgeCpu = false;
};

bool ParseOptions(const QStringList &args, Options &o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const QString v = args.value(i + 1);
        bool ok = true;
        if (a == QLatin1String("--minutes")) {
            o.minutes = v.toDouble(&ok);
            ok = ok && o.minutes > 0;
            ++i;
        } else if (a == QLatin1String("--sample")) {
            o.sampleSeconds = v.toInt(&ok);
            ok = ok && o.sampleSeconds > 0;
            ++i;
        } else if (a == QLatin1String("--judge")) {
            ok = v == QLatin1String("wall") || v == QLatin1String("cpu");
            o.judgeCpu = v == QLatin1String("cpu");
            ++i;
        } else {
            ok = false;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    Options opt;
    if (!ParseOptions(app.arguments(), opt)) {
        std::fprintf(stderr, "usage: ardemo-soak [--minutes M] [--sample SECONDS] "
                             "[--judge wall|cpu]\n");
        return 2;
    }
    QTextStream out(stdout);
    QStringList failures;
    auto fail = [&](const QString &m) {
        failures << m;
        out << "FAIL " << m << Qt::endl;
    };

    QList<SoakSource> sources = Layout();
    QList<QStringList> perLine(4);
    for (const SoakSource &s : sources)
        perLine[s.line - 1] << QStringLiteral("addr=%1,").arg(s.address) + s.items;

    WholeProgram wp;
    const QString err = wp.Start(
        perLine, {}, QStringLiteral("[Setup]\r\nMaxX=%1\r\n").arg(ChartSeconds).toLatin1());
    if (!err.isEmpty()) {
        out << "cannot start: " << err << Qt::endl << "soak: FAIL" << Qt::endl;
        return 1;
    }
    TFormMain *form = wp.Form();

    // Every pass of the tick, timed from outside: wall time and the interface thread's CPU.
    auto *dm = qobject_cast<TDM *>(DM);
    QObject::disconnect(dm->TSystem, &QTimer::timeout, dm, &TDM::TSystemTimer);
    qint64 passes = 0, overWall = 0, overCpu = 0;
    double maxWall = 0, maxCpu = 0, sumWall = 0;
    QObject::connect(dm->TSystem, &QTimer::timeout, dm, [&] {
        QElapsedTimer t;
        t.start();
        const double c0 = ThreadCpuMs();
        dm->TSystemTimer();
        const double wall = t.nsecsElapsed() / 1e6;
        const double cpu = ThreadCpuMs() - c0;
        ++passes;
        sumWall += wall;
        maxWall = std::max(maxWall, wall);
        maxCpu = std::max(maxCpu, cpu);
        overWall += wall > PassLimitMs;
        overCpu += cpu > PassLimitMs;
    });

    for (SoakSource &s : sources) {
        s.slot = wp.Connect(s.line, s.address);
        if (!s.slot)
            fail(QStringLiteral("source %1 on line %2 not connected").arg(s.address).arg(s.line));
    }
    if (DeviceCount != 50)
        fail(QStringLiteral("%1 sources connected instead of 50").arg(DeviceCount));

    // Let every source answer once, so the program buttons are enabled.
    WholeProgram::Run(8000);

    // Recording on first, the programs after: until a program moves it, each source stays
    // at its start voltage, so the first value the simulator reports is the one the source
    // had when its recording began.
    int n = 0;
    QList<SoakSource *> programs;
    for (SoakSource &s : sources) {
        if (!s.program || !s.slot)
            continue;
        TDevice &d = Devices[s.slot];
        const QString prg = wp.Dir() + QStringLiteral("/soak%1.prg").arg(++n);
        WriteProgram(prg, n);
        LoadProgramFile(prg);
        std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(d.Steps));
        d.CheckBox1->click();
        programs << &s;
    }
    for (SoakSource *s : programs) {
        TDevice &d = Devices[s->slot];
        d.ButtSt->click();
        if (d.StepNo == 0)
            fail(QStringLiteral("program of slot %1 did not start").arg(s->slot));
    }

    // The chart page, every source plotted, in 3D; a voltage axis the settings must keep.
    for (int i = 0; i < form->PageCont->count(); ++i)
        if (form->PageCont->widget(i)->isAncestorOf(form->Graf))
            form->PageCont->setCurrentIndex(i);
    for (int i = 0; i < form->CheckZaz->count(); ++i)
        form->CheckZaz->SetChecked(i, true);
    CheckZazClickCheck(form->CheckZaz, 0);
    form->CB_3d->click();
    form->SBar_Rot->setValue(form->SBar_Rot->value() + 15); // turned: no longer orthogonal
    if (!form->Graf->View3D())
        fail(QStringLiteral("the chart is not in 3D"));
    form->UpDownY->SetPosition(AxisMax);

    // The run itself, in the application's own event loop; the end button ends it.
    const qint64 runMs = qint64(opt.minutes * 60000);
    const qint64 warmUpMs = std::max<qint64>(ChartSeconds * 1000 + 5000, runMs / 5);
    QList<QPair<qint64, qint64>> rss; // ms into the run, KiB
    QElapsedTimer clock;
    clock.start();
    const double cpuAtStart = ProcessCpuSeconds();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        rss << qMakePair(clock.elapsed(), RssKiB());
        out << QStringLiteral("t=%1 s  rss=%2 KiB  passes=%3  max pass %4 ms (cpu %5 ms)")
                   .arg(clock.elapsed() / 1000)
                   .arg(rss.constLast().second)
                   .arg(passes)
                   .arg(maxWall, 0, 'f', 1)
                   .arg(maxCpu, 0, 'f', 1)
            << Qt::endl;
    });
    sampler.start(opt.sampleSeconds * 1000);
    auto *end = form->findChild<QAbstractButton *>(QStringLiteral("ButtEnd"));
    QTimer::singleShot(runMs, end, [end] { end->click(); });
    app.exec();
    sampler.stop();
    const double cpuSeconds = ProcessCpuSeconds() - cpuAtStart;
    const qint64 ranMs = clock.elapsed();

    // What the panels show at the end of the run.
    for (const SoakSource &s : sources) {
        if (!s.slot)
            continue;
        const TDevice &d = Devices[s.slot];
        const bool nekom = d.PanNekom && !d.PanNekom->isHidden();
        if (!s.answers && !nekom)
            fail(
                QStringLiteral("slot %1 (%2) does not show NEKOMUNIKUJE").arg(s.slot).arg(s.items));
        if (s.answers && d.TypeText.isEmpty())
            fail(QStringLiteral("slot %1 (%2) was never served").arg(s.slot).arg(s.items));
        if (s.steady && nekom)
            fail(QStringLiteral("slot %1 (%2) shows NEKOMUNIKUJE").arg(s.slot).arg(s.items));
        if (s.program && d.StepNo == 0)
            fail(QStringLiteral("program of slot %1 (%2) stopped").arg(s.slot).arg(s.items));
    }
    QList<QPair<SoakSource, QString>> recordings;
    for (SoakSource *s : programs)
        recordings << qMakePair(*s, Devices[s->slot].RecFile);
    const QStringList errors = wp.Errors();

    // The orderly end, as the program's entry point does it after its event loop.
    QFile::remove(wp.IniPath() + QStringLiteral(".before"));
    QFile::copy(wp.IniPath(), wp.IniPath() + QStringLiteral(".before"));
    wp.Stop();

    const QByteArray ini = ReadFile(wp.IniPath());
    for (const QByteArray &want :
         {QByteArray("Lang=cz\r\n"), "MaxX=" + QByteArray::number(ChartSeconds) + "\r\n",
          "MaxY=" + QByteArray::number(AxisMax) + "\r\n", QByteArray("Path="),
          QByteArray("[Ports]\r\nCOM1=")})
        if (!ini.contains(want))
            fail(QStringLiteral("settings file lacks %1").arg(QString::fromLatin1(want).trimmed()));
    for (const QString &e : errors)
        fail(QStringLiteral("error shown: %1").arg(e));

    const QList<SimFrame> frames = wp.Sim().Frames();
    int totalChanges = 0;
    for (const auto &[s, file] : recordings) {
        QString error;
        const QList<RecordRow> recorded = RecordedRows(file, &error);
        int changes = 0;
        if (error.isEmpty())
            error = CheckRecording(ReportedVoltages(frames, s.line, s.address), recorded, &changes);
        totalChanges += changes;
        out << QStringLiteral("slot %1 line %2 adr %3 (%4): %5 changes reported, %6 rows")
                   .arg(s.slot)
                   .arg(s.line)
                   .arg(s.address)
                   .arg(s.items)
                   .arg(changes)
                   .arg(recorded.size())
            << Qt::endl;
        if (!error.isEmpty())
            fail(QStringLiteral("recording %1: %2").arg(file, error));
        else if (changes < 2)
            fail(QStringLiteral("recording %1: only %2 changes; the check saw too little")
                     .arg(file)
                     .arg(changes));
    }

    // Memory after the warm-up (the chart window filled, every source seen): the largest
    // later sample against the first one.
    qint64 base = -1, peak = -1;
    for (const auto &[ms, kib] : rss) {
        if (ms < warmUpMs)
            continue;
        if (base < 0)
            base = kib;
        peak = std::max(peak, kib);
    }
    const qint64 allowed = 4096 + base / 50;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The checkers hold freed memory back on purpose: the resident size says nothing here.
    const bool judgeMemory = false;
    out << "memory not judged under the address or thread checker" << Qt::endl;
#else
    const bool judgeMemory = true;
#endif
    if (judgeMemory && (base < 0 || rss.size() < 2))
        fail(QStringLiteral("too few memory samples after the warm-up; run longer"));
    else if (judgeMemory && peak - base > allowed)
        fail(QStringLiteral("memory grew by %1 KiB after the warm-up (allowed %2)")
                 .arg(peak - base)
                 .arg(allowed));

    if (passes < ranMs / 1000)
        fail(QStringLiteral("only %1 tick passes in %2 s").arg(passes).arg(ranMs / 1000));
    if (overWall && !opt.judgeCpu)
        fail(QStringLiteral("%1 tick passes took over %2 ms (longest %3 ms)")
                 .arg(overWall)
                 .arg(PassLimitMs)
                 .arg(maxWall, 0, 'f', 1));
    if (overCpu)
        fail(QStringLiteral("%1 tick passes used over %2 ms of CPU (most %3 ms)")
                 .arg(overCpu)
                 .arg(PassLimitMs)
                 .arg(maxCpu, 0, 'f', 1));

    out << QStringLiteral("run %1 s, %2 tick passes, mean %3 ms, longest %4 ms wall / %5 ms cpu,"
                          " %6 over %7 ms")
               .arg(ranMs / 1000.0, 0, 'f', 1)
               .arg(passes)
               .arg(passes ? sumWall / passes : 0, 0, 'f', 2)
               .arg(maxWall, 0, 'f', 1)
               .arg(maxCpu, 0, 'f', 1)
               .arg(overWall)
               .arg(PassLimitMs)
        << Qt::endl;
    out << QStringLiteral("process CPU %1 s (%2 %); rss after warm-up %3 KiB, peak %4 KiB;"
                          " %5 voltage changes checked in %6 recordings")
               .arg(cpuSeconds, 0, 'f', 1)
               .arg(100 * cpuSeconds / std::max(1.0, ranMs / 1000.0), 0, 'f', 1)
               .arg(base)
               .arg(peak)
               .arg(totalChanges)
               .arg(recordings.size())
        << Qt::endl;
    out << (failures.isEmpty() ? "soak: PASS" : "soak: FAIL") << Qt::endl;
    return failures.isEmpty() ? 0 : 1;
}
