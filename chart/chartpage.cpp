#include "chartpage.h"

#include "controls.h"
#include "export.h"
#include "forms.h"
#include "global.h"
#include "guarded.h"
#include "sysutils.h"
#include "tchart.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

int16_t LastChartSecond = -1;

namespace {
// A new run of the tables plots from its own first second.
const bool Registered = [] {
    AtTableReset([] { LastChartSecond = -1; });
    return true;
}();
} // namespace

// The handlers bound to one form: the page's own controls call these, so that they act on
// the form that holds them; the named handlers act on FormMain.
static void CB_3dClickOn(TFormMainBase *Form);
static void SBar_3DChangeOn(TFormMainBase *Form, int Position);
static void SBar_RotChangeOn(TFormMainBase *Form, int Position);
static void SBar_ZoomChangeOn(TFormMainBase *Form, int Position);

namespace {

constexpr int ColumnWidth = 170;

TChart *Graf()
{
    return FormMain ? FormMain->Graf : nullptr;
}

bool IsKeyOfNumberEntry(char16_t key)
{
    return key == 8 || key == 10 || key == 13 || (key >= u'0' && key <= u'9');
}

// An accepted typed value inside the arrows' range becomes the up-down's position too, as
// an up-down reads its buddy entry: the arrows then step from it and the settings keep it.
// A value outside the range stays typed only.
void FollowTypedValue(TUpDown *upDown, int value)
{
    if (upDown && value >= upDown->Min() && value <= upDown->Max() && value != upDown->Position())
        upDown->SetPosition(value);
}

QScrollBar *NewBar(QWidget *parent, const char *name, int min, int max)
{
    auto *bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QLatin1String(name));
    const QSignalBlocker quiet(bar);
    bar->setRange(min, max);
    bar->setPageStep(qMax(1, (max - min) / 10));
    return bar;
}

QLabel *NewLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QPushButton *NewButton(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// One number entry with its up-down arrows, side by side.
QWidget *NumberRow(QWidget *parent, TEdit *&edit, TUpDown *&upDown, const char *editName,
                   const char *upDownName, int min, int max, int position)
{
    auto *row = new QWidget(parent);
    auto *h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    edit = new TEdit(row);
    edit->setObjectName(QLatin1String(editName));
    upDown = new TUpDown(row);
    upDown->setObjectName(QLatin1String(upDownName));
    upDown->setFixedWidth(18);
    upDown->SetAssociate(edit);
    upDown->SetRange(min, max);
    upDown->SetPosition(position); // no handler yet: only shows the start value
    h->addWidget(edit, 1);
    h->addWidget(upDown);
    upDown->setFixedHeight(edit->sizeHint().height());
    return row;
}

void ConfigureChart(TChart *g, int axisMax)
{
    // The window's 8-point font is set in pixels for the screen; a printer page has many
    // more pixels to the inch, where such labels would shrink to nothing. The chart keeps
    // its own font in points, which the screen and the printer both size alike.
    QFont f = g->font();
    f.setPointSizeF(8);
    g->setFont(f);

    for (int k = 0; k < g->SeriesCount(); ++k) {
        g->Series(k)->SetTitle(QStringLiteral("č. %1").arg(k + 1));
        g->Series(k)->SetActive(false);
    }
    g->SetLeftAxisTitle(QStringLiteral("U [V]"));
    g->SetLeftAxisMax(axisMax);
    g->SetView3D(false);
    g->SetChart3DPercent(20);
    g->SetZoom(100);
    g->SetRotation(345);
    g->SetAnimatedZoom(true);
}

} // namespace

void InitChart3DBars(TFormMainBase *Form)
{
    TChart *g = Form->Graf;
    // The bars take the chart's values; each placement counts as a change, so the
    // rotation bar, still enabled here, makes the view non-orthogonal from the start.
    const auto place = [](QScrollBar *bar, int value, void (*changed)(TFormMainBase *, int),
                          TFormMainBase *f) {
        {
            const QSignalBlocker quiet(bar);
            bar->setValue(value);
        }
        changed(f, bar->value());
    };
    place(Form->SBar_Zoom, g->Zoom(), &SBar_ZoomChangeOn, Form);
    place(Form->SBar_3D, g->Chart3DPercent(), &SBar_3DChangeOn, Form);
    place(Form->SBar_Rot, g->Rotation(), &SBar_RotChangeOn, Form);
    // They come alive only with the 3D view.
    Form->SBar_3D->setEnabled(false);
    Form->SBar_Rot->setEnabled(false);
    Form->SBar_Zoom->setEnabled(false);
}

