#pragma once

// The line conversation without the rest of the program, for the tests and fuzz bodies
// that drive it alone: the windows and data module the line units reach, fake ports on
// the four lines wired to the lines' receive handlers, and the panel controls the units
// write to, without the panel's layout.

#include "controls.h"
#include "fakeport.h"
#include "forms.h"
#include "global.h"
#include "logview.h"
#include "panels.h"
#include "panelview.h"
#include "protocol.h"
#include "recordbox.h"
#include "services.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <memory>

inline void BuildBarePanel(int slot, QWidget *page)
{
    TDevice &d = Devices[slot];
    d.PanDev = new TPanel(page);
    QWidget *p = d.PanDev;
    d.PanelCol = new TPanel(p);
    d.PanNekom = new TPanel(p);
    d.PanNekom->hide();
    d.Disp1 = new TStaticText(p);
    d.Disp2 = new TStaticText(p);
    d.Shape1 = new TShape(p);
    d.Shape2 = new TShape(p);
    d.Label1 = new TLabel(p);
    d.Label2 = new TLabel(p);
    d.Label3 = new TLabel(p);
    d.LabKrok = new TLabel(p);
    d.LabUProg = new TLabel(p);
    d.LabCasP = new TLabel(p);
    d.Edit1 = new TEdit(p);
    d.Edit2 = new TEdit(p);
    d.CheckBox1 = NewRecordBox(slot, p);
    d.ButtSetU = new TBitBtn(p);
    d.ButtSetTol = new TBitBtn(p);
    d.ButtProg = new TBitBtn(p);
    d.ButtonColor = new TBitBtn(p);
    d.ButtonDel = new TBitBtn(p);
    d.Bevel1 = new TBevel(p);
    d.ButtSt = new TSpeedButton(p);
    d.ButtEn = new TSpeedButton(p);
}

struct BareLines
{
    // Builds the main window's memos and page, the data module's timer and the four fake
    // ports, and makes them FormMain and DM.
    BareLines()
    {
        form = std::make_unique<TFormMainBase>();
        for (int i = 1; i <= 8; ++i)
            form->Memo[i] = new QPlainTextEdit(form.get());
        form->Page1 = new QWidget(form.get());
        dm = std::make_unique<TDMBase>();
        dm->TSystem = new QTimer(dm.get());
        dm->TSystem->setInterval(25);
        for (int l = 1; l <= MaxLines; ++l) {
            ports[l] = new FakePort(dm.get());
            ports[l]->open = true;
        }
        dm->PortA = ports[1];
        dm->PortB = ports[2];
        dm->PortC = ports[3];
        dm->PortD = ports[4];
        // As the application does: a reply shows on its panel once the event is handled.
        for (int l = 1; l <= MaxLines; ++l)
            ports[l]->OnDataRecived = [l](QObject *sender, int32_t count) {
                LineDataReceived(l, sender, count);
                DrawDirtyPanels();
                RefreshLog();
            };
        FormMain = form.get();
        DM = dm.get();
        Services().Port = [this](int line) { return dm->Port(line); };
        Services().TickPeriod = [this] { return uint32_t(dm->TSystem->interval()); };
        Services().SourceRemoved = TakeDownPanel;
    }

    ~BareLines() { ResetServices(); }

    std::unique_ptr<TFormMainBase> form;
    std::unique_ptr<TDMBase> dm;
    FakePort *ports[MaxLines + 1] = {};
};
