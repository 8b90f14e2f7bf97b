#pragma once

// A minimal main window and data module for the device units: the regions the panels
// are laid out in, the chart's source list and chart, the communication tabs, four ports
// that open or fail on demand, and a colour dialog that answers without a person.

#include "afcomport.h"
#include "controls.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "tchart.h"

#include <QApplication>
#include <QColorDialog>
#include <QLocale>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

#include <stdexcept>

class FakePort : public TAfComPort
{
public:
    using TAfComPort::TAfComPort;
    bool Active() const override { return m_open; }
    void Open() override
    {
        ++opens;
        if (failOpen)
            throw EAfComPortError("Invalid port number (COM" + std::to_string(ComNumber()) + ")");
        m_open = true;
    }
    void Close() override
    {
        ++closes;
        m_open = false;
    }
    void SetOpen(bool o) { m_open = o; }

    bool failOpen = false;
    int opens = 0;
    int closes = 0;

private:
    bool m_open = false;
};

// Stands in for the operator at the colour dialog: confirms `answer` or cancels.
class FakeColorDialog : public QColorDialog
{
public:
    using QColorDialog::QColorDialog;
    int exec() override
    {
        ++shown;
        presetSeen = currentColor();
        if (!accept)
            return QDialog::Rejected;
        setCurrentColor(answer);
        return QDialog::Accepted;
    }
    bool accept = true;
    QColor answer = Qt::magenta;
    QColor presetSeen;
    int shown = 0;
};

// Closes every message box that appears and keeps its text.
class MessageCatcher : public QObject
{
public:
    MessageCatcher()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }
    QStringList texts;

private:
    QTimer m_timer;
};

struct DeviceFixture
{
    TFormMainBase main;
    TDMBase dm;
    FakePort *ports[5] = {};
    FakeColorDialog *colorDial = nullptr;

    // PanelMain of the given size; the window around it as the application lays it out.
    explicit DeviceFixture(int mainW = 663, int mainH = 518)
    {
        QLocale::setDefault(QLocale::c());
        InitTables();
        main.resize(mainW + 129, mainH + 48);
        auto *central = new QWidget(&main);
        main.setCentralWidget(central);
        main.PanelLeft = new QWidget(central);
        main.PanelLeft->setGeometry(0, 0, 129, mainH + 48);
        main.PanelTop = new QWidget(central);
        main.PanelTop->setGeometry(129, 0, mainW, 48);
        main.PanelMain = new QWidget(central);
        main.PanelMain->setGeometry(129, 48, mainW, mainH);
        main.Page1 = new QWidget(main.PanelMain);
        main.Page1->setGeometry(0, 0, mainW, mainH);
        main.Page2 = new QWidget(&main);
        main.Graf = new TChart(main.Page2);
        main.CheckZaz = new TCheckListBox(main.Page2);
        main.ControlLines = new QTabWidget(&main);
        for (int l = 1; l <= 4; ++l) {
            main.LinePage[l] = new QWidget;
            main.ControlLines->addTab(main.LinePage[l], QStringLiteral("Linka %1").arg(l));
            main.ControlLines->setTabVisible(l - 1, false);
        }
        main.PanDev = BuildTemplatePanel(main.Page1);
        PanLeft = main.PanDev->x();
        PanTop = main.PanDev->y();
        PanWidth = main.PanDev->width();
        PanHeight = main.PanDev->height();

        for (int l = 1; l <= 4; ++l)
            ports[l] = new FakePort(&dm);
        dm.PortA = ports[1];
        dm.PortB = ports[2];
        dm.PortC = ports[3];
        dm.PortD = ports[4];
        colorDial = new FakeColorDialog;
        dm.ColorDial = colorDial;
        FormMain = &main;
        DM = &dm;
    }

    ~DeviceFixture()
    {
        for (int i = 1; i <= MaxDevices; ++i)
            ClearPanelReferences(Devices[i]); // the panels go with the window
        InitTables();
        Hooks::ApplyLanguage = nullptr;
        Hooks::WriteRecordRow = nullptr;
        FormMain = nullptr;
        DM = nullptr;
        delete colorDial;
    }

    // Connects a source the way the connection dialog fills the record.
    void Connect(int slot, int line, int address, QColor colour = Qt::red)
    {
        CreateDevicePanel(slot);
        TDevice &d = Devices[slot];
        d.Line = line;
        Lines[line].Cur = slot;
        d.Used = true;
        d.Address = address;
        d.Label1->SetCaption(QStringLiteral("%1: Adr. %2").arg(slot).arg(address));
        d.PanelCol->SetColor(colour);
        ports[line]->SetOpen(true);
    }
};
