#include "network.h"

#include "global.h"
#include "mainform.h"
#include "mqttbridge.h"
#include "runclicks.h"
#include "settings.h"
#include "strtable.h"

#include <QLabel>
#include <QPointer>

namespace {
QPointer<TMqttBridge> Bridge;
} // namespace

TMqttBridge *NetworkBridge()
{
    return Bridge.data();
}

void StartNetwork()
{
    auto *form = qobject_cast<TFormMain *>(FormMain);
    if (!form || Bridge || MqttSettings.Host.isEmpty())
        return;
    Bridge = new TMqttBridge(MqttSettings, form);
    Bridge->SetProgramRunner(RunProgramOf);
    QObject::connect(Bridge, &TMqttBridge::LinkChanged, form, [] { ShowNetworkState(); });
    if (MqttSettings.Enabled())
        Bridge->Start();
    ShowNetworkState();
}

void ShowNetworkState()
{
    auto *form = qobject_cast<TFormMain *>(FormMain);
    if (!form || !form->LabMqtt)
        return;
    if (!Bridge) {
        form->LabMqtt->hide();
        return;
    }
    const bool on = Bridge->IsConnected();
    form->LabMqtt->setText(LoadMessage(on ? sMqttConnected : sMqttDisconnected));
    form->LabMqtt->setStyleSheet(on ? QStringLiteral("color: #006400;")
                                    : QStringLiteral("color: #B00000;"));
    const TMqttSettings &s = Bridge->Settings();
    QString hint =
        LoadMessage(sMqttBroker)
            .arg((s.CaFile.isEmpty() ? QStringLiteral("mqtt://") : QStringLiteral("mqtts://")) +
                 s.Broker() + QLatin1Char(' ') + s.Prefix + QStringLiteral("/#"));
    const QString why = !s.Problem.isEmpty() ? s.Problem : Bridge->LastError();
    if (!on && !why.isEmpty())
        hint += QLatin1Char('\n') + why;
    form->LabMqtt->setToolTip(hint);
    form->LabMqtt->show();
}
