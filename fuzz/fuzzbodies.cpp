#include "fuzzbodies.h"

#include "barelines.h"
#include "commlog.h"
#include "controls.h"
#include "fakeport.h"
#include "forms.h"
#include "global.h"
#include "inifile.h"
#include "progfile.h"
#include "protocol.h"
#include "scheduler.h"
#include "simcore.h"
#include "strtable.h"
#include "sysutils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------
// Shared helpers

void Check(bool condition, const QString &what)
{
    if (!condition)
        throw EFuzzInvariant(what.toStdString());
}

// Chunk sizes and scheduler passes come from the input itself, so that one input always
// takes the same path: the replay test sees what the fuzzer saw.
class InputRandom
{
public:
    InputRandom(const uint8_t *data, size_t size)
    {
        uint64_t h = 1469598103934665603ull; // FNV-1a
        for (size_t i = 0; i < size; ++i)
            h = (h ^ data[i]) * 1099511628211ull;
        m_state = h;
    }
    uint32_t Next(uint32_t below) // 0 .. below-1
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull); // splitmix64
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return below ? uint32_t(z % below) : 0;
    }

private:
    uint64_t m_state;
};

// A chunk of 1 to 24 bytes, now and then a long one, as a serial driver hands them over.
size_t ChunkSize(InputRandom &r)
{
    return r.Next(8) == 0 ? 1 + r.Next(300) : 1 + r.Next(24);
}

QTemporaryDir &WorkDir()
{
    static QTemporaryDir dir;
    return dir;
}

bool WriteInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---------------------------------------------------------------------------------------
// Reply assembly

bool IsSlot(int s)
{
    return s >= 1 && s <= MaxDevices;
}

// A source of the table: where it sits and the state it is in when an input begins.
struct SourceSetup
{
    int slot, line, address;
    int32_t reqState;
    bool canStab, recording, waiting;
    bool pendOut, pendTol;
    double u;
};

// Line 1 has a new source and one just after a set-voltage command with an output command
// pending; line 2 a source in the middle of its turn with a tolerance to send; line 3 no
// source (stray characters only); line 4 a source driven out of the cycle by
// acknowledgements.
constexpr SourceSetup Sources[] = {
    {1, 1, 1, 0, false, false, true, false, false, 0},
    {7, 1, 5, 30, true, true, false, true, false, 12},
    {50, 2, 31, 5, true, false, false, false, true, 230},
    {12, 4, 0, 41, false, false, true, false, false, -1},
};
constexpr int StartCur[5] = {0, 1, 50, NoDevice, 12};

// The highest ReqState a source may reach: set commands go up to 50 and their
// acknowledgements count up within the tens; beyond that only "OK" replies raise it, one
// per completed reply at most.
constexpr int32_t CycleTop = 59;

class ReplyRig : public BareLines
{
public:
    ReplyRig()
    {
        QLocale::setDefault(QLocale::c());
        TextDevNo = LoadStr(sDevNo, lsCzech);
        TextNoAnswer = LoadStr(sNoAnswer, lsCzech);
        SetTickSource([this] { return now; });

        InitTables();
        for (const SourceSetup &s : Sources)
            BuildPanel(s.slot);
        for (const SourceSetup &s : Sources)
            saved[s.slot] = Devices[s.slot];
    }

    ~ReplyRig()
    {
        SetTickSource({});
        InitTables();
        FormMain = nullptr;
        DM = nullptr;
    }

