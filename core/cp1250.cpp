#include "cp1250.h"

#include <QHash>
#include <QStringList>
#include <array>
#include <iconv.h>

namespace {

// Both directions of the code page as tables, built once through iconv.
struct TCp1250
{
    std::array<char16_t, 256> toUnicode{};
    QHash<char32_t, char> fromUnicode;

    TCp1250()
    {
        iconv_t cd = iconv_open("UTF-16LE", "CP1250");
        for (int b = 0; b < 256; ++b) {
            char in = char(b);
            char out[4] = {};
            char *pin = &in;
            char *pout = out;
            size_t inLeft = 1, outLeft = sizeof out;
            char16_t u = 0xFFFD; // what the code page leaves undefined
            if (cd != iconv_t(-1) && iconv(cd, &pin, &inLeft, &pout, &outLeft) != size_t(-1) &&
                outLeft == 2)
                u = char16_t(uint8_t(out[0]) | (uint8_t(out[1]) << 8));
            else if (b < 0x80)
                u = char16_t(b); // without iconv the ASCII half still reads right
            else if (cd != iconv_t(-1))
                // The five bytes the code page leaves undefined read as the control
                // character of the same number, as the system's own table has them, so
                // that a value read and written back keeps its bytes.
                u = char16_t(b);
            toUnicode[b] = u;
            if (u != 0xFFFD && !fromUnicode.contains(u))
                fromUnicode.insert(u, char(b));
        }
        if (cd != iconv_t(-1))
            iconv_close(cd);
    }
};

const TCp1250 &Table()
{
    static const TCp1250 table;
    return table;
}

} // namespace

QByteArray ToCp1250(const QString &text)
{
    const TCp1250 &t = Table();
    QByteArray out;
    out.reserve(text.size());
    // By code point, so that a character outside the basic plane is one "?", not two.
    for (char32_t c : text.toUcs4()) {
        const auto it = t.fromUnicode.constFind(c);
        out.append(it != t.fromUnicode.constEnd() ? *it : '?');
    }
    return out;
}

QString FromCp1250(const QByteArray &bytes)
{
    const TCp1250 &t = Table();
    QString s(bytes.size(), Qt::Uninitialized);
    QChar *d = s.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = QChar(t.toUnicode[uint8_t(bytes[i])]);
    return s;
}

QByteArray Cp1250Lines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines) {
        out += ToCp1250(l);
        out += "\r\n";
    }
    return out;
}
