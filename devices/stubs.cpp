// Placeholders for the panels, commands and connection dialog until they land.
#include "commands.h"
#include "panels.h"
#include "pripoj.h"

TPanel *BuildTemplatePanel(QWidget *Page1)
{
    auto *p = new TPanel(Page1);
    p->setObjectName(QStringLiteral("PanDev"));
    p->setGeometry(5, 5, 235, 200);
    p->hide();
    return p;
}
void CreateDevicePanel(int) {}
void ArrangePanels() {}
void FillChartList() {}
void RemoveDevice(int) {}
void ButtonColorClick(QObject *) {}
void ButtonDelClick(QObject *) {}
void ApplyPanelLanguage(int, TLangSet) {}
void ButtSetUClick(QObject *) {}
void ButtSetTolClick(QObject *) {}
void Edit1KeyPress(QObject *, char16_t &) {}
void Edit2KeyPress(QObject *, char16_t &) {}
void Label2Click(QObject *) {}
void Label3Click(QObject *) {}
void ButtOutOnClick() {}
void ButtOutOffClick() {}
void ButtoffClick() {}
TFormPripoj *FormPripoj = nullptr;
TFormPripoj::TFormPripoj(QWidget *parent) : QDialog(parent) {}
TFormPripoj::~TFormPripoj() = default;
void TFormPripoj::ApplyLanguage(TLangSet) {}
void FillAddressList(int) {}