void BuildChartPage(TFormMainBase *Form)
{
    QWidget *page = Form->Page2;
    auto *pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    TChart *g = new TChart(page);
    g->setObjectName(QStringLiteral("Graf"));
    Form->Graf = g;
    pageLayout->addWidget(g, 1);

    auto *column = new QWidget(page);
    column->setObjectName(QStringLiteral("PanelGraf"));
    column->setFixedWidth(ColumnWidth);
    pageLayout->addWidget(column);
    auto *v = new QVBoxLayout(column);
    v->setContentsMargins(6, 6, 6, 6);
    v->setSpacing(3);

    Form->CheckZaz = new TCheckListBox(column);
    Form->CheckZaz->setObjectName(QStringLiteral("CheckZaz"));
    v->addWidget(Form->CheckZaz, 1);
    v->addSpacing(6);

    const TLangSet resource = lsCzech; // the form's own texts until a language is applied
    Form->Label16 = NewLabel(column, "Label16", LoadStr(sAxisXMax, resource));
    v->addWidget(Form->Label16);
    v->addWidget(
        NumberRow(column, Form->MaxX, Form->UpDownX, "MaxX", "UpDownX", 5, 300, ChartWindow));
    Form->Label15 = NewLabel(column, "Label15", LoadStr(sAxisYMax, resource));
    v->addWidget(Form->Label15);
    v->addWidget(NumberRow(column, Form->MaxU, Form->UpDownY, "MaxU", "UpDownY", 1, 1000, 300));
    v->addSpacing(6);

    Form->CB_3d = new TCheckBox(column);
    Form->CB_3d->setObjectName(QStringLiteral("CB_3d"));
    Form->CB_3d->setText(QStringLiteral("3&D"));
    Form->CB_3d->setChecked(false);
    v->addWidget(Form->CB_3d);

    auto *bars = new QGridLayout;
    bars->setContentsMargins(0, 0, 0, 0);
    bars->setHorizontalSpacing(4);
    bars->setVerticalSpacing(3);
    Form->Label13 = NewLabel(column, "Label13", QStringLiteral("3D"));
    Form->SBar_3D = NewBar(column, "SBar_3D", 1, 100);
    Form->Label12 = NewLabel(column, "Label12", LoadStr(sZoom, resource));
    Form->SBar_Zoom = NewBar(column, "SBar_Zoom", 25, 500);
    Form->Label14 = NewLabel(column, "Label14", LoadStr(sRotation, resource));
    Form->SBar_Rot = NewBar(column, "SBar_Rot", 270, 360);
    bars->addWidget(Form->Label13, 0, 0);
    bars->addWidget(Form->SBar_3D, 1, 0);
    bars->addWidget(Form->Label12, 2, 0);
    bars->addWidget(Form->SBar_Zoom, 3, 0);
    bars->addWidget(Form->Label14, 4, 0);
    bars->addWidget(Form->SBar_Rot, 5, 0);
    v->addLayout(bars);
    v->addSpacing(8);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    Form->ButtPrint = NewButton(column, "ButtPrint", LoadStr(sPrint, resource));
    Form->ButtSaveGraf = NewButton(column, "ButtSaveGraf", LoadStr(sSaveGraf, resource));
    buttons->addWidget(Form->ButtPrint);
    buttons->addWidget(Form->ButtSaveGraf);
    v->addLayout(buttons);

    ConfigureChart(g, Form->UpDownY->Position());

    // Handlers. The 3D bars are wired to this form, whatever FormMain is at the moment.
    Form->CheckZaz->OnClickCheck = CheckZazClickCheck;
    Form->MaxX->OnKeyPress = MaxXKeyPress;
    Form->UpDownX->OnChanging = UpDownXChanging;
    Form->MaxU->OnKeyPress = MaxUKeyPress;
    Form->UpDownY->OnChanging = UpDownYChanging;
    Form->CB_3d->OnClick = [Form](QObject *) { CB_3dClickOn(Form); };
    QObject::connect(Form->SBar_3D, &QScrollBar::valueChanged, Form,
                     [Form](int p) { Guarded([&] { SBar_3DChangeOn(Form, p); }); });
    QObject::connect(Form->SBar_Zoom, &QScrollBar::valueChanged, Form,
                     [Form](int p) { Guarded([&] { SBar_ZoomChangeOn(Form, p); }); });
    QObject::connect(Form->SBar_Rot, &QScrollBar::valueChanged, Form,
                     [Form](int p) { Guarded([&] { SBar_RotChangeOn(Form, p); }); });
    QObject::connect(Form->ButtPrint, &QPushButton::clicked, Form,
                     [] { Guarded([] { ButtPrintClick(); }); });
    QObject::connect(Form->ButtSaveGraf, &QPushButton::clicked, Form,
                     [] { Guarded([] { ButtSaveGrafClick(); }); });

    InitChart3DBars(Form);
}

void ApplyChartPageLanguage(TLangSet Set)
{
    if (Set == lsNone || !FormMain || !FormMain->Graf)
        return;
    FormMain->ButtSaveGraf->setText(LoadStr(sSaveGraf, Set));
    FormMain->ButtPrint->setText(LoadStr(sPrint, Set));
    FormMain->Label16->setText(LoadStr(sAxisXMax, Set));
    FormMain->Label15->setText(LoadStr(sAxisYMax, Set));
    FormMain->Label12->setText(LoadStr(sZoom, Set));
    FormMain->Label14->setText(LoadStr(sRotation, Set));
}

