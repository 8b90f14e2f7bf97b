#include "inifile.h"

#include "cp1250.h"
#include "sysutils.h"

#include <QFile>
#include <QSaveFile>

namespace {

// The blanks around names and values are ASCII white space only: a value's own characters,
// a device path's bytes among them, are kept as they are.
bool IsBlankChar(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

QString TrimBlanks(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && IsBlankChar(s[begin]))
        ++begin;
    while (end > begin && IsBlankChar(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

// A UTF-8 byte order mark, which an editor may put in front of the file (or of a piece
// appended from another file), is no part of the line.
QByteArray WithoutBom(const QByteArray &raw)
{
    return raw.startsWith("\xEF\xBB\xBF") ? raw.mid(3) : raw;
}

bool IsBlank(const QByteArray &raw)
{
    return TrimBlanks(FromCp1250(WithoutBom(raw))).isEmpty();
}

// The parts of one decoded line.
struct TParsed
{
    enum { Other, Section, Key } kind = Other;
    QString name;
    QString value;
};

TParsed Parse(const QByteArray &raw)
{
    TParsed p;
    const QString line = TrimBlanks(FromCp1250(WithoutBom(raw)));
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
        return p;
    if (line.startsWith(QLatin1Char('['))) {
        // A header that lacks its closing bracket still names its section.
        const qsizetype close = line.indexOf(QLatin1Char(']'));
        p.kind = TParsed::Section;
        p.name = TrimBlanks(line.mid(1, close < 0 ? -1 : close - 1));
        return p;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return p; // not a key line: kept, never matched
    p.kind = TParsed::Key;
    p.name = TrimBlanks(line.left(eq));
    p.value = TrimBlanks(line.mid(eq + 1));
    return p;
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value as it stands in its line: reading drops the blanks around a value and one pair
// of enclosing quotes, so a value that has either keeps them inside a pair of quotes of
// its own, and reads back as it was written.
QString StoredValue(const QString &value)
{
    const bool quoted = value.size() >= 2 &&
                        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
                        value.back() == value.front();
    if (quoted || TrimBlanks(value) != value)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

} // namespace

TIniFile::TIniFile(const QString &fileName) : m_fileName(fileName) {}

TIniFile::TLines TIniFile::load() const
{
    TLines lines;
    QFile f(m_fileName);
    if (!f.open(QIODevice::ReadOnly))
        return lines; // a missing or unreadable file reads as empty
    const QByteArray all = f.readAll();
    if (all.isEmpty())
        return lines;
    const QList<QByteArray> parts = all.split('\n');
    lines.raw.reserve(parts.size());
    for (const QByteArray &p : parts)
        lines.raw.push_back(p.endsWith('\r') ? p.left(p.size() - 1) : p);
    if (all.endsWith('\n'))
        lines.raw.pop_back(); // the empty piece after the last line end
    return lines;
}

TIniFile::TFound TIniFile::find(const TLines &lines, const QString &section, const QString &key)
{
    TFound found;
    // A section written twice (a piece added by hand at the end of the file) reads as one:
    // its keys are looked for in every part, and new keys go into the first.
    bool inSection = false;
    bool inFirst = false;
    for (int i = 0; i < int(lines.raw.size()); ++i) {
        const TParsed p = Parse(lines.raw[i]);
        if (p.kind == TParsed::Section) {
            inSection = SameName(p.name, section);
            inFirst = inSection && found.sectionLine < 0;
            if (inFirst)
                found.sectionLine = found.lastLine = i;
            continue;
        }
        if (!inSection)
            continue;
        if (inFirst && !IsBlank(lines.raw[i]))
            found.lastLine = i;
        if (p.kind == TParsed::Key && found.keyLine < 0 && SameName(p.name, key)) {
            found.keyLine = i;
            found.value = p.value;
        }
    }
    return found;
}

void TIniFile::store(const TLines &lines) const
{
    QByteArray all;
    for (const QByteArray &l : lines.raw) {
        all += l;
        all += "\r\n";
    }
    QSaveFile f(m_fileName);
    // A folder we may not create files in, but a file we may write: write it in place.
    f.setDirectWriteFallback(true);
    // The explicit flush matters: commit() alone does not see a write error of its own
    // final flush and would put a truncated file in place.
    if (!f.open(QIODevice::WriteOnly) || f.write(all) != all.size() || !f.flush() || !f.commit())
        throw EIniFileException(
            QStringLiteral("Unable to write to %1").arg(m_fileName).toStdString());
}

namespace {
QString Unquoted(const QString &v)
{
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
        v.back() == v.front())
        return v.mid(1, v.size() - 2).left(TIniFile::MaxValueLength);
    return v.left(TIniFile::MaxValueLength);
}
} // namespace

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    const TFound f = find(load(), section, key);
    if (f.keyLine < 0)
        return def;
    return Unquoted(f.value);
}

int32_t TIniFile::ReadInteger(const QString &section, const QString &key, int32_t def) const
{
    const QString s = ReadString(section, key, QString());
    if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return StrToIntDef(QLatin1Char('$') + s.mid(2), def);
    return StrToIntDef(s, def);
}

bool TIniFile::ValueExists(const QString &section, const QString &key) const
{
    return find(load(), section, key).keyLine >= 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &text)
{
    const QString value = StoredValue(text);
    // A file that is there but cannot be read would be replaced by the few keys written
    // here, and whatever else it held would be lost: leave it alone and say so.
    if (QFile::exists(m_fileName) && !QFile(m_fileName).open(QIODevice::ReadOnly))
        throw EIniFileException(
            QStringLiteral("Unable to write to %1").arg(m_fileName).toStdString());
    TLines lines = load();
    const TFound f = find(lines, section, key);
    if (f.keyLine >= 0) {
        // Keep the key as it is spelled in the file; only the value changes.
        QByteArray &line = lines.raw[f.keyLine];
        line = line.left(line.indexOf('=')).trimmed() + '=' + ToCp1250(value);
    } else if (f.sectionLine >= 0) {
        lines.raw.insert(lines.raw.begin() + f.lastLine + 1,
                         ToCp1250(key + QLatin1Char('=') + value));
    } else {
        if (!lines.raw.empty() && !IsBlank(lines.raw.back()))
            lines.raw.emplace_back();
        lines.raw.push_back(ToCp1250(QLatin1Char('[') + section + QLatin1Char(']')));
        lines.raw.push_back(ToCp1250(key + QLatin1Char('=') + value));
    }
    store(lines);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int32_t value)
{
    WriteString(section, key, QString::number(value));
}

std::vector<std::pair<QString, QString>> TIniFile::ReadSection(const QString &section) const
{
    std::vector<std::pair<QString, QString>> keys;
    bool inSection = false;
    for (const QByteArray &raw : load().raw) {
        const TParsed p = Parse(raw);
        if (p.kind == TParsed::Section)
            inSection = SameName(p.name, section);
        else if (inSection && p.kind == TParsed::Key)
            keys.emplace_back(p.name, Unquoted(p.value));
    }
    return keys;
}

void TIniFile::ReplaceSection(const QString &section,
                              const std::vector<std::pair<QString, QString>> &keys)
{
    if (QFile::exists(m_fileName) && !QFile(m_fileName).open(QIODevice::ReadOnly))
        throw EIniFileException(
            QStringLiteral("Unable to write to %1").arg(m_fileName).toStdString());
    const TLines old = load();
    TLines lines;
    int header = -1;
    bool inSection = false;
    for (const QByteArray &raw : old.raw) {
        const TParsed p = Parse(raw);
        if (p.kind == TParsed::Section) {
            inSection = SameName(p.name, section);
            if (inSection && header < 0)
                header = int(lines.raw.size());
        } else if (inSection && p.kind == TParsed::Key) {
            continue;
        }
        lines.raw.push_back(raw);
    }
    if (header < 0) {
        if (keys.empty())
            return; // nothing there and nothing to put: the file is not touched
        if (!lines.raw.empty() && !IsBlank(lines.raw.back()))
            lines.raw.emplace_back();
        header = int(lines.raw.size());
        lines.raw.push_back(ToCp1250(QLatin1Char('[') + section + QLatin1Char(']')));
    }
    std::vector<QByteArray> put;
    for (const auto &[key, value] : keys)
        put.push_back(ToCp1250(key + QLatin1Char('=') + StoredValue(value)));
    lines.raw.insert(lines.raw.begin() + header + 1, put.begin(), put.end());
    store(lines);
}