    // Every input starts from the same tables, panels and ports.
    void Reset()
    {
        for (int s = 0; s <= MaxDevices; ++s)
            if (!saved[s].PanDev)
                ResetDevice(s);
        DeviceCount = 0;
        for (const SourceSetup &s : Sources) {
            TDevice &d = Devices[s.slot];
            d = saved[s.slot];
            RemoveReq[s.slot] = false;
            d.Used = true;
            d.Line = s.line;
            d.Address = s.address;
            d.ReqState = s.reqState;
            d.CanStab = s.canStab;
            d.U = d.UPrev = s.u;
            d.PendOut = s.pendOut;
            d.OutSet = true;
            d.PendTol = s.pendTol;
            d.TolSet = 3;
            d.CheckBox1->setChecked(s.recording);
            d.RecFile = s.recording ? WorkDir().filePath(QStringLiteral("rec%1.csv").arg(s.slot))
                                    : QString();
            ++DeviceCount;
        }
        for (int l = 1; l <= MaxLines; ++l) {
            Lines[l] = TLines{};
            Lines[l].Cur = StartCur[l];
            ClearReply(l);
            ports[l]->rx.clear();
            ports[l]->frames.clear();
            crs[l] = 0;
        }
        for (const SourceSetup &s : Sources)
            if (s.waiting && Lines[s.line].Cur == s.slot) {
                Lines[s.line].Waiting = true;
                Lines[s.line].Countdown = ReplyTimeout;
            }
        now = 100000;
    }

    // One received-data event on the line. Now and then the event announces more than is
    // there, as when the port closes between the announcement and the reading.
    void Feed(int line, const QByteArray &bytes, bool overAnnounce)
    {
        ports[line]->rx += bytes;
        crs[line] += int(bytes.count('\r'));
        const int32_t count = int32_t(ports[line]->rx.size()) + (overAnnounce ? 3 : 0);
        ports[line]->OnDataRecived(ports[line], count);
        ports[line]->rx.clear();
    }

    void Tick()
    {
        now += 25;
        ServeLines();
    }

    void RemoveRecordings()
    {
        for (const SourceSetup &s : Sources)
            if (s.recording)
                QFile::remove(WorkDir().filePath(QStringLiteral("rec%1.csv").arg(s.slot)));
    }

    void CheckTables(const char *after) const
    {
        const QString where = QStringLiteral(" (after %1)").arg(QLatin1String(after));
        for (int l = 1; l <= MaxLines; ++l) {
            const TLines &ln = Lines[l];
            const QString line = QStringLiteral("line %1: ").arg(l);
            Check(ln.RxBuf.size() < MaxReplyLength,
                  line + QStringLiteral("RxBuf holds %1 characters").arg(ln.RxBuf.size()) + where);
            Check(!ln.RxBuf.contains(QLatin1Char('\r')), line + "RxBuf holds a CR" + where);
            Check(ln.RxBuf.lastIndexOf(QLatin1Char('#')) <= 0,
                  line + "RxBuf holds a '#' after its start" + where);
            Check(ln.Cur == NoDevice ||
                      (IsSlot(ln.Cur) && Devices[ln.Cur].Used && Devices[ln.Cur].Line == l),
                  line + QStringLiteral("Cur %1 is not a source of the line").arg(ln.Cur) + where);
            Check(ln.Countdown <= ReplyTimeout,
                  line + QStringLiteral("Countdown %1").arg(ln.Countdown) + where);
            CheckFrames(l, where);
        }
        for (const SourceSetup &s : Sources) {
            const TDevice &d = Devices[s.slot];
            const QString src = QStringLiteral("slot %1: ").arg(s.slot);
            Check(d.Used && d.Line == s.line && d.Address == s.address,
                  src + "the source left its line" + where);
            // The voltage field is three characters: -99 up to 9e9, or -1 when unreadable.
            Check(d.U == -1 || (std::isfinite(d.U) && d.U >= -99 && d.U <= 9e9),
                  src + QStringLiteral("U = %1").arg(d.U) + where);
            Check(d.Tol == std::floor(d.Tol) && d.Tol >= 0 && d.Tol <= 9,
                  src + QStringLiteral("Tol = %1").arg(d.Tol) + where);
            const int32_t top = std::max(s.reqState, CycleTop) + crs[s.line];
            Check(d.ReqState >= 0 && d.ReqState <= top,
                  src + QStringLiteral("ReqState %1 (at most %2)").arg(d.ReqState).arg(top) +
                      where);
            if (!d.Reply.isEmpty()) {
                Check(d.Reply.size() <= MaxReplyLength,
                      src + QStringLiteral("reply of %1 characters").arg(d.Reply.size()) + where);
                Check(d.Reply.endsWith(QLatin1Char('\r')) && d.Reply.count(QLatin1Char('\r')) == 1,
                      src + "reply is not one line ending in CR" + where);
                Check(d.Reply.lastIndexOf(QLatin1Char('#')) <= 0,
                      src + "reply holds a '#' after its start" + where);
            }
            Check(d.TypeText.size() <= MaxReplyLength + 16,
                  src + QStringLiteral("type text of %1 characters").arg(d.TypeText.size()) +
                      where);
        }
    }