void SampleChart()
{
    TChart *g = Graf();
    if (!g)
        return;
    const QDateTime now = CurrentDateTime();
    const int second = now.time().second();
    if (second == LastChartSecond)
        return;
    const double x = DateTimeToNumber(now);
    const double oldest = x - ChartWindow / 86400.0;
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        const TDevice &d = Devices[slot];
        if (!d.Used || !d.InChart)
            continue;
        TChartSeries *s = g->Series(slot - 1);
        // A clock set back (end of summer time, a corrected clock) would put the new point
        // before older ones; the chart keeps its times ascending, so those points go.
        while (s->Count() > 0 && s->XValue(s->Count() - 1) > x)
            s->Delete(s->Count() - 1);
        while (s->Count() > 0 && s->XValue(0) < oldest)
            s->Delete(0);
        // A voltage that is no number has no place on the axis (the chart refuses it);
        // the other sources are plotted all the same, once in this second.
        if (!std::isfinite(d.U))
            continue;
        const QColor colour = ColorFromRgb(d.Color);
        s->AddXY(x, d.U, QString(), colour);
    }
    LastChartSecond = int16_t(second);
}

void CheckZazClickCheck(QObject *, int)
{
    TChart *g = Graf();
    if (!g || !FormMain->CheckZaz)
        return;
    int item = 0;
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        TDevice &d = Devices[slot];
        if (d.Used) {
            d.InChart = FormMain->CheckZaz->Checked(item);
            g->Series(slot - 1)->SetActive(d.InChart);
            ++item;
        } else {
            g->Series(slot - 1)->SetActive(false);
        }
    }
}

void MaxUKeyPress(QObject *, char16_t &Key)
{
    if (!IsKeyOfNumberEntry(Key)) {
        Key = 0;
        return;
    }
    if (Key != 13 || !FormMain || FormMain->MaxU->text().isEmpty())
        return;
    const int value = StrToInt(FormMain->MaxU->text()); // throws for pasted non-numbers
    FormMain->Graf->SetLeftAxisMax(value);
    FollowTypedValue(FormMain->UpDownY, value);
}

void UpDownYChanging(QObject *)
{
    if (FormMain && FormMain->UpDownY)
        ChartMaxU = FormMain->UpDownY->Position(); // what the run saves at its end
    if (!FormMain || FormMain->MaxU->text().isEmpty())
        return;
    FormMain->Graf->SetLeftAxisMax(FormMain->UpDownY->Position());
}

void MaxXKeyPress(QObject *, char16_t &Key)
{
    if (!IsKeyOfNumberEntry(Key)) {
        Key = 0;
        return;
    }
    if (Key != 13 || !FormMain || FormMain->MaxX->text().isEmpty())
        return;
    ChartWindow = StrToInt(FormMain->MaxX->text());
    FormMain->Graf->RecalcBottomAxis();
    FollowTypedValue(FormMain->UpDownX, ChartWindow);
}

void UpDownXChanging(QObject *)
{
    if (!FormMain || FormMain->MaxX->text().isEmpty())
        return;
    ChartWindow = FormMain->UpDownX->Position();
    FormMain->Graf->RecalcBottomAxis();
}

static void CB_3dClickOn(TFormMainBase *Form)
{
    const bool on = Form->CB_3d->isChecked();
    Form->Graf->SetView3D(on);
    Form->SBar_3D->setEnabled(on);
    Form->SBar_Rot->setEnabled(on);
    Form->SBar_Zoom->setEnabled(on);
}

static void SBar_3DChangeOn(TFormMainBase *Form, int Position)
{
    Form->Graf->SetChart3DPercent(Position);
    Form->SBar_3D->setEnabled(true);
}

static void SBar_RotChangeOn(TFormMainBase *Form, int Position)
{
    // Only a live bar turns the view; a bar placed while disabled merely wakes up.
    if (Form->SBar_Rot->isEnabled()) {
        Form->Graf->SetOrthogonal(false);
        Form->Graf->SetRotation(Position);
    }
    Form->SBar_Rot->setEnabled(true);
}

static void SBar_ZoomChangeOn(TFormMainBase *Form, int Position)
{
    Form->Graf->SetZoom(Position);
    Form->SBar_Zoom->setEnabled(true);
}

void CB_3dClick(QObject *)
{
    if (FormMain)
        CB_3dClickOn(FormMain);
}

void SBar_3DChange(int Position)
{
    if (FormMain)
        SBar_3DChangeOn(FormMain, Position);
}

void SBar_RotChange(int Position)
{
    if (FormMain)
        SBar_RotChangeOn(FormMain, Position);
}

void SBar_ZoomChange(int Position)
{
    if (FormMain)
        SBar_ZoomChangeOn(FormMain, Position);
}
