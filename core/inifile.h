#pragma once

// A profile (INI) file read and written by section and key, line by line, so that every
// line this program does not own - other sections, other keys, comments, even lines that
// are not text - stays exactly as it was. The file is 8-bit Windows-1250 text with CR LF
// line ends; every read and every write goes straight to the file.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

class EIniFileException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TIniFile
{
public:
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString &fileName);
    QString FileName() const { return m_fileName; }

    // Section and key names compare without regard to case, as the profile functions do.
    // A value is read without the blanks (ASCII white space) around it and without one pair
    // of enclosing quotes or apostrophes, and is cut to MaxValueLength characters. A UTF-8
    // byte order mark at the start of a line is skipped, a section header without its
    // closing bracket still counts, and a section that appears more than once reads as one:
    // the first appearance of a key in any of its parts is the one read and written.
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives def.
    int32_t ReadInteger(const QString &section, const QString &key, int32_t def) const;
    bool ValueExists(const QString &section, const QString &key) const;

    // A value with blanks around it or enclosing quotes is written inside quotes, so that
    // it reads back unchanged. Replaces the key's value in place, or adds the key at the end of
    // (the first part of) its section, or adds the section at the end of the file. Throws
    // EIniFileException("Unable to write to <file>") when the file cannot be written; the file is
    // then left as it was.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int32_t value);

    // The keys of a section (every part of it) with their values as ReadString gives them,
    // in file order; a key that appears twice is listed twice.
    std::vector<std::pair<QString, QString>> ReadSection(const QString &section) const;
    // Puts exactly these keys into the section in one write: the section's key lines (in
    // every part) go, comments and other lines stay, and the keys follow the header of its
    // first part. A missing section is added at the end of the file (only when there are keys
    // to put). Throws as WriteString does.
    void ReplaceSection(const QString &section,
                        const std::vector<std::pair<QString, QString>> &keys);

private:
    struct TLines
    {
        std::vector<QByteArray> raw; // without their line ends
    };
    struct TFound
    {
        int sectionLine = -1; // header line of the section, -1 when absent
        int lastLine = -1;    // last non-blank line of the section
        int keyLine = -1;     // line of the key, -1 when absent
        QString value;
    };

    TLines load() const;
    static TFound find(const TLines &lines, const QString &section, const QString &key);
    void store(const TLines &lines) const;

    QString m_fileName;
};
