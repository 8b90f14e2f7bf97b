#include "recording.h"

#include "cp1250.h"
#include "global.h"
#include "sysutils.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

QString PlainName(int slot, int address)
{
    return QStringLiteral("Dev_no%1 adr.%2.csv").arg(slot).arg(address);
}

QString CountedName(int slot, int address, int counter)
{
    return QStringLiteral("Dev_no%1 adr.%2_%3.csv")
        .arg(slot)
        .arg(address)
        .arg(FormatWhole(counter, 3));
}

// The separator between hours, minutes and seconds in the locale's time format.
QString TimeSeparator()
{
    const QString f = QLocale().timeFormat(QLocale::ShortFormat);
    for (qsizetype i = 0; i + 1 < f.size(); ++i) {
        if ((f.at(i) == u'h' || f.at(i) == u'H') && f.at(i + 1) != u'h' && f.at(i + 1) != u'H') {
            const QChar c = f.at(i + 1);
            if (!c.isLetterOrNumber() && !c.isSpace() && c != u'\'')
                return QString(c);
            break;
        }
    }
    return QStringLiteral(":");
}

// Appends the bytes and closes the file again, so that other programs can read it while
// the recording goes on. A missing file is created.
bool AppendBytes(const QString &name, const QByteArray &bytes)
{
    if (name.isEmpty())
        return false;
    QFile f(name);
    // Unbuffered, so that nothing of a failed row is left to be written at close.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const qint64 before = f.size();
    const bool ok = f.write(bytes) == bytes.size();
    // A full disk may take part of a row; the part would run into the next row.
    if (!ok)
        f.resize(before);
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

// A recording that cannot be written shows on the source's record box, red with the file
// named in its hint, until a row gets through again; the rows keep being tried.
void NoteWritten(int slot, bool written)
{
    TDevice &d = Devices[slot];
    d.RecordFailing = !written;
    ++d.RecordTries;
    d.Dirty = true;
}

} // namespace

QString RecordRowText(const QDateTime &when, double U, double USet)
{
    const QString sep = TimeSeparator();
    const QDate d = when.date();
    const QTime t = when.time();
    const QString stamp = QString::number(d.day()) + sep + QString::number(d.month()) + sep +
                          QString::number(d.year()).rightJustified(4, u'0') + u' ' +
                          FormatWhole(t.hour(), 2) + sep + FormatWhole(t.minute(), 2) + sep +
                          FormatWhole(t.second(), 2) + u'.' + FormatWhole(t.msec(), 3);
    return stamp + u';' + FormatWhole(U, 1) + u';' + FormatWhole(USet, 1);
}

bool RecordFailing(int Slot)
{
    return Slot >= 1 && Slot <= MaxDevices && Devices[Slot].RecordFailing;
}

void StartRecording(int Slot)
{
    TDevice &d = Devices[Slot];
    QString name = PlainName(Slot, d.Address);
    for (int counter = 1; QFileInfo::exists(name); ++counter)
        name = CountedName(Slot, d.Address, counter);
    d.RecFile = name;
    const QByteArray header =
        Cp1250Lines({QStringLiteral("Zdroj č.%1 adr.%2").arg(Slot).arg(d.Address),
                     QStringLiteral("Datum a čas;U [V];Uset [V]")});
    NoteWritten(Slot, AppendBytes(name, header));
}

void WriteRecordRow(int Slot)
{
    TDevice &d = Devices[Slot];
    // A box ticked without its click (no file chosen yet) still gets a file of its own
    // rather than rows written nowhere.
    if (d.RecFile.isEmpty())
        StartRecording(Slot);
    const QByteArray row = Cp1250Lines({RecordRowText(CurrentDateTime(), d.U, d.USet)});
    NoteWritten(Slot, AppendBytes(d.RecFile, row));
}

void RecordIfOn(int Slot)
{
    if (Slot >= 1 && Slot <= MaxDevices && Devices[Slot].Recording)
        WriteRecordRow(Slot);
}
