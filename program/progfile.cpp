#include "progfile.h"

#include "sysutils.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

VoltageProgram EditSteps;

QString ProgramFileLine(int Index, const ProgramStep &Step)
{
    const QChar sep = QLatin1Char('/');
    return QString::number(Index) + sep + FloatToStrGeneral(Step.Time) + sep +
           FloatToStrGeneral(Step.U) + sep + FloatToStrGeneral(Step.Next);
}

void SaveProgramFile(const QString &FileName)
{
    QByteArray text;
    text.reserve(ProgramSize * 16);
    for (int i = 0; i < ProgramSize; ++i) {
        text += ProgramFileLine(i, EditSteps[i]).toLatin1();
        text += "\r\n";
    }
    // Written beside the target and renamed over it at the end, so that a failed save
    // never leaves a truncated program behind. The explicit flush matters: a write error
    // met only while commit() flushes would not stop the rename.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush() ||
        !file.commit())
        throw EFileError(QStringLiteral("Unable to write to %1").arg(FileName).toStdString());
}

namespace {

// The next line of the file without its line end; an empty line once the file is exhausted
// (or could not be opened at all).
QString ReadProgramLine(QFile &file)
{
    if (!file.isOpen())
        return QString();
    QByteArray line = file.readLine();
    const qsizetype end = line.indexOf('\r');
    if (end >= 0)
        line.truncate(end);
    else if (line.endsWith('\n'))
        line.chop(1);
    return QString::fromLatin1(line);
}

// Splits at the first "/": the part before goes to head, the rest stays in text; without
// a "/" the head is empty and the text is kept whole.
QString TakeField(QString &text)
{
    const qsizetype pos = text.indexOf(QLatin1Char('/'));
    if (pos < 0)
        return QString();
    const QString head = text.left(pos);
    text.remove(0, pos + 1);
    return head;
}

void LoadInto(QFile &file, VoltageProgram &steps)
{
    for (int i = 0; i < ProgramSize; ++i) {
        QString rest = ReadProgramLine(file);
        TakeField(rest); // the index field: line i always fills entry i
        const QString time = TakeField(rest);
        const QString u = TakeField(rest);
        const QString &next = rest;

        steps[i].Time = StrToInt(time);
        steps[i].U = StrToInt(u);
        const int32_t n = StrToInt(next);
        // The table has no entry beyond 255; a larger step number would run off its end.
        if (n < 0 || n > MaxStepNo)
            throw EConvertError(QStringLiteral("'%1' is not a valid step number (0 to %2)")
                                    .arg(next)
                                    .arg(MaxStepNo)
                                    .toStdString());
        steps[i].Next = n;
    }
}

} // namespace

void LoadProgramFile(const QString &FileName)
{
    QFile file(FileName);
    // A file that cannot be opened reads as empty lines and so fails on its first field.
    (void)file.open(QIODevice::ReadOnly);

    // A malformed file must not leave a half-read program in the editor.
    ProgramStep before[ProgramSize];
    std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(before));
    try {
        LoadInto(file, EditSteps);
    } catch (...) {
        std::copy(std::begin(before), std::end(before), std::begin(EditSteps));
        throw;
    }
}
