#include "panelview.h"

#include "controls.h"
#include "global.h"
#include "panels.h"
#include "recording.h"
#include "services.h"
#include "strtable.h"
#include "sysutils.h"

#include <QFileInfo>
#include <QLocale>
#include <QPalette>
#include <QPointer>

namespace {

const QColor Lime = ColorFromRgb(0x00FF00);
const QColor Red = ColorFromRgb(0xFF0000);
const QColor White = ColorFromRgb(0xFFFFFF);

void SetEnabled(QWidget *w, bool on)
{
    if (w && w->isEnabled() != on)
        w->setEnabled(on);
}

void Paint(TShape *s, const QColor &c)
{
    if (s)
        s->SetBrushColor(c);
}

// What the panel's controls were last given, and from what. The program labels of every
// source are looked at on every tick: while what they are made of stays the same, nothing
// is built and no label is looked at.
struct TDrawn
{
    QPointer<TPanel> panel; // null once the panel is gone, even if a new one reuses the place
    QPointer<TLabel> krok;  // likewise for the step labels, which a panel may get anew
    TLabel *cas = nullptr, *uprog = nullptr;
    uint32_t recordTries = 0;
    bool recordMarked = false;
    QString recordHint; // the box's hint before it was marked

    int step = -1;
    uint32_t elapsed = 0;
    int32_t time = 0;
    double u = 0;
    QString stepIs, timeIs, voltageIs, point;

    bool SameStep(const TDevice &d, int s, uint32_t e, const QString &decimalPoint) const
    {
        return krok && krok == d.LabKrok && cas == d.LabCasP && uprog == d.LabUProg && step == s &&
               elapsed == e && time == d.Steps[s].Time && u == d.Steps[s].U &&
               stepIs == TextStepIs && timeIs == TextTimeIs && voltageIs == TextVoltageIs &&
               point == decimalPoint;
    }
    void NoteStep(const TDevice &d, int s, uint32_t e, const QString &decimalPoint)
    {
        krok = d.LabKrok;
        cas = d.LabCasP;
        uprog = d.LabUProg;
        step = s;
        elapsed = e;
        time = d.Steps[s].Time;
        u = d.Steps[s].U;
        stepIs = TextStepIs;
        timeIs = TextTimeIs;
        voltageIs = TextVoltageIs;
        point = decimalPoint;
    }
};

TDrawn Drawn[MaxDevices + 1];

const bool Registered = [] {
    AtTableReset([] {
        for (TDrawn &d : Drawn)
            d = TDrawn{};
    });
    return true;
}();

// The drawing state of a slot's panel, new for a new panel.
TDrawn &DrawnOf(int slot)
{
    TDrawn &w = Drawn[slot];
    if (w.panel.data() != Devices[slot].PanDev) {
        w = TDrawn{};
        w.panel = Devices[slot].PanDev;
    }
    return w;
}

// The panel of a source that did not answer: overlay on, values unknown, commands off.
void ShowNoAnswer(TDevice &d)
{
    if (d.ButtSt)
        d.ButtSt->show();
    if (d.ButtEn)
        d.ButtEn->hide();
    if (d.PanNekom) {
        d.PanNekom->show();
        d.PanNekom->raise();
    }
    if (d.Disp1)
        d.Disp1->SetCaption(QStringLiteral("U = .... V"));
    if (d.Disp2)
        d.Disp2->SetCaption(QStringLiteral("Tol = . V"));
    if (d.Edit1)
        d.Edit1->clear();
    if (d.Edit2)
        d.Edit2->clear();
    for (QWidget *w : std::initializer_list<QWidget *>{d.Edit1, d.Edit2, d.ButtSetU, d.ButtSetTol,
                                                       d.ButtSt, d.ButtEn, d.Label2, d.Label3})
        if (w)
            w->setEnabled(false);
    Paint(d.Shape2, White);
    Paint(d.Shape1, White);
}

// The panel of a source that answered: overlay off, commands on, readings and lamps.
void ShowAnswer(int slot, TDevice &d)
{
    if (d.PanNekom && !d.PanNekom->isHidden())
        d.PanNekom->hide();
    SetEnabled(d.Edit1, true);
    SetEnabled(d.ButtSetU, true);
    SetEnabled(d.ButtSt, true);
    SetEnabled(d.ButtEn, true);
    SetEnabled(d.Label2, true);
    SetEnabled(d.ButtSetTol, d.CanStab);
    SetEnabled(d.Label3, d.CanStab);
    SetEnabled(d.Edit2, d.CanStab);
    if (d.Disp1)
        d.Disp1->SetCaption(QStringLiteral("U = ") + FormatWhole(d.U, 3) + QStringLiteral(" V"));
    if (d.Disp2)
        d.Disp2->SetCaption(QStringLiteral("Tol = ") + FormatWhole(d.Tol, 1) +
                            QStringLiteral(" V"));
    SetPanelTitle(d.Label1, QString::number(slot) + QStringLiteral(": Adr.") +
                                QString::number(d.Address) + QStringLiteral(",  ") + d.TypeText);
    Paint(d.Shape1, d.OutOn ? Lime : Red);
    // A source that cannot stabilise keeps its lamp white whatever it reports.
    Paint(d.Shape2, !d.CanStab ? White : d.StaOn ? Lime : Red);
}

// A recording that cannot be written shows on the source's record box, red with the file
// named in its hint, until a row gets through again.
void DrawRecordBox(TDevice &d, TDrawn &w)
{
    TCheckBox *box = d.CheckBox1;
    if (!box || w.recordTries == d.RecordTries)
        return;
    w.recordTries = d.RecordTries;
    if (d.RecordFailing) {
        if (!w.recordMarked) {
            w.recordHint = box->toolTip();
            QPalette p = box->palette();
            p.setColor(QPalette::WindowText, Qt::red);
            p.setColor(QPalette::ButtonText, Qt::red);
            box->setPalette(p);
            w.recordMarked = true;
        }
        // Set on every failure: a language switch in between rewrites the hint.
        box->setToolTip(LoadMessage(sRecordFailed).arg(QFileInfo(d.RecFile).absoluteFilePath()));
        return;
    }
    if (!w.recordMarked)
        return;
    box->setPalette(QPalette());
    w.recordMarked = false;
    const TLangSet set = LanguageSet(LangCode);
    box->setToolTip(set != lsNone ? LoadStr(sRecordHint, set) : w.recordHint);
}

// Whole seconds since the step began; the unsigned difference keeps the counter's
// wrap-around harmless.
uint32_t ElapsedSeconds(uint32_t now, uint32_t since)
{
    return uint32_t(now - since) / 1000u;
}

// The tick runs every 25 ms for every source: a label is touched only when its text changes.
void SetLabel(TLabel *label, const QString &text)
{
    if (label && label->text() != text)
        label->SetCaption(text);
}

void DrawProgram(int slot, uint32_t now, const QString &decimalPoint)
{
    TDevice &d = Devices[slot];
    const int s = d.StepShown >= 0 && d.StepShown < ProgramSize ? d.StepShown : 0;
    const uint32_t e = ElapsedSeconds(now, d.StepTick);
    TDrawn &w = DrawnOf(slot);
    if (!w.SameStep(d, s, e, decimalPoint)) {
        SetLabel(d.LabKrok, TextStepIs + QString::number(s));
        SetLabel(d.LabCasP, TextTimeIs + QString::number(e) + QStringLiteral(" / ") +
                                QString::number(d.Steps[s].Time));
        SetLabel(d.LabUProg, TextVoltageIs + FloatToStrGeneral(d.Steps[s].U));
        w.NoteStep(d, s, e, decimalPoint);
    }
    DrawRunButtons(slot);
}

// A value asked for elsewhere than in the entry shows in it as if typed and sent.
void ShowSent(TEdit *entry, bool &asked, double value)
{
    if (asked && entry) {
        entry->setText(QString::number(qRound(value)));
        entry->SetFontColor(SentEntryColor());
    }
    asked = false;
}

} // namespace

