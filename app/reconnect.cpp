#include "reconnect.h"

#include "afcomport.h"
#include "application.h"
#include "connect.h"
#include "global.h"
#include "panels.h"
#include "services.h"
#include "strtable.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QtDebug>
#include <algorithm>

namespace {
const QString Section = QStringLiteral("Sources");
} // namespace

QString SourceKey(const TSavedSource &s)
{
    return QStringLiteral("Slot%1").arg(s.Slot);
}

QString SourceValue(const TSavedSource &s)
{
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(LineLetter(s.Line))
        .arg(s.ComNumber)
        .arg(s.Address)
        .arg(s.Colour.name().toUpper())
        .arg(s.InChart ? 1 : 0);
}

bool ParseSource(const QString &Key, const QString &Value, TSavedSource *Out)
{
    static const QRegularExpression key(QStringLiteral("^slot(\\d{1,2})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression value(QStringLiteral(
        "^\\s*([A-Da-d])\\s*,\\s*(\\d{1,3})\\s*,\\s*(\\d{1,2})\\s*,\\s*#([0-9A-Fa-f]{6})"
        "\\s*,\\s*([01])\\s*$"));
    const auto k = key.match(Key);
    const auto v = value.match(Value);
    if (!k.hasMatch() || !v.hasMatch())
        return false;
    TSavedSource s;
    s.Slot = k.captured(1).toInt();
    s.Line = v.captured(1).toUpper().front().unicode() - 'A' + 1;
    s.ComNumber = v.captured(2).toInt();
    s.Address = v.captured(3).toInt();
    s.Colour = QColor(QLatin1Char('#') + v.captured(4));
    s.InChart = v.captured(5) == QLatin1String("1");
    if (s.Slot < 1 || s.Slot > MaxDevices || s.ComNumber < 1 || s.ComNumber > 255 || s.Address > 31)
        return false;
    if (Out)
        *Out = s;
    return true;
}

std::vector<TSavedSource> ConnectedSources()
{
    std::vector<TSavedSource> list;
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        const TDevice &d = Devices[slot];
        if (!d.Used || d.Line < 1 || d.Line > MaxLines)
            continue;
        TAfComPort *port = LinePort(d.Line);
        if (!port)
            continue;
        TSavedSource s;
        s.Slot = slot;
        s.Line = d.Line;
        s.ComNumber = port->ComNumber();
        s.Address = d.Address;
        s.Colour = QColor::fromRgb(QRgb(d.Color));
        s.InChart = d.InChart;
        list.push_back(s);
    }
    return list;
}

std::vector<TSavedSource> SourcesLeftOut;

void SaveSources(TIniFile &Ini, const std::vector<TSavedSource> &NotConnected)
{
    std::vector<TSavedSource> list = ConnectedSources();
    for (const TSavedSource &s : NotConnected)
        if (!Devices[s.Slot].Used && !DevicesOnLine(s.Line) &&
            std::none_of(list.begin(), list.end(),
                         [&](const TSavedSource &o) { return o.Slot == s.Slot; }))
            list.push_back(s);
    std::sort(list.begin(), list.end(),
              [](const TSavedSource &a, const TSavedSource &b) { return a.Slot < b.Slot; });
    std::vector<std::pair<QString, QString>> keys;
    for (const TSavedSource &s : list)
        keys.emplace_back(SourceKey(s), SourceValue(s));
    Ini.ReplaceSection(Section, keys);
}

std::vector<TSavedSource> LoadSources(const TIniFile &Ini)
{
    QMap<int, TSavedSource> bySlot;
    for (const auto &[key, value] : Ini.ReadSection(Section)) {
        TSavedSource s;
        if (!ParseSource(key, value, &s)) {
            qWarning("[Sources] %s=%s: not a source entry, skipped", qPrintable(key),
                     qPrintable(value));
            continue;
        }
        if (bySlot.contains(s.Slot)) {
            qWarning("[Sources] %s: slot given twice, the first entry kept", qPrintable(key));
            continue;
        }
        bySlot.insert(s.Slot, s);
    }
    return {bySlot.begin(), bySlot.end()};
}

int ReconnectSources(const std::vector<TSavedSource> &Sources)
{
    QMap<int, int> failedLines; // line -> port that did not open
    int connected = 0;
    {
        const TConnectBatch batch; // the chart list, grid and texts once, for all sources
        for (const TSavedSource &s : Sources) {
            if (failedLines.contains(s.Line)) {
                SourcesLeftOut.push_back(s);
                continue; // its port was tried once already
            }
            const bool opening = LineNeedsPort(s.Line);
            QString error;
            const int slot =
                ConnectSource(s.Line, s.ComNumber, s.Address, s.Colour, &error, s.Slot);
            if (slot) {
                Devices[slot].InChart = s.InChart;
                ++connected;
            } else if (opening && LineNeedsPort(s.Line)) {
                failedLines.insert(s.Line, s.ComNumber);
                SourcesLeftOut.push_back(s);
            } else if (!error.isEmpty()) {
                qWarning("[Sources] slot %d: %s", s.Slot, qPrintable(error));
            }
        }
    } // the chart list made with the ticks restored
    if (!failedLines.isEmpty()) {
        QStringList names;
        for (auto it = failedLines.begin(); it != failedLines.end(); ++it)
            names << QStringLiteral("%1 (Com %2)")
                         .arg(LineLetter(it.key()))
                         .arg(it.value(), 2, 10, QLatin1Char('0'));
        ReportError(LoadMessage(sReconnectFailed).arg(names.join(QStringLiteral(", "))));
    }
    return connected;
}
