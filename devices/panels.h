#pragma once

// Source panels: the hidden template on the main page, its clones per source, their grid,
// the chart's source list, colour and removal.

#include "controls.h"
#include "strtable.h"

// Builds the hidden template panel PanDev with all its children on Page1 (children are
// found by objectName) and wires the handlers of this unit to them.
TPanel *BuildTemplatePanel(QWidget *Page1);

void CreateDevicePanel(int Slot);
void ArrangePanels();
void FillChartList();
void RemoveDevice(int Slot);
void ButtonColorClick(QObject *Sender);
void ButtonDelClick(QObject *Sender);

// Captions and hints of one source's panel in the given language set.
void ApplyPanelLanguage(int Slot, TLangSet Set);