void DrawDirtyPanels()
{
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        TDevice &d = Devices[slot];
        if (!d.Used || !d.Dirty)
            continue;
        d.Dirty = false;
        if (d.Link == lkSilent)
            ShowNoAnswer(d);
        else if (d.Link == lkAnswering)
            ShowAnswer(slot, d);
        DrawRecordBox(d, DrawnOf(slot));
        ShowSent(d.Edit1, d.UEntry, d.USet);
        ShowSent(d.Edit2, d.TolEntry, d.TolSet);
    }
}

void RefreshPanels()
{
    DrawDirtyPanels();
    const uint32_t now = GetTickCount();
    const QString decimalPoint = QLocale().decimalPoint(); // the voltage label's separator
    for (int slot = 1; slot <= MaxDevices; ++slot)
        if (Devices[slot].Used)
            DrawProgram(slot, now, decimalPoint);
}

QColor SentEntryColor()
{
    return ColorFromRgb(0x808080);
}

void DrawRunButtons(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    const TDevice &d = Devices[Slot];
    const bool running = d.StepNo > 0;
    if (d.ButtSt && d.ButtSt->isHidden() == !running)
        d.ButtSt->setVisible(!running);
    if (d.ButtEn && d.ButtEn->isHidden() == running)
        d.ButtEn->setVisible(running);
}

void CheckBox1Click(QObject *Sender)
{
    const int s = FindSlot(Sender, &TDevice::CheckBox1);
    if (!s)
        return;
    Devices[s].Recording = Devices[s].CheckBox1->isChecked();
    NoteChange(s);
    if (Devices[s].Recording) {
        StartRecording(s);
        DrawDirtyPanels();
    }
}
