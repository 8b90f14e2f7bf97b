#include "messages.h"

#include "global.h"
#include "recording.h"
#include "requests.h"
#include "sysutils.h"

#include <QColor>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>

namespace {

// The type and the serial number of an identification, as UTF-8 without the blanks around:
// the serial follows the mark, and the reply's carriage return stays in the panel's text.
void TypeAndSerial(const TDevice &d, QByteArray *type, QByteArray *serial)
{
    const qsizetype at = d.TypeText.indexOf(TypeSerialMark);
    const QStringView text(d.TypeText);
    *type = (at < 0 ? text : text.left(at)).trimmed().toUtf8();
    *serial = at < 0 ? QByteArray() : text.mid(at + TypeSerialMark.size()).trimmed().toUtf8();
}

// A JSON object written straight into its bytes, keys in the order given: a state goes out
// for every changed reading of fifty sources, and this is several times cheaper than a
// document built and then written.
class TObject
{
public:
    explicit TObject(QByteArray &out) : m_out(out) { m_out += '{'; }
    ~TObject() { m_out += '}'; }

    QByteArray &Key(const char *key)
    {
        if (!m_first)
            m_out += ',';
        m_first = false;
        m_out += '"';
        m_out += key;
        m_out += "\":";
        return m_out;
    }
    void Number(const char *key, double v)
    {
        QByteArray &o = Key(key);
        if (v == std::floor(v) && std::fabs(v) < 1e15) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, qint64(v)).ptr;
            o.append(digits, end - digits);
        } else if (std::isfinite(v))
            o += QByteArray::number(v, 'g', 12);
        else
            o += "null";
    }
    // Members written before, as they stand.
    void Raw(const QByteArray &members)
    {
        if (!m_first)
            m_out += ',';
        m_first = false;
        m_out += members;
    }
    void Bool(const char *key, bool v) { Key(key) += v ? "true" : "false"; }
    void Null(const char *key) { Key(key) += "null"; }
    void String(const char *key, const QString &v) { Text(key, v.toUtf8()); }
    // A text already in UTF-8.
    void Text(const char *key, QByteArrayView v)
    {
        QByteArray &o = Key(key);
        o += '"';
        // The source's own texts may hold anything: quotes, backslashes and control
        // characters are escaped, the rest goes as UTF-8.
        for (const char c : v) {
            if (c == '"' || c == '\\') {
                o += '\\';
                o += c;
            } else if (uchar(c) < 0x20) {
                o += "\\u00";
                o += "0123456789abcdef"[uchar(c) >> 4];
                o += "0123456789abcdef"[uchar(c) & 15];
            } else {
                o += c;
            }
        }
        o += '"';
    }

private:
    QByteArray &m_out;
    bool m_first = true;
};

// Who the source in a slot is (slot, line, address, type, serial), as the members of a JSON
// object, kept while the source stays the same: the type text is long and its writing was
// the larger part of every state.
struct TIdentityBytes
{
    int line = 0, address = 0;
    QString typeText;
    QByteArray bytes; // without the object's braces
};

const QByteArray &IdentityBytes(int slot, const TDevice &d)
{
    static TIdentityBytes cache[MaxDevices + 1];
    TIdentityBytes &c = cache[slot];
    if (c.bytes.isEmpty() || c.line != d.Line || c.address != d.Address ||
        c.typeText != d.TypeText) {
        QByteArray type, serial;
        TypeAndSerial(d, &type, &serial);
        QByteArray out;
        {
            TObject o(out);
            o.Number("slot", slot);
            o.String("line", LineLetter(d.Line));
            o.Number("address", d.Address);
            o.Text("type", type);
            o.Text("serial", serial);
        }
        c = TIdentityBytes{d.Line, d.Address, d.TypeText, out.mid(1, out.size() - 2)};
    }
    return c.bytes;
}

bool IsUsed(int slot)
{
    return slot >= 1 && slot <= MaxDevices && Devices[slot].Used;
}

// A whole number within [lo, hi], as the panel's entries take it.
bool WholeIn(const QJsonValue &v, int lo, int hi, int *out)
{
    if (!v.isDouble())
        return false;
    const double x = v.toDouble();
    if (x != std::floor(x) || x < lo || x > hi)
        return false;
    *out = int(x);
    return true;
}

// The payload as a JSON object with at least one key, or the reason why not.
QString ReadObject(const QByteArray &payload, QJsonObject *out)
{
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &err);
    if (err.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON (at character %1)").arg(err.offset);
    if (!doc.isObject())
        return QStringLiteral("not a JSON object");
    if (doc.object().isEmpty())
        return QStringLiteral("no command in the object");
    *out = doc.object();
    return {};
}

} // namespace

int ProgramSeconds(int Slot)
{
    if (!IsUsed(Slot) || Devices[Slot].StepNo <= 0)
        return 0;
    return int(uint32_t(GetTickCount() - Devices[Slot].StepTick) / 1000u);
}

QByteArray StateJson(int Slot)
{
    return StateJson(Slot, ProgramSeconds(Slot));
}

