#include "connect.h"

#include "afcomport.h"
#include "afcomportcore.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "pripoj.h"
#include "services.h"
#include "sysutils.h"

#include <QTabWidget>
#include <stdexcept>

namespace {
TAfComPort *PortOfLine(int Line)
{
    return DM ? DM->Port(Line) : nullptr;
}

void Refuse(QString *Error, const QString &Why)
{
    if (Error)
        *Error = Why;
}

int Batches = 0; // live TConnectBatch objects

// What every connection changes beyond its own panel.
void ShowConnected()
{
    FillChartList();
    ArrangePanels();
    if (Services().ApplyLanguage)
        Services().ApplyLanguage();
}
} // namespace

TConnectBatch::TConnectBatch()
{
    ++Batches;
}

TConnectBatch::~TConnectBatch()
{
    if (--Batches == 0)
        ShowConnected();
}

bool OpenLine(int Line, int ComNumber, QString *Error)
{
    TAfComPort *port = PortOfLine(Line);
    bool opened = true;
    try {
        if (!port)
            throw std::runtime_error("no port");
        port->SetComNumber(static_cast<uint16_t>(ComNumber));
        port->Open();
    } catch (...) {
        Refuse(Error, QStringLiteral("Linka %1 nelze otevřít.").arg(Line));
        opened = false;
    }
    if (FormMain && FormMain->ControlLines)
        FormMain->ControlLines->setTabVisible(Line - 1, true);
    return opened;
}

bool LineNeedsPort(int Line)
{
    TAfComPort *port = PortOfLine(Line);
    if (port && port->Active() && port->Core() && port->Core()->DeviceLost())
        port->Close();
    return !port || !port->Active();
}

int ConnectSource(int Line, int ComNumber, int Address, QColor Colour, QString *Error, int Slot)
{
    if (Error)
        Error->clear();
    if (Line < 1 || Line > MaxLines) {
        Refuse(Error, QStringLiteral("Linka %1 neexistuje.").arg(Line));
        return 0;
    }
    if (Slot < 0 || Slot > MaxDevices || (Slot && Devices[Slot].Used)) {
        Refuse(Error, QStringLiteral("Pozice %1 není volná.").arg(Slot));
        return 0;
    }
    if (Address < 0 || Address > 31 || !FreeAddresses(Line).contains(Address)) {
        Refuse(Error, QStringLiteral("Adresa %1 na lince %2 není volná.").arg(Address).arg(Line));
        return 0;
    }
    int slot = Slot ? Slot : LowestFreeSlot();
    if (!slot)
        slot = MaxDevices; // the panel's own check refuses it with its message

    int useLine = Line;
    // Refused before a port is opened for a source that cannot come.
    if (LineNeedsPort(Line) && (DeviceLimitReached() || !OpenLine(Line, ComNumber, Error)))
        useLine = 0;

    int connected = 0;
    if (useLine) {
        const int before = DeviceCount;
        CreateDevicePanel(slot);
        if (DeviceCount != before) {
            TDevice &d = Devices[slot];
            d.Line = useLine;
            Lines[useLine].Cur = slot;
            d.Used = true;
            d.Address = Address;
            SetPanelTitle(d.Label1, QStringLiteral("%1: Adr. %2").arg(slot).arg(Address));
            d.Color = Colour.rgb() & 0xFFFFFF;
            d.PanelCol->SetColor(Colour);
            d.StepNo = 0;
            d.StepTick = 0;
            d.LabKrok->SetCaption(QStringLiteral("Krok = 0"));
            for (ProgramStep &s : d.Steps)
                s = ProgramStep{};
            connected = slot;
            NoteChange(slot);
        }
    }

    if (!Batches)
        ShowConnected();
    return connected;
}
