#include "cp1250.h"

#include <QStringList>

#include <cerrno>
#include <iconv.h>

namespace {

// One conversion through iconv; an unconvertible input character becomes `replacement`
// and the rest goes on, so a stray character never costs the whole text.
QByteArray Convert(const char *to, const char *from, const QByteArray &in, int inCharBytes,
                   const QByteArray &replacement)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return {};
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char buf[1024];
    while (srcLeft > 0) {
        char *dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, int(dst - buf));
        if (r != size_t(-1))
            continue;
        if (errno == E2BIG)
            continue; // buffer full: flushed above, go on
        // EILSEQ or EINVAL: skip one input character.
        out.append(replacement);
        size_t skip = size_t(inCharBytes);
        if (inCharBytes == 0) {
            // UTF-8: skip the lead byte and its continuation bytes.
            skip = 1;
            while (skip < srcLeft && (uchar(src[skip]) & 0xC0) == 0x80)
                ++skip;
        }
        skip = qMin(skip, srcLeft);
        src += skip;
        srcLeft -= skip;
    }
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray ToCp1250(const QString &text)
{
    return Convert("CP1250", "UTF-8", text.toUtf8(), 0, QByteArrayLiteral("?"));
}

QString FromCp1250(const QByteArray &bytes)
{
    // The five unassigned bytes of the code page come out as the replacement character.
    return QString::fromUtf8(
        Convert("UTF-8", "CP1250", bytes, 1, QByteArrayLiteral("\xEF\xBF\xBD")));
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
