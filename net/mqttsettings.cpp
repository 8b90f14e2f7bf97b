#include "mqttsettings.h"

#include "inifile.h"

#include <QFileInfo>
#include <QSysInfo>

namespace {
const QString Section = QStringLiteral("MQTT");

// A topic level of the host name: no wildcard or separator may slip into the prefix.
QString HostLevel()
{
    QString h = QSysInfo::machineHostName();
    for (QChar &c : h)
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#'))
            c = QLatin1Char('_');
    return h.isEmpty() ? QStringLiteral("station") : h;
}
} // namespace

QString TMqttSettings::Broker() const
{
    return Host + QLatin1Char(':') + QString::number(Port);
}

TMqttSettings ReadMqttSettings(const TIniFile &Ini)
{
    TMqttSettings s;
    s.Host = Ini.ReadString(Section, QStringLiteral("Host"), QString());
    if (s.Host.isEmpty())
        return s;
    const QString port = Ini.ReadString(Section, QStringLiteral("Port"), QStringLiteral("1883"));
    bool ok = false;
    s.Port = port.toInt(&ok);
    if (!ok || s.Port < 1 || s.Port > 65535)
        s.Problem = QStringLiteral("Port=%1 is not a port number (1 to 65535)").arg(port);
    s.ClientId = Ini.ReadString(Section, QStringLiteral("ClientId"),
                                QStringLiteral("ardemo-") + HostLevel());
    s.Prefix =
        Ini.ReadString(Section, QStringLiteral("Prefix"), QStringLiteral("ardemo/") + HostLevel());
    while (s.Prefix.endsWith(QLatin1Char('/')))
        s.Prefix.chop(1);
    if (s.Prefix.isEmpty() || s.Prefix.contains(QLatin1Char('+')) ||
        s.Prefix.contains(QLatin1Char('#')))
        s.Problem =
            QStringLiteral("Prefix=%1 is not a topic (no '+', '#', not empty)").arg(s.Prefix);
    s.User = Ini.ReadString(Section, QStringLiteral("User"), QString());
    s.Password = Ini.ReadString(Section, QStringLiteral("Password"), QString());
    s.CaFile = Ini.ReadString(Section, QStringLiteral("CaFile"), QString());
    if (!s.CaFile.isEmpty() && !QFileInfo(s.CaFile).isReadable())
        s.Problem = QStringLiteral("CaFile=%1 cannot be read").arg(s.CaFile);
    s.AllowControl = Ini.ReadInteger(Section, QStringLiteral("AllowControl"), 0) == 1;
    return s;
}
