#pragma once

// Source panels: the hidden template on the main page, its clones per source, their grid,
// the chart's source list, colour and removal.

#include "controls.h"
#include "global.h"
#include "strtable.h"

// Builds the hidden template panel PanDev with all its children on Page1 (children are
// found by objectName) and wires the handlers of this unit and of the device commands to
// them. The caller stores the result in FormMain->PanDev and may wire further handlers
// on the template's children; clones take whatever handlers the template has then.
TPanel *BuildTemplatePanel(QWidget *Page1);

// Counts the new source and builds its panel from FormMain->PanDev, filling the slot's 24
// control references. Refused (message, nothing changed) when 50 sources are counted.
void CreateDevicePanel(int Slot);
void ArrangePanels();
void FillChartList();
// Takes the source off its line and its panel down (the connection dialog's counterpart).
void RemoveDevice(int Slot);
// The view's part of a source that left: its panel deleted, the chart list and the grid
// made anew.
void TakeDownPanel(int Slot);
void ButtonColorClick(QObject *Sender);
void ButtonDelClick(QObject *Sender);

// Shows a source's title on its panel (its Label1): a title longer than the panel ends in
// "…" and its hint then holds the whole title; a title that fits is shown as it is, with no
// hint. Cheap when the title has not changed.
void SetPanelTitle(TLabel *Title, const QString &Text);

// Captions and hints of one source's panel in the given language set.
void ApplyPanelLanguage(int Slot, TLangSet Set);

// Forgets the 24 control references of a slot (its panel is gone).
void ClearPanelReferences(TDevice &d);

// True when 50 sources are already counted; then the refusal message has been shown.
bool DeviceLimitReached();

// Copy routines: a new control of the template's class on Parent, with the template's
// properties and event handlers.
TPanel *ClonePanel(QWidget *Parent, const TPanel *Src);
TLabel *CloneLabel(QWidget *Parent, const TLabel *Src);
TStaticText *CloneStaticText(QWidget *Parent, const TStaticText *Src);
TShape *CloneShape(QWidget *Parent, const TShape *Src);
TEdit *CloneEdit(QWidget *Parent, const TEdit *Src);
TCheckBox *CloneCheckBox(QWidget *Parent, const TCheckBox *Src);
TBitBtn *CloneBitBtn(QWidget *Parent, const TBitBtn *Src);
TSpeedButton *CloneSpeedButton(QWidget *Parent, const TSpeedButton *Src);
TBevel *CloneBevel(QWidget *Parent, const TBevel *Src);

// The used slot whose control of the given kind is Sender, or 0. Removed slots never
// match, so a handler of a destroyed panel finds nothing.
template <typename T> int FindSlot(const QObject *Sender, T *TDevice::*Field)
{
    if (!Sender)
        return 0;
    for (int i = 1; i <= MaxDevices; ++i)
        if (Devices[i].Used && static_cast<const QObject *>(Devices[i].*Field) == Sender)
            return i;
    return 0;
}
