#include "afportmap.h"

#include "cp1250.h"
#include "inifile.h"

#include <sys/stat.h>

#include <mutex>

namespace {

std::mutex g_mapMutex;
QString g_mapFile;

// The value of key COM<number> in section [Ports], or empty. Read by the settings file's own
// reader, so that the file means the same to both. The code page gives every byte a
// character and back, so a device path comes out with the bytes it has in the file.
QByteArray LookUp(const QString &file, int number)
{
    if (file.isEmpty())
        return {};
    return ToCp1250(TIniFile(file).ReadString(QStringLiteral("Ports"),
                                              QStringLiteral("COM%1").arg(number), QString()));
}

QByteArray DefaultDevicePath(int number)
{
    return "/dev/ttyS" + QByteArray::number(number - 1);
}

} // namespace

void AfSetPortMapFile(const QString &iniPath)
{
    std::lock_guard lock(g_mapMutex);
    g_mapFile = iniPath;
}

QString AfPortMapFile()
{
    std::lock_guard lock(g_mapMutex);
    return g_mapFile;
}

QByteArray AfPortDevicePath(int number)
{
    const QByteArray mapped = LookUp(AfPortMapFile(), number);
    if (!mapped.isEmpty())
        return mapped;
    return DefaultDevicePath(number);
}

TAfPortInfo AfPortInfo(int number)
{
    TAfPortInfo info;
    const QByteArray mapped = LookUp(AfPortMapFile(), number);
    info.Mapped = !mapped.isEmpty();
    info.Path = info.Mapped ? mapped : DefaultDevicePath(number);
    struct stat st;
    info.Present = ::stat(info.Path.constData(), &st) == 0;
    return info;
}
