// Placeholders until the chart page, recording and export land.
#include "chartpage.h"
#include "export.h"
#include "recording.h"

#include "forms.h"
#include "tchart.h"

#include <QWidget>

void BuildChartPage(TFormMainBase *Form) { Form->Graf = new TChart(Form->Page2); }
void ApplyChartPageLanguage(TLangSet) {}
int16_t LastChartSecond = -1;
void SampleChart() {}
void CheckZazClickCheck(QObject *, int) {}
void MaxUKeyPress(QObject *, char16_t &) {}
void UpDownYChanging(QObject *) {}
void MaxXKeyPress(QObject *, char16_t &) {}
void UpDownXChanging(QObject *) {}
void CB_3dClick(QObject *) {}
void SBar_3DChange(int) {}
void SBar_RotChange(int) {}
void SBar_ZoomChange(int) {}
void CheckBox1Click(QObject *) {}
void StartRecording(int) {}
void WriteRecordRow(int) {}
QString ExportFileName;
void ButtSaveGrafClick() {}
void ButtPrintClick() {}
