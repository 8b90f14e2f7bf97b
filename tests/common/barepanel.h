#pragma once

// The controls of a source's panel that the line units write to, without the panel's
// layout: for the tests and fuzz bodies that drive the line conversation alone.

#include "controls.h"
#include "global.h"

#include <QWidget>

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
    d.CheckBox1 = new TCheckBox(p);
    d.ButtSetU = new TBitBtn(p);
    d.ButtSetTol = new TBitBtn(p);
    d.ButtProg = new TBitBtn(p);
    d.ButtonColor = new TBitBtn(p);
    d.ButtonDel = new TBitBtn(p);
    d.Bevel1 = new TBevel(p);
    d.ButtSt = new TSpeedButton(p);
    d.ButtEn = new TSpeedButton(p);
}
