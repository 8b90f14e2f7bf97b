#pragma once

// The program's side of the line conversation, for the tests and benchmarks that talk to
// the source simulator: a main window with the eight memos and the template panel, the
// data module with its timer and the real ports of lines A to D, and the simulator serving
// lines A and B on pseudo-terminals named in a settings file in a temporary folder.

#include "afcomport.h"
#include "commlog.h"
#include "forms.h"
#include "global.h"
#include "logview.h"
#include "memolines.h"
#include "panels.h"
#include "panelview.h"
#include "protocol.h"
#include "services.h"
#include "simprocess.h"
#include "sourceslot.h"
#include "testfiles.h"

#include <QDir>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>

// The main window and data module the communication units reach, set as FormMain and DM.
struct MainRig
{
    MainRig()
    {
        InitTables();
        form.Page1 = new QWidget(&form);
        for (int i = 1; i <= 8; ++i)
            form.Memo[i] = new QPlainTextEdit(&form);
        FormMain = &form;
        form.PanDev = BuildTemplatePanel(form.Page1);
        dm.TSystem = new QTimer(&dm);
        dm.TSystem->setInterval(25);
        DM = &dm;
        Services().Port = [this](int line) { return dm.Port(line); };
        Services().TickPeriod = [this] { return uint32_t(dm.TSystem->interval()); };
        Services().SourceRemoved = TakeDownPanel;
    }

    ~MainRig()
    {
        for (int s = 1; s <= MaxDevices; ++s)
            if (Devices[s].Used)
                RemoveDevice(s);
        DM = nullptr;
        FormMain = nullptr;
        ResetServices();
    }

    MainRig(const MainRig &) = delete;
    MainRig &operator=(const MainRig &) = delete;

    // The serial ports of the four lines, closed, with the lines' received-data handlers.
    void RealPorts()
    {
        TAfComPort **ports[4] = {&dm.PortA, &dm.PortB, &dm.PortC, &dm.PortD};
        for (int i = 0; i < 4; ++i) {
            *ports[i] = new TAfComPort(&dm);
            (*ports[i])->setObjectName(QStringLiteral("Port") + QChar('A' + i));
            // As the application does: a reply shows on its panel once the event is handled.
            (*ports[i])->OnDataRecived = [i](QObject *sender, int32_t count) {
                LineDataReceived(i + 1, sender, count);
                DrawDirtyPanels();
                RefreshLog();
            };
        }
    }

    // As the connection dialog does it: the port of the line opens with its first source.
    int Connect(int line, int address)
    {
        const int slot = LowestFreeSlot();
        TAfComPort *port = dm.Port(line);
        if (!port->Active()) {
            port->SetComNumber(uint16_t(line));
            port->Open();
        }
        CreateDevicePanel(slot);
        OccupySlot(slot, line, address);
        return slot;
    }

    TFormMainBase form; // declared first: the data module goes before the window
    TDMBase dm;
};

struct LiveRig
{
    // Works in the temporary folder, maps COM1 and COM2 to lines A and B and starts the
    // simulator with the sources of each line (and the options given before them); the
    // error text on failure.
    QString Start(const QList<QStringList> &sourcesPerLine, const QStringList &options = {})
    {
        if (!dir.isValid() || !QDir::setCurrent(dir.path()))
            return QStringLiteral("no temporary folder");
        QLocale::setDefault(QLocale::c());
        const QString ini = dir.filePath(QStringLiteral("ardemo.INI"));
        QStringList lines, args = options;
        for (int l = 0; l < sourcesPerLine.size(); ++l) {
            lines << dir.filePath(QStringLiteral("line") + QChar('A' + l));
            args << QStringLiteral("--line") << lines.last();
            for (const QString &s : sourcesPerLine[l])
                args << QStringLiteral("--source") << s;
        }
        if (!WritePortsIni(ini, lines))
            return QStringLiteral("cannot write ") + ini;
        AfSetPortMapFile(ini);
        const QString err = sim.Start(dir.filePath(QStringLiteral("frames.log")), args);
        if (err.isEmpty())
            main.RealPorts();
        return err;
    }

    // Declared in this order so that the ports close before the simulator stops.
    QTemporaryDir dir;
    SimProcess sim;
    MainRig main;
};