    // Every frame the scheduler wrote is a whole request to a source of that line.
    void CheckFrames(int l, const QString &where) const
    {
        for (const QByteArray &f : ports[l]->frames) {
            const QString what = QStringLiteral("line %1: frame \"%2\" ")
                                     .arg(l)
                                     .arg(QString::fromLatin1(f.toPercentEncoding()));
            Check(f.size() >= 7 && f.front() == '@' && f.back() == '\r' && f.count('\r') == 1,
                  what + "is not one request" + where);
            bool ok = false;
            const int address = f.mid(1, 2).toInt(&ok, 16);
            bool known = false;
            for (const SourceSetup &s : Sources)
                known = known || (s.line == l && s.address == address);
            Check(ok && known, what + "is for no source of the line" + where);
            unsigned sum = 0;
            for (qsizetype i = 1; i < f.size() - 3; ++i)
                sum += uint8_t(f[i]);
            Check(f.mid(f.size() - 3, 2) ==
                      QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0'),
                  what + "has a wrong checksum" + where);
        }
    }

private:
    void BuildPanel(int slot) { BuildBarePanel(slot, form->Page1); }

    TDevice saved[MaxDevices + 1];
    int crs[MaxLines + 1] = {};
    uint32_t now = 100000;
};

std::unique_ptr<ReplyRig> &TheReplyRig()
{
    static std::unique_ptr<ReplyRig> rig;
    return rig;
}

// ---------------------------------------------------------------------------------------
// Program files

bool SameStep(const ProgramStep &a, const ProgramStep &b)
{
    return a.Time == b.Time && a.U == b.U && a.Next == b.Next;
}

// A table that no file can produce by accident: the check that a failed load leaves the
// editor's copy alone must not pass because the load wrote the same values.
void FillMarker(VoltageProgram &steps)
{
    for (int i = 0; i < ProgramSize; ++i)
        steps[i] = ProgramStep{-1000 - i, 0.25 + i, (i * 37 + 11) % ProgramSize};
}

// ---------------------------------------------------------------------------------------
// Simulator

std::string Hex2(int v)
{
    const char *digits = "0123456789ABCDEF";
    return {digits[(v >> 4) & 15], digits[v & 15]};
}

bool AllDigits(const std::string &s)
{
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The body of a reply (between the address and the CR) answers the command it was given.
void CheckReplyBody(const sim::Request &req, const std::string &body, const std::string &frame)
{
    const QString what = QStringLiteral("reply body \"%1\" to \"%2\" ")
                             .arg(QString::fromStdString(sim::Printable(body)))
                             .arg(QString::fromStdString(sim::Printable(frame)));
    if (body == "OK") {
        Check(req.value.find('?') == std::string::npos, what + "acknowledges a query");
        return;
    }
    switch (req.command) {
    case sim::Command::Out:
    case sim::Command::Sta: {
        const std::string key = req.command == sim::Command::Out ? "OUT" : "STA";
        Check(body == key + "0" || body == key + "1", what + "is no state reply");
        break;
    }
    case sim::Command::Nap:
        Check(body == "NAPERR" ||
                  (body.size() == 6 && body.rfind("NAP", 0) == 0 && AllDigits(body.substr(3))),
              what + "is no voltage reply");
        break;
    case sim::Command::Tol:
        Check(body == "TOLx" ||
                  (body.size() == 4 && body.rfind("TOL", 0) == 0 && AllDigits(body.substr(3))),
              what + "is no tolerance reply");
        break;
    case sim::Command::Id:
        Check(body.rfind("TYP", 0) == 0 && body.find("VC") != std::string::npos,
              what + "is no identification");
        break;
    }
    Check(body.find('\r') == std::string::npos && body.find('#') == std::string::npos,
          what + "breaks the reply line");
}

std::vector<sim::SourceConfig> SimSources()
{
    std::vector<sim::SourceConfig> v(4);
    v[0].address = 1;
    v[1].address = 5;
    v[1].type = "ZDR60-3-S";
    v[1].noise = 2;
    v[1].output = true;
    v[1].voltage = 998;
    v[2].address = 0x1F;
    v[2].faults.splitParts = 3;
    v[2].faults.garbage = true;
    v[2].faults.dropEvery = 4;
    v[3].address = 0;
    v[3].faults.badVolt = true;
    v[3].faults.badTol = true;
    v[3].slew = 0;
    return v;
}

} // namespace

