#include "cp1250.h"

#include <algorithm>
#include <array>

namespace {

// The upper half of the code page, bytes 80..FF, as the standard Windows-1250 mapping has
// it. The lower half is ASCII. The five bytes the code page leaves undefined read as the
// control character of the same number, so that a value read and written back keeps its
// bytes. Held here rather than asked of the system: a system without its conversion modules
// would turn every Czech letter into "?".
constexpr std::array<char16_t, 128> Upper = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

// The other direction: the upper half's characters in order, each with its byte.
struct TBack
{
    char16_t code;
    uint8_t byte;
};

constexpr std::array<TBack, 128> MakeBack()
{
    std::array<TBack, 128> back{};
    for (size_t i = 0; i < Upper.size(); ++i)
        back[i] = {Upper[i], uint8_t(0x80 + i)};
    std::sort(back.begin(), back.end(),
              [](const TBack &a, const TBack &b) { return a.code < b.code; });
    return back;
}

constexpr std::array<TBack, 128> Back = MakeBack();

constexpr bool OneByteEach()
{
    for (size_t i = 0; i < Back.size(); ++i)
        if (Back[i].code < 0x80 || (i > 0 && Back[i].code == Back[i - 1].code))
            return false;
    return true;
}
static_assert(OneByteEach(), "each character of the upper half has exactly one byte");

char ByteOf(char32_t c)
{
    if (c < 0x80)
        return char(c);
    const auto it = std::lower_bound(Back.begin(), Back.end(), c,
                                     [](const TBack &b, char32_t v) { return b.code < v; });
    return it != Back.end() && it->code == c ? char(it->byte) : '?';
}

} // namespace

QByteArray ToCp1250(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    // By code point, so that a character outside the basic plane is one "?", not two.
    for (char32_t c : text.toUcs4())
        out.append(ByteOf(c));
    return out;
}

QString FromCp1250(const QByteArray &bytes)
{
    QString s(bytes.size(), Qt::Uninitialized);
    QChar *d = s.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uint8_t b = uint8_t(bytes[i]);
        d[i] = QChar(b < 0x80 ? char16_t(b) : Upper[b - 0x80]);
    }
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
