#pragma once

// The chart page: the chart, the source list and the axis and 3D controls.

#include "strtable.h"

#include <QObject>
#include <cstdint>

class TFormMainBase;

// Builds Graf and its column of controls on FormMain->Page2 and fills FormMain's references.
void BuildChartPage(TFormMainBase *Form);
// The start-up of the 3D bars: placed from the chart's zoom, depth and rotation, then
// disabled until the 3D view is switched on. BuildChartPage ends with it.
void InitChart3DBars(TFormMainBase *Form);
// Captions of the page in the given set; no set leaves them as they are.
void ApplyChartPageLanguage(TLangSet Set);

extern int16_t LastChartSecond;

void SampleChart();
void CheckZazClickCheck(QObject *Sender, int Index);
void MaxUKeyPress(QObject *Sender, char16_t &Key);
void UpDownYChanging(QObject *Sender);
void MaxXKeyPress(QObject *Sender, char16_t &Key);
void UpDownXChanging(QObject *Sender);
void CB_3dClick(QObject *Sender);
void SBar_3DChange(int Position);
void SBar_RotChange(int Position);
void SBar_ZoomChange(int Position);