// -------------------------------------------------------------------------------------------

void FuzzReply(const uint8_t *data, size_t size)
{
    std::unique_ptr<ReplyRig> &rig = TheReplyRig();
    if (!rig) {
        Check(qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr,
              QStringLiteral("the reply body needs an application object"));
        rig = std::make_unique<ReplyRig>();
    }
    rig->Reset();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    InputRandom r(data, size);
    qsizetype at[MaxLines + 1] = {};
    for (;;) {
        int open[MaxLines] = {}, n = 0;
        for (int l = 1; l <= MaxLines; ++l)
            if (at[l] < input.size())
                open[n++] = l;
        if (n == 0)
            break;
        const int l = open[r.Next(uint32_t(n))];
        const qsizetype len = qsizetype(ChunkSize(r));
        rig->Feed(l, input.mid(at[l], len), r.Next(16) == 0);
        at[l] += len;
        rig->CheckTables("a chunk");
        if (r.Next(4) == 0) {
            rig->Tick();
            rig->CheckTables("a scheduler pass");
        }
    }
    for (int i = 0; i < 4; ++i) {
        rig->Tick();
        rig->CheckTables("the closing scheduler passes");
    }
    rig->RemoveRecordings();
}

void FuzzPrgFile(const uint8_t *data, size_t size)
{
    const QString path = WorkDir().filePath(QStringLiteral("input.prg"));
    Check(WriteInput(path, data, size), QStringLiteral("cannot write the input file"));

    FillMarker(EditSteps);
    VoltageProgram before;
    std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(before));
    try {
        LoadProgramFile(path);
    } catch (const EConvertError &) {
        for (int i = 0; i < ProgramSize; ++i)
            Check(SameStep(EditSteps[i], before[i]),
                  QStringLiteral("a refused file changed step %1").arg(i));
        return;
    }
    for (int i = 0; i < ProgramSize; ++i) {
        const ProgramStep &s = EditSteps[i];
        Check(s.Next >= 0 && s.Next <= MaxStepNo,
              QStringLiteral("step %1 goes on to %2").arg(i).arg(s.Next));
        Check(s.U == std::trunc(s.U) && std::abs(s.U) <= 2147483648.0,
              QStringLiteral("step %1 has the voltage %2").arg(i).arg(s.U));
    }

    // What was loaded is saved and loads again to the same table.
    VoltageProgram loaded;
    std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(loaded));
    const QString copy = WorkDir().filePath(QStringLiteral("copy.prg"));
    SaveProgramFile(copy);
    const QByteArray saved = ReadAll(copy);
    Check(saved.count("\r\n") == ProgramSize && saved.endsWith("\r\n"),
          QStringLiteral("the saved file is not %1 CR LF lines").arg(ProgramSize));
    FillMarker(EditSteps);
    LoadProgramFile(copy);
    for (int i = 0; i < ProgramSize; ++i)
        Check(SameStep(EditSteps[i], loaded[i]),
              QStringLiteral("step %1 reads back as \"%2\" after saving \"%3\"")
                  .arg(i)
                  .arg(ProgramFileLine(i, EditSteps[i]))
                  .arg(ProgramFileLine(i, loaded[i])));
}