QByteArray StateJson(int Slot, int Seconds)
{
    if (!IsUsed(Slot))
        return {};
    const TDevice &d = Devices[Slot];
    const bool answering = d.Link == lkAnswering;
    const bool running = d.StepNo > 0;
    QByteArray out;
    out.reserve(360);
    {
        TObject o(out);
        o.Raw(IdentityBytes(Slot, d));
        o.Bool("answering", answering);
        // A reading is known only from a source that answers and gave a readable one.
        if (answering && d.U >= 0)
            o.Number("u", d.U);
        else
            o.Null("u");
        o.Number("uSet", d.USet);
        if (answering)
            o.Number("tol", d.Tol);
        else
            o.Null("tol");
        o.Bool("out", d.OutOn);
        o.Bool("sta", d.StaOn);
        o.Bool("canStabilise", d.CanStab);
        o.Bool("recording", d.Recording);
        o.Key("program");
        TObject p(out);
        p.Bool("running", running);
        p.Number("step", running ? d.StepNo : 0);
        p.Number("seconds", running ? Seconds : 0);
    }
    return out;
}

QByteArray SourcesJson()
{
    QByteArray out = "[";
    for (int s = 1; s <= MaxDevices; ++s) {
        if (!IsUsed(s))
            continue;
        if (out.size() > 1)
            out += ',';
        TObject o(out);
        o.Raw(IdentityBytes(s, Devices[s]));
        o.String("color", QColor::fromRgb(Devices[s].Color).name().toUpper());
    }
    out += ']';
    return out;
}

QString TakeSourceCommand(int Slot, const QByteArray &Payload, const TCommandRules &Rules)
{
    if (!Rules.AllowControl)
        return QStringLiteral("commands are not allowed on this station (AllowControl=0)");
    if (!IsUsed(Slot))
        return QStringLiteral("no source in slot %1").arg(Slot);
    QJsonObject o;
    if (const QString why = ReadObject(Payload, &o); !why.isEmpty())
        return why;
    const TDevice &d = Devices[Slot];
    // The panel's controls are off while the source does not answer.
    if (d.Link == lkSilent)
        return QStringLiteral("source %1 does not answer").arg(Slot);

    // Everything is checked before anything is taken: a command is taken whole or not at all.
    int u = -1, tol = -1, program = -1;
    int out = -1, sta = -1;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        const QJsonValue v = it.value();
        if (key == QLatin1String("u")) {
            if (!WholeIn(v, 0, 255, &u))
                return QStringLiteral("\"u\" must be a whole number of volts 0 to 255");
        } else if (key == QLatin1String("tol")) {
            if (!WholeIn(v, 1, 9, &tol))
                return QStringLiteral("\"tol\" must be a whole number 1 to 9");
            if (!d.CanStab)
                return QStringLiteral("source %1 cannot stabilise").arg(Slot);
        } else if (key == QLatin1String("out") || key == QLatin1String("sta")) {
            if (!v.isBool())
                return QStringLiteral("\"%1\" must be true or false").arg(key);
            if (key == QLatin1String("sta") && !d.CanStab)
                return QStringLiteral("source %1 cannot stabilise").arg(Slot);
            (key == QLatin1String("out") ? out : sta) = v.toBool() ? 1 : 0;
        } else if (key == QLatin1String("program")) {
            const QString what = v.toString();
            if (what != QLatin1String("start") && what != QLatin1String("stop"))
                return QStringLiteral("\"program\" must be \"start\" or \"stop\"");
            program = what == QLatin1String("start") ? 1 : 0;
            if (program == 1 && d.StepNo > 0)
                return QStringLiteral("the program of source %1 is already running").arg(Slot);
            if (!Rules.RunProgram)
                return QStringLiteral("programs cannot be run from here");
        } else {
            return QStringLiteral("unknown key \"%1\"").arg(key);
        }
    }

    if (out >= 0)
        RequestOutput(Slot, out == 1);
    if (sta >= 0)
        RequestStabilisation(Slot, sta == 1);
    if (tol >= 0)
        RequestTolerance(Slot, tol, true);
    if (program >= 0 && (program == 1 || d.StepNo > 0))
        Rules.RunProgram(Slot, program == 1);
    if (u >= 0) {
        // As the panel's SET button: the value sent and a recording row written.
        RequestVoltage(Slot, u, true);
        RecordIfOn(Slot);
    }
    return {};
}

QString TakeAllCommand(const QByteArray &Payload, const TCommandRules &Rules)
{
    if (!Rules.AllowControl)
        return QStringLiteral("commands are not allowed on this station (AllowControl=0)");
    QJsonObject o;
    if (const QString why = ReadObject(Payload, &o); !why.isEmpty())
        return why;
    const QString only = QStringLiteral(
        "every source takes {\"out\": true}, {\"out\": false} or {\"u\": 0}, one at a time");
    if (o.size() != 1)
        return only;
    if (o.contains(QLatin1String("out")) && o.value(QLatin1String("out")).isBool()) {
        RequestOutputAll(o.value(QLatin1String("out")).toBool());
        return {};
    }
    int u = -1;
    if (o.contains(QLatin1String("u")) && WholeIn(o.value(QLatin1String("u")), 0, 0, &u)) {
        RequestZeroAll(true);
        return {};
    }
    return only;
}

QByteArray ErrorJson(const QString &Reason, const QByteArray &Command)
{
    QByteArray out;
    {
        TObject o(out);
        o.String("command", QString::fromUtf8(Command));
        o.String("error", Reason);
    }
    return out;
}
