#include "language.h"

#include "chartpage.h"
#include "controls.h"
#include "formprog.h"
#include "global.h"
#include "mainform.h"
#include "network.h"
#include "panels.h"
#include "pripoj.h"
#include "strtable.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QPointer>
#include <QScrollArea>
#include <QTabWidget>
#include <QTranslator>

namespace {

void LoadTexts(TLangSet set)
{
    struct TText
    {
        QString *text;
        TStrId id;
    };
    const TText texts[] = {
        {&TextAxisX, sAxisX},
        {&TextAxisY, sAxisY},
        {&TextValuesOf, sValuesOf},
        {&TextDevNo, sDevNo},
        {&TextNoAnswer, sNoAnswer},
        {&TextProgramOf, sProgramOf},
        {&TextColStep, sColStep},
        {&TextColTime, sColTime},
        {&TextColU, sColU},
        {&TextColNext, sColNext},
        {&TextChartValues, sChartValues},
        {&TextStepIs, sStepIs},
        {&TextTimeIs, sTimeIs},
        {&TextVoltageIs, sVoltageIs},
    };
    for (const TText &t : texts)
        *t.text = LoadStr(t.id, set);
}

void ApplyMainWindow(TFormMain *f, TLangSet set)
{
    auto S = [set](TStrId id) { return LoadStr(id, set); };

    f->setWindowTitle(S(sFormMainCaption) + LangCode);
    f->LabAbout[1]->setText(S(sAbout1));
    f->LabAbout[2]->setText(S(sAbout2));
    f->LabAbout[3]->setText(S(sAbout3));
    f->LabAbout[4]->setText(S(sAbout4));
    f->LabAbout[8]->setText(S(sAbout8));

    f->ButtEnd->setText(S(sButtEnd));
    f->ButtEnd->setToolTip(S(sButtEndHint));
    f->Bu_en->setToolTip(S(sLangHint));
    f->Bu_cz->setToolTip(S(sLangHint));
    f->ButtAddDev->setText(S(sAddDev));
    f->ButtAddDev->setToolTip(S(sAddDevHint));
    f->ButtOutOn->setText(S(sOutOn));
    f->ButtOutOn->setToolTip(S(sOutOnHint));
    f->ButtOutOff->setText(S(sOutOff));
    f->ButtOutOff->setToolTip(S(sOutOffHint));
    f->Buttoff->setToolTip(S(sOffHint));

    QTabWidget *pages = f->PageCont;
    pages->setTabText(pages->indexOf(f->ScrollMain), S(sPage1));
    pages->setTabText(pages->indexOf(f->Page2), S(sPage2));
    pages->setTabText(pages->indexOf(f->Page3), S(sPage3));
    pages->setTabText(pages->indexOf(f->Page8), S(sPage8));

    const TStrId lines[] = {sLine1, sLine2, sLine3, sLine4};
    for (int line = 1; line <= MaxLines; ++line) {
        f->ControlLines->setTabText(f->ControlLines->indexOf(f->LinePage[line]),
                                    S(lines[line - 1]));
        f->MemoLabel[2 + 2 * line]->setText(S(sSentLabel));
        f->MemoLabel[3 + 2 * line]->setText(S(sRecvLabel));
    }
}

// Qt's own dialogs (file dialogs, print preview, the buttons of message boxes) speak the
// language in force too, from Qt's translations when they are installed; English needs none.
void ApplyQtDialogsLanguage(TLangSet set)
{
    // Owned by the application object, so it goes with it.
    static QPointer<QTranslator> czech;
    if (set == lsCzech) {
        if (czech)
            return;
        auto *t = new QTranslator(QCoreApplication::instance());
        if (!t->load(QStringLiteral("qtbase_cs"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete t;
            return;
        }
        QCoreApplication::installTranslator(t);
        czech = t;
    } else if (czech) {
        QCoreApplication::removeTranslator(czech);
        delete czech;
        czech = nullptr;
    }
}

} // namespace

void ApplyLanguage()
{
    const TLangSet set = LanguageSet(LangCode);
    if (set == lsNone)
        return;

    LoadTexts(set);
    ApplyQtDialogsLanguage(set);
    if (auto *f = qobject_cast<TFormMain *>(FormMain))
        ApplyMainWindow(f, set);
    ShowNetworkState();
    if (FormMain)
        ApplyChartPageLanguage(set);
    if (FormPripoj)
        FormPripoj->ApplyLanguage(set);
    if (FormProg)
        FormProg->ApplyLanguage(set);
    for (int slot = 1; slot <= MaxDevices; ++slot)
        if (Devices[slot].Used)
            ApplyPanelLanguage(slot, set);
}