void FuzzSettings(const uint8_t *data, size_t size)
{
    const QString path = WorkDir().filePath(QStringLiteral("ardemo.INI"));
    Check(WriteInput(path, data, size), QStringLiteral("cannot write the input file"));
    const QString setup = QStringLiteral("Setup");
    TIniFile ini(path);

    struct Values
    {
        QString lang, path, port;
        int32_t maxX = 0, maxY = 0;
    };
    auto read = [&] {
        Values v;
        v.lang = ini.ReadString(setup, QStringLiteral("Lang"), QStringLiteral("cz"));
        v.path = ini.ReadString(setup, QStringLiteral("Path"), QStringLiteral("/home/"));
        v.maxX = ini.ReadInteger(setup, QStringLiteral("MaxX"), 120);
        v.maxY = ini.ReadInteger(setup, QStringLiteral("MaxY"), 300);
        v.port = ini.ReadString(QStringLiteral("Ports"), QStringLiteral("COM1"), QString());
        return v;
    };
    auto writeBack = [&](const Values &v) {
        ini.WriteString(setup, QStringLiteral("Lang"), v.lang);
        ini.WriteString(setup, QStringLiteral("Path"), v.path);
        ini.WriteInteger(setup, QStringLiteral("MaxX"), v.maxX);
        ini.WriteInteger(setup, QStringLiteral("MaxY"), v.maxY);
    };
    auto show = [](const QString &s) {
        return QString::fromLatin1(s.toUtf8().toPercentEncoding(" /=;[]"));
    };

    const Values first = read();
    for (const QString *v : {&first.lang, &first.path, &first.port})
        Check(v->size() <= TIniFile::MaxValueLength,
              QStringLiteral("a value of %1 characters").arg(v->size()));
    writeBack(first);
    const QByteArray written = ReadAll(path);
    const Values again = read();
    Check(
        again.lang == first.lang,
        QStringLiteral("Lang \"%1\" reads back as \"%2\"").arg(show(first.lang), show(again.lang)));
    Check(
        again.path == first.path,
        QStringLiteral("Path \"%1\" reads back as \"%2\"").arg(show(first.path), show(again.path)));
    Check(again.maxX == first.maxX && again.maxY == first.maxY,
          QStringLiteral("MaxX/MaxY %1/%2 read back as %3/%4")
              .arg(first.maxX)
              .arg(first.maxY)
              .arg(again.maxX)
              .arg(again.maxY));
    Check(again.port == first.port, QStringLiteral("a key of another section changed"));
    for (const char *key : {"Lang", "Path", "MaxX", "MaxY"})
        Check(ini.ValueExists(setup, QLatin1String(key)),
              QStringLiteral("%1 is missing after writing it").arg(QLatin1String(key)));

    // Only the four keys' lines may change: every other line of the file stays. A key
    // replaced in place loses its old line; up to two lines (a blank and the section
    // header) and the four keys may be new.
    auto lines = [](const QByteArray &all) {
        QList<QByteArray> v = all.split('\n');
        if (all.endsWith('\n') || all.isEmpty())
            v.removeLast();
        for (QByteArray &l : v)
            if (l.endsWith('\r'))
                l.chop(1);
        return v;
    };
    QList<QByteArray> after = lines(written);
    int lost = 0;
    for (const QByteArray &l :
         lines(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)))) {
        const qsizetype i = after.indexOf(l);
        if (i >= 0)
            after.removeAt(i);
        else
            ++lost;
    }
    Check(lost <= 4, QStringLiteral("%1 lines of the file were lost").arg(lost));
    Check(after.size() <= 6, QStringLiteral("%1 lines were added").arg(after.size()));

    // Writing the same values again changes nothing.
    writeBack(again);
    Check(ReadAll(path) == written, QStringLiteral("a second write-back changed the file"));
}

