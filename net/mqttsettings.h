#pragma once

// The network bridge's settings, section "MQTT" of the settings file. No host: no bridge.

#include <QString>

class TIniFile;

struct TMqttSettings
{
    QString Host;
    int Port = 1883;
    QString ClientId; // default "ardemo-<host name>"
    QString Prefix;   // default "ardemo/<host name>"
    QString User;
    QString Password;
    QString CaFile; // TLS with the broker's certificate checked against it
    bool AllowControl = false;
    QString Problem; // a value that cannot be used; the bridge then stays off

    bool Enabled() const { return !Host.isEmpty() && Problem.isEmpty(); }
    QString Broker() const; // "host:port" for the operator
};

TMqttSettings ReadMqttSettings(const TIniFile &Ini);
