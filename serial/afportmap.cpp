#include "afportmap.h"

#include <QFile>

#include <sys/stat.h>

#include <mutex>

namespace {

std::mutex g_mapMutex;
QString g_mapFile;

// The value of key COM<number> in section [Ports], or empty. The file may be CP1250; section
// and key names and the device paths are ASCII, so the bytes are compared as they are.
QByteArray LookUp(const QString &file, int number)
{
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray key = "com" + QByteArray::number(number);
    bool inPorts = false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            const int close = line.indexOf(']');
            const QByteArray name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inPorts = name.toLower() == "ports";
            continue;
        }
        const int eq = line.indexOf('=');
        if (!inPorts || eq < 0 || line.left(eq).trimmed().toLower() != key)
            continue;
        QByteArray value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
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