void FuzzSimFrame(const uint8_t *data, size_t size)
{
    InputRandom r(data, size);
    sim::SimLine line(SimSources(), 0);
    for (sim::SimSource &s : line.Sources()) {
        const double fixed = s.Address() == 5 ? 0.75 : -1.0;
        s.SetNoiseSource([fixed] { return fixed; });
    }
    sim::FrameAssembler assembler;
    std::int64_t now = 0;
    size_t at = 0;
    while (at < size) {
        const size_t len = std::min(size - at, ChunkSize(r));
        const std::string_view chunk(reinterpret_cast<const char *>(data) + at, len);
        at += len;
        for (const std::string &frame : assembler.Feed(chunk)) {
            const QString what =
                QStringLiteral("frame \"%1\" ").arg(QString::fromStdString(sim::Printable(frame)));
            Check(!frame.empty() && frame.front() == '@' &&
                      frame.size() <= sim::FrameAssembler::MaxFrame,
                  what + "is not one frame");
            Check(frame.back() == '\r' || frame.size() == sim::FrameAssembler::MaxFrame,
                  what + "ends early");
            Check(frame.find('@', 1) == std::string::npos && frame.find('\r') >= frame.size() - 1,
                  what + "holds more than one frame");

            const sim::ParsedFrame parsed = sim::ParseRequest(frame);
            if (parsed.status == sim::FrameStatus::Ok) {
                const sim::Request &q = parsed.request;
                Check(q.address >= 0 && q.address <= 255, what + "has no address");
                // The source reads hexadecimal digits in either case (the checksum counts
                // them as sent); the program writes upper case, and such a frame builds
                // back byte for byte.
                const std::string built = sim::BuildRequest(q.address, q.command, q.value);
                bool lower = false;
                for (size_t i : {size_t(1), size_t(2), frame.size() - 3, frame.size() - 2})
                    lower = lower || std::islower(uint8_t(frame[i]));
                Check(lower || built == frame, what + "does not build back from what was read");
                const sim::ParsedFrame again = sim::ParseRequest(built);
                Check(again.status == sim::FrameStatus::Ok && again.request.address == q.address &&
                          again.request.command == q.command && again.request.value == q.value,
                      what + "reads differently once built again");
            }

            now += r.Next(2000);
            const sim::Outcome out = line.Handle(frame, now);
            if (!out.accepted)
                continue;
            Check(parsed.status == sim::FrameStatus::Ok, what + "answered though unreadable");
            const sim::Request &q = parsed.request;
            sim::SimSource *src = line.Find(q.address);
            Check(src != nullptr, what + "answered by no source");
            const sim::Reply &rep = out.reply;
            std::string joined;
            for (const sim::ReplyWrite &w : rep.writes) {
                Check(w.offsetMs >= 0, what + "has a write before the request");
                joined += w.bytes;
            }
            Check(joined == rep.text, what + "writes differ from the reply");
            Check(!rep.dropped || rep.writes.empty(), what + "dropped reply was sent");
            if (!rep.text.empty()) {
                const std::string head = "#" + Hex2(q.address);
                const size_t start = rep.text.find('#');
                Check(start != std::string::npos && rep.text.compare(start, 3, head) == 0,
                      what + "reply does not start with " + QString::fromStdString(head));
                Check(rep.text.find('\r') == rep.text.size() - 1,
                      what + "reply is not one line ending in CR");
                Check(rep.text.find('#', start + 1) == std::string::npos,
                      what + "reply holds a second '#'");
                CheckReplyBody(q, rep.text.substr(start + 3, rep.text.size() - start - 4), frame);
            }
            Check(src->SetVoltage() >= 0 && src->SetVoltage() <= sim::MaxVolts &&
                      src->Tolerance() >= 0 && src->Tolerance() <= 9 && src->Level() >= 0 &&
                      src->Level() <= sim::MaxVolts,
                  what + "left the source out of its range");
        }
    }
}

void FuzzRelease()
{
    TheReplyRig().reset();
}
