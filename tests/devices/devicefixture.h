#pragma once

// A minimal main window and data module for the device units: the regions the panels are
// laid out in, the chart list and chart, the line tabs, four ports that open or fail on
// demand, and a colour dialog and message catcher that answer without a person.

#include "afcomport.h"
#include "controls.h"
#include "fakeport.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "services.h"
#include "sourceslot.h"
#include "tchart.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QLocale>
#include <QMessageBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

class FakeColorDialog : public QColorDialog
{
public:
    int exec() override
    {
        presetSeen = currentColor();
        if (during)
            during(); // the tick goes on while the dialog is open
        setCurrentColor(answer);
        return accept ? Accepted : Rejected;
    }
    bool accept = true;
    QColor answer, presetSeen;
    std::function<void()> during;
};

// Closes every message box that appears and keeps its text.
class MessageCatcher : public QObject
{
public:
    MessageCatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                texts << box->text(), box->done(QMessageBox::Ok);
        });
        m_timer.start(5);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

struct DeviceFixture
{
    QTemporaryDir dir;
    TFormMainBase main;
    TDMBase dm;
    FakePort *ports[5] = {};
    FakeColorDialog colorDial;

    // PanelMain of the given size, the bars around it as the application lays them out.
    explicit DeviceFixture(int mainW = 663, int mainH = 518)
    {
        QLocale::setDefault(QLocale::c());
        QDir::setCurrent(dir.path());
        InitTables();
        main.resize(mainW + 129, mainH + 48);
        auto *central = new QWidget;
        main.setCentralWidget(central);
        main.PanelLeft = new QWidget(central);
        main.PanelLeft->setGeometry(0, 0, 129, mainH + 48);
        main.PanelTop = new QWidget(central);
        main.PanelTop->setGeometry(129, 0, mainW, 48);
        main.PanelMain = new QWidget(central);
        main.PanelMain->setGeometry(129, 48, mainW, mainH);
        main.Page1 = new QWidget(main.PanelMain);
        main.Page1->setGeometry(0, 0, mainW, mainH);
        main.Graf = new TChart(&main);
        main.CheckZaz = new TCheckListBox(&main);
        main.ControlLines = new QTabWidget(&main);
        for (int l = 1; l <= 4; ++l) {
            main.ControlLines->addTab(new QWidget, QString::number(l));
            main.ControlLines->setTabVisible(l - 1, false);
        }
        main.PanDev = BuildTemplatePanel(main.Page1);
        PanLeft = main.PanDev->x(), PanTop = main.PanDev->y();
        PanWidth = main.PanDev->width(), PanHeight = main.PanDev->height();
        for (int l = 1; l <= 4; ++l)
            ports[l] = new FakePort(&dm);
        dm.PortA = ports[1], dm.PortB = ports[2], dm.PortC = ports[3], dm.PortD = ports[4];
        dm.ColorDial = &colorDial;
        FormMain = &main;
        DM = &dm;
        Services().Port = [this](int line) { return dm.Port(line); };
    }

    ~DeviceFixture()
    {
        for (TDevice &d : Devices)
            ClearPanelReferences(d); // the panels go with the window
        InitTables();
        ResetServices();
        FormMain = nullptr;
        DM = nullptr;
    }

    // Connects a source the way the connection dialog fills the record.
    void Connect(int slot, int line, int address, QColor colour = Qt::red)
    {
        CreateDevicePanel(slot);
        TDevice &d = OccupySlot(slot, line, address);
        SetPanelTitle(d.Label1, QStringLiteral("%1: Adr. %2").arg(slot).arg(address));
        d.PanelCol->SetColor(colour);
        d.Color = colour.rgb() & 0xFFFFFF;
        ports[line]->open = true;
    }
};
