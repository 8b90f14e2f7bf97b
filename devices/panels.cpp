#include "panels.h"

#include "commands.h"
#include "forms.h"
#include "global.h"
#include "recording.h"
#include "scheduler.h"
#include "services.h"
#include "sysutils.h"
#include "tchart.h"

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPolygonF>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <afcomport.h>

#include <algorithm>
#include <stdexcept>

namespace {

// The template's fonts are all bold sans-serif at fixed pixel sizes, so a panel looks the
// same whatever the desktop's font settings.
QFont PanelFont(int px)
{
    QFont f = QApplication::font();
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(px);
    f.setBold(true);
    return f;
}

void SetTextColor(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

// A font of the forms includes its colour; here the colour lives in the palette.
void CopyFont(QWidget *dst, const QWidget *src)
{
    dst->setFont(src->font());
    QPalette p = dst->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            p.setColor(g, role, src->palette().color(g, role));
    dst->setPalette(p);
}

void CopyCursor(QWidget *dst, const QWidget *src)
{
    if (src->testAttribute(Qt::WA_SetCursor))
        dst->setCursor(src->cursor());
}

void CopyBackground(QWidget *dst, const QWidget *src, QPalette::ColorRole role)
{
    SetTextColor(dst, role, src->palette().color(role));
    dst->setAutoFillBackground(src->autoFillBackground());
}

QIcon Glyph(bool start)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    if (start) {
        p.setBrush(QColor(0x00, 0xA0, 0x00));
        p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(13, 8), QPointF(4, 14)}));
    } else {
        p.setBrush(QColor(0xD0, 0x00, 0x00));
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
    }
    return QIcon(pm);
}

template <typename T> T *Make(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    auto *c = new T(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(x, y, w, h);
    return c;
}

TLabel *MakeLabel(QWidget *parent, const char *name, int x, int y, const QString &text, int px)
{
    auto *l = new TLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(PanelFont(px));
    l->move(x, y);
    l->SetCaption(text);
    l->adjustSize();
    return l;
}

template <typename T> T *TemplateChild(const TPanel *tpl, const char *name)
{
    T *c = tpl->findChild<T *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    if (!c)
        throw std::logic_error(std::string("template panel lacks ") + name);
    return c;
}

// The scroll area the main page is the content of, when it is one (the main window puts
// it in one; a bare page has none).
QScrollArea *ScrollAreaOf(QWidget *page)
{
    QWidget *viewport = page ? page->parentWidget() : nullptr;
    auto *area = viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr;
    return area && area->widget() == page ? area : nullptr;
}

int ColumnsIn(int width)
{
    const int pitch = PanWidth + 5;
    if (pitch <= 0)
        return 1;
    const int cols = (width - PanLeft) / pitch;
    return cols < 1 ? 1 : cols;
}

// Bottom of the last of Count panels in rows of Cols.
int RowsBottom(int Count, int Cols)
{
    return ((Count - 1) / Cols) * (PanHeight + 5) + PanTop + PanHeight;
}

int Columns()
{
    if (!FormMain || !FormMain->PanelMain)
        return 1;
    if (QScrollArea *area = ScrollAreaOf(FormMain->Page1)) {
        // The panels get the area's width; the vertical scroll bar takes its share only
        // when the rows do not fit without it, so a screen that shows every row keeps the
        // column the bar would have cost.
        const QSize room = area->maximumViewportSize();
        const int cols = ColumnsIn(room.width());
        if (RowsBottom(DeviceCount, cols) + 5 <= room.height())
            return cols;
        return ColumnsIn(room.width() - area->verticalScrollBar()->sizeHint().width());
    }
    return ColumnsIn(FormMain->PanelMain->width());
}

// The window grows to the wanted size but never beyond the screen's available area, its
// frame counted, and never shrinks. A window that grew past the bottom or the right of
// that area moves back onto it, or its last rows and its scroll bar would be out of reach.
void GrowWindow(QWidget *Window, QSize Wanted)
{
    if (Window->isMaximized() || Window->isFullScreen())
        return; // as large as the screen lets it be
    QSize size = Wanted;
    const QScreen *screen = Window->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect();
    const QSize frame = Window->frameGeometry().size() - Window->size();
    if (avail.isValid())
        size = size.boundedTo(avail.size() - frame);
    size = size.expandedTo(Window->size());
    if (size == Window->size())
        return;
    Window->resize(size);
    if (!avail.isValid())
        return;
    const QRect outer(Window->frameGeometry().topLeft(), size + frame);
    const int dx =
        std::max(std::min(0, avail.right() - outer.right()), avail.left() - outer.left());
    const int dy =
        std::max(std::min(0, avail.bottom() - outer.bottom()), avail.top() - outer.top());
    if (dx || dy)
        Window->move(outer.topLeft() + QPoint(dx, dy));
}

QPoint GridPosition(int n, int cols)
{
    return QPoint(((n - 1) % cols) * (PanWidth + 5) + PanLeft,
                  ((n - 1) / cols) * (PanHeight + 5) + PanTop);
}

} // namespace

void ClearPanelReferences(TDevice &d)
{
    d.PanDev = d.PanelCol = d.PanNekom = nullptr;
    d.Disp1 = d.Disp2 = nullptr;
    d.Shape1 = d.Shape2 = nullptr;
    d.Label1 = d.Label2 = d.Label3 = d.LabKrok = d.LabUProg = d.LabCasP = nullptr;
    d.Edit1 = d.Edit2 = nullptr;
    d.CheckBox1 = nullptr;
    d.ButtSetU = d.ButtSetTol = d.ButtProg = d.ButtonColor = d.ButtonDel = nullptr;
    d.Bevel1 = nullptr;
    d.ButtSt = d.ButtEn = nullptr;
}

// ---------------------------------------------------------------- the template

TPanel *BuildTemplatePanel(QWidget *Page1)
{
    const QColor black = ColorFromRgb(0x000000);
    const QColor red = ColorFromRgb(0xFF0000);
    const QColor white = ColorFromRgb(0xFFFFFF);
    const Qt::CursorShape hand = Qt::PointingHandCursor;

    auto *pan = new TPanel(Page1);
    pan->setObjectName(QStringLiteral("PanDev"));
    pan->setGeometry(5, 5, 235, 200);
    pan->setFont(PanelFont(11));
    pan->hide();

    auto *col = Make<TPanel>(pan, "PanelCol", 9, 26, 217, 68);
    col->SetBevels(TPanel::bvNone, TPanel::bvLowered);
    col->SetColor(col->palette().color(QPalette::Window));

    for (auto [name, y, text] :
         {std::tuple{"Disp1", 34, "U = ... V"}, std::tuple{"Disp2", 63, "Tol = . V"}}) {
        auto *d = Make<TStaticText>(pan, name, 18, y, 96, 25);
        d->setFont(PanelFont(16));
        d->setAlignment(Qt::AlignCenter);
        d->SetColor(black);
        SetTextColor(d, QPalette::WindowText, red);
        d->SetCaption(QString::fromLatin1(text));
    }

    const QString voltHint = QStringLiteral("Nastavení napětí");
    const QString tolHint = QStringLiteral("Nastavení tolerance stabilizace");
    for (auto [name, y, len, hint] :
         {std::tuple{"Edit1", 34, 3, voltHint}, std::tuple{"Edit2", 63, 1, tolHint}}) {
        auto *e = Make<TEdit>(pan, name, 120, y, 49, 24);
        e->setFont(PanelFont(16));
        e->setMaxLength(len);
        e->setToolTip(hint);
        e->setCursor(hand);
        e->setEnabled(false);
        e->SetFontColor(black);
    }
    for (auto [name, y, hint] :
         {std::tuple{"ButtSetU", 34, voltHint}, std::tuple{"ButtSetTol", 63, tolHint}}) {
        auto *b = Make<TBitBtn>(pan, name, 176, y, 41, 24);
        b->setFont(PanelFont(13));
        b->setText(QStringLiteral("SET"));
        b->setToolTip(hint);
        b->setCursor(hand);
        b->setEnabled(false);
    }

    auto *nekom = Make<TPanel>(pan, "PanNekom", 16, 32, 203, 57);
    nekom->setFont(PanelFont(16));
    nekom->SetColor(nekom->palette().color(QPalette::Window));
    SetTextColor(nekom, QPalette::WindowText, red);
    nekom->SetCaption(QStringLiteral("NEKOMUNIKUJE"));

    MakeLabel(pan, "Label1", 9, 6, QStringLiteral("Label1"), 11);

    Make<TBevel>(pan, "Bevel1", 9, 99, 136, 73);

    for (auto [name, start, hint] : {std::tuple{"ButtSt", true, "Spustění program"},
                                     std::tuple{"ButtEn", false, "Stop programu"}}) {
        auto *b = Make<TSpeedButton>(pan, name, 16, 106, 25, 25);
        b->setIcon(Glyph(start));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(QString::fromUtf8(hint));
        b->setEnabled(false);
        if (!start)
            b->setVisible(false);
    }

    const QString progHint = QStringLiteral("Aktuální stav programu");
    MakeLabel(pan, "LabKrok", 48, 106, QStringLiteral("LabKrok"), 11)->setToolTip(progHint);
    MakeLabel(pan, "LabCasP", 48, 121, QStringLiteral("LabKrok"), 11)->setToolTip(progHint);
    MakeLabel(pan, "LabUProg", 48, 135, QStringLiteral("LabKrok"), 11)->setToolTip(progHint);

    auto *rec = Make<TCheckBox>(pan, "CheckBox1", 21, 151, 76, 17);
    rec->setFont(PanelFont(11));
    rec->setText(QStringLiteral("Záznam"));
    rec->setCursor(hand);

    for (auto [shape, sx, label, lx, text, hint] :
         {std::tuple{"Shape1", 18, "Label2", 37, "Out", "Výstup Zap/Vyp"},
          std::tuple{"Shape2", 88, "Label3", 105, "Sta", "Stabilizace Zap/Vyp"}}) {
        auto *s = Make<TShape>(pan, shape, sx, 176, 15, 15);
        s->SetBrushColor(white);
        TLabel *l = MakeLabel(pan, label, lx, 175, QString::fromLatin1(text), 13);
        l->SetTransparent(true);
        l->setCursor(hand);
        l->setToolTip(QString::fromUtf8(hint));
        l->setEnabled(false);
    }

    for (auto [name, y, text, hint] :
         {std::tuple{"ButtProg", 99, "Program", "Nastavení programu"},
          std::tuple{"ButtonColor", 131, "Barva", "Nastavení barvy"},
          std::tuple{"ButtonDel", 163, "Odebrat", "Odebrat zařízení"}}) {
        auto *b = Make<TBitBtn>(pan, name, 153, y, 73, 28);
        b->setFont(PanelFont(13));
        b->setText(QString::fromUtf8(text));
        b->setToolTip(QString::fromUtf8(hint));
        b->setCursor(hand);
    }

    // Stacking among siblings follows creation; the overlay must lie over the displays,
    // entries and SET buttons.
    nekom->raise();

    TemplateChild<TBitBtn>(pan, "ButtSetU")->OnClick = ButtSetUClick;
    TemplateChild<TBitBtn>(pan, "ButtSetTol")->OnClick = ButtSetTolClick;
    TemplateChild<TEdit>(pan, "Edit1")->OnKeyPress = Edit1KeyPress;
    TemplateChild<TEdit>(pan, "Edit2")->OnKeyPress = Edit2KeyPress;
    TemplateChild<TLabel>(pan, "Label2")->OnClick = Label2Click;
    TemplateChild<TLabel>(pan, "Label3")->OnClick = Label3Click;
    TemplateChild<TBitBtn>(pan, "ButtonColor")->OnClick = ButtonColorClick;
    TemplateChild<TBitBtn>(pan, "ButtonDel")->OnClick = ButtonDelClick;
    return pan;
}

// ---------------------------------------------------------------- copy routines

TPanel *ClonePanel(QWidget *Parent, const TPanel *Src)
{
    auto *c = new TPanel(Parent);
    c->setObjectName(Src->objectName());
    c->SetBevels(Src->BevelInner(), Src->BevelOuter());
    c->SetColor(Src->Color());
    c->setGeometry(Src->geometry());
    CopyFont(c, Src);
    c->SetCaptionAlignment(Src->CaptionAlignment());
    c->SetCaption(Src->Caption());
    CopyCursor(c, Src);
    c->setToolTip(Src->toolTip());
    c->OnClick = Src->OnClick;
    return c;
}

TLabel *CloneLabel(QWidget *Parent, const TLabel *Src)
{
    auto *c = new TLabel(Parent);
    c->setObjectName(Src->objectName());
    c->setText(Src->text());
    CopyFont(c, Src);
    c->setAlignment(Src->alignment());
    c->SetAutoSize(Src->AutoSize());
    c->setGeometry(Src->geometry());
    c->setToolTip(Src->toolTip());
    CopyCursor(c, Src);
    c->SetTransparent(Src->Transparent());
    c->setEnabled(Src->isEnabledTo(Src->parentWidget()));
    c->OnMouseMove = Src->OnMouseMove;
    c->OnClick = Src->OnClick;
    return c;
}

TStaticText *CloneStaticText(QWidget *Parent, const TStaticText *Src)
{
    auto *c = new TStaticText(Parent);
    c->setObjectName(Src->objectName());
    CopyFont(c, Src);
    c->setAlignment(Src->alignment());
    c->setText(Src->text());
    c->SetAutoSize(Src->AutoSize());
    c->setFrameStyle(Src->frameStyle());
    c->setLineWidth(Src->lineWidth());
    c->SetColor(Src->Color());
    c->setGeometry(Src->geometry());
    c->setToolTip(Src->toolTip());
    CopyCursor(c, Src);
    c->OnMouseMove = Src->OnMouseMove;
    c->OnClick = Src->OnClick;
    return c;
}

TShape *CloneShape(QWidget *Parent, const TShape *Src)
{
    auto *c = new TShape(Parent);
    c->setObjectName(Src->objectName());
    c->SetBrushColor(Src->BrushColor());
    c->setGeometry(Src->geometry());
    CopyCursor(c, Src);
    c->setToolTip(Src->toolTip());
    return c;
}

TEdit *CloneEdit(QWidget *Parent, const TEdit *Src)
{
    auto *c = new TEdit(Parent);
    c->setObjectName(Src->objectName());
    c->setFrame(Src->hasFrame());
    SetTextColor(c, QPalette::Base, Src->palette().color(QPalette::Base));
    c->setGeometry(Src->geometry());
    CopyFont(c, Src);
    c->setText(Src->text());
    c->setMaxLength(Src->maxLength());
    c->setToolTip(Src->toolTip());
    CopyCursor(c, Src);
    // The enabled state is not copied: a new source's entries start usable.
    c->OnKeyPress = Src->OnKeyPress;
    c->OnChange = Src->OnChange;
    return c;
}

TCheckBox *CloneCheckBox(QWidget *Parent, const TCheckBox *Src)
{
    auto *c = new TCheckBox(Parent);
    c->setObjectName(Src->objectName());
    c->setCheckState(Src->checkState());
    CopyBackground(c, Src, QPalette::Window);
    c->setGeometry(Src->geometry());
    CopyFont(c, Src);
    c->setText(Src->text());
    c->setToolTip(Src->toolTip());
    CopyCursor(c, Src);
    c->OnClick = Src->OnClick;
    return c;
}

TBitBtn *CloneBitBtn(QWidget *Parent, const TBitBtn *Src)
{
    auto *c = new TBitBtn(Parent);
    c->setObjectName(Src->objectName());
    c->setGeometry(Src->geometry());
    CopyFont(c, Src);
    c->setText(Src->text());
    c->setToolTip(Src->toolTip());
    CopyCursor(c, Src);
    c->setIcon(Src->icon());
    c->setIconSize(Src->iconSize());
    c->setEnabled(Src->isEnabledTo(Src->parentWidget()));
    c->OnClick = Src->OnClick;
    return c;
}

TSpeedButton *CloneSpeedButton(QWidget *Parent, const TSpeedButton *Src)
{
    auto *c = new TSpeedButton(Parent);
    c->setObjectName(Src->objectName());
    c->setGeometry(Src->geometry());
    CopyFont(c, Src);
    c->setText(Src->text());
    CopyCursor(c, Src);
    if (!Src->isVisibleTo(Src->parentWidget()))
        c->setVisible(false);
    c->setToolTip(Src->toolTip());
    c->setIcon(Src->icon());
    c->setIconSize(Src->iconSize());
    c->setEnabled(Src->isEnabledTo(Src->parentWidget()));
    c->OnClick = Src->OnClick;
    return c;
}

TBevel *CloneBevel(QWidget *Parent, const TBevel *Src)
{
    auto *c = new TBevel(Parent);
    c->setObjectName(Src->objectName());
    c->setGeometry(Src->geometry());
    CopyCursor(c, Src);
    return c;
}

// ---------------------------------------------------------------- building and layout

bool DeviceLimitReached()
{
    if (DeviceCount < MaxDevices)
        return false;
    // A further source would overrun the table; the program goes on without it.
    QMessageBox::warning(FormMain, QCoreApplication::applicationName(),
                         QStringLiteral("Aktivováno mnoho zařízení"));
    return true;
}

void CreateDevicePanel(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        throw std::out_of_range("source slot out of range");
    if (DeviceLimitReached())
        return;
    const TPanel *tpl = FormMain ? FormMain->PanDev : nullptr;
    if (!tpl)
        throw std::logic_error("no template panel");
    QWidget *page = FormMain->Page1 ? FormMain->Page1 : tpl->parentWidget();

    // Look every child up before anything changes, so a faulty template changes nothing.
    auto *tCol = TemplateChild<TPanel>(tpl, "PanelCol");
    auto *tDisp1 = TemplateChild<TStaticText>(tpl, "Disp1");
    auto *tDisp2 = TemplateChild<TStaticText>(tpl, "Disp2");
    auto *tShape1 = TemplateChild<TShape>(tpl, "Shape1");
    auto *tShape2 = TemplateChild<TShape>(tpl, "Shape2");
    auto *tLabel1 = TemplateChild<TLabel>(tpl, "Label1");
    auto *tLabel2 = TemplateChild<TLabel>(tpl, "Label2");
    auto *tLabel3 = TemplateChild<TLabel>(tpl, "Label3");
    auto *tKrok = TemplateChild<TLabel>(tpl, "LabKrok");
    auto *tUProg = TemplateChild<TLabel>(tpl, "LabUProg");
    auto *tCasP = TemplateChild<TLabel>(tpl, "LabCasP");
    auto *tEdit1 = TemplateChild<TEdit>(tpl, "Edit1");
    auto *tEdit2 = TemplateChild<TEdit>(tpl, "Edit2");
    auto *tSetU = TemplateChild<TBitBtn>(tpl, "ButtSetU");
    auto *tSetTol = TemplateChild<TBitBtn>(tpl, "ButtSetTol");
    auto *tProg = TemplateChild<TBitBtn>(tpl, "ButtProg");
    auto *tBevel = TemplateChild<TBevel>(tpl, "Bevel1");
    auto *tSt = TemplateChild<TSpeedButton>(tpl, "ButtSt");
    auto *tEn = TemplateChild<TSpeedButton>(tpl, "ButtEn");
    auto *tColor = TemplateChild<TBitBtn>(tpl, "ButtonColor");
    auto *tDel = TemplateChild<TBitBtn>(tpl, "ButtonDel");
    auto *tRec = TemplateChild<TCheckBox>(tpl, "CheckBox1");
    auto *tNekom = TemplateChild<TPanel>(tpl, "PanNekom");

    ++DeviceCount;
    const int cols = Columns();

    auto *pan = new TPanel(page);
    pan->setObjectName(QStringLiteral("PanDev_%1").arg(Slot));
    pan->SetBevels(tpl->BevelInner(), tpl->BevelOuter());
    pan->SetColor(tpl->Color());
    CopyFont(pan, tpl);
    pan->setGeometry(QRect(GridPosition(DeviceCount, cols), QSize(PanWidth, PanHeight)));

    TDevice &d = Devices[Slot];
    d.PanDev = pan;
    // Creation order is stacking order: the frame lowest, the overlay on top.
    d.PanelCol = ClonePanel(pan, tCol);
    d.Disp1 = CloneStaticText(pan, tDisp1);
    d.Disp2 = CloneStaticText(pan, tDisp2);
    d.Shape1 = CloneShape(pan, tShape1);
    d.Shape2 = CloneShape(pan, tShape2);
    d.Label1 = CloneLabel(pan, tLabel1);
    d.Label2 = CloneLabel(pan, tLabel2);
    d.Label3 = CloneLabel(pan, tLabel3);
    d.LabKrok = CloneLabel(pan, tKrok);
    d.LabUProg = CloneLabel(pan, tUProg);
    d.LabCasP = CloneLabel(pan, tCasP);
    d.Edit1 = CloneEdit(pan, tEdit1);
    d.Edit2 = CloneEdit(pan, tEdit2);
    d.ButtSetU = CloneBitBtn(pan, tSetU);
    d.ButtSetTol = CloneBitBtn(pan, tSetTol);
    d.ButtProg = CloneBitBtn(pan, tProg);
    d.Bevel1 = CloneBevel(pan, tBevel);
    d.ButtSt = CloneSpeedButton(pan, tSt);
    d.ButtEn = CloneSpeedButton(pan, tEn);
    d.ButtonColor = CloneBitBtn(pan, tColor);
    d.ButtonDel = CloneBitBtn(pan, tDel);
    d.CheckBox1 = CloneCheckBox(pan, tRec);
    d.PanNekom = ClonePanel(pan, tNekom);
    // The record box's state is the source's: ticked by the operator or by code alike.
    QObject::connect(d.CheckBox1, &QCheckBox::toggled, d.CheckBox1,
                     [Slot](bool on) { Devices[Slot].Recording = on; });
    Devices[Slot].Recording = d.CheckBox1->isChecked();
    pan->show();
}

void ArrangePanels()
{
    if (!FormMain || !FormMain->PanelMain)
        return;
    QWidget *main = FormMain->PanelMain;
    QWidget *page = FormMain->Page1;
    QScrollArea *area = ScrollAreaOf(page);
    const int cols = Columns();
    const int bottom = RowsBottom(DeviceCount, cols);

    if (area) {
        // The scrolled page holds every row and at least one column.
        const QSize content(PanLeft + PanWidth + 5, bottom + 5);
        if (page->minimumSize() != content) {
            page->setMinimumSize(content);
            // The area would fit its content to it only at its next layout pass; the page
            // must hold its rows now.
            QEvent layout(QEvent::LayoutRequest);
            QCoreApplication::sendEvent(area, &layout);
        }
    }

    // The window grows to show every row and one full column; it never shrinks here.
    // The page lies below the page control's tabs: what PanelMain loses to them is added,
    // or the last row would stay cut by the height of the tabs.
    QWidget *shown = area ? area->viewport() : page;
    int lost = 0;
    if (shown && shown->isVisible() && main->isAncestorOf(shown))
        lost = qBound(0, main->height() - shown->height(), main->height() / 2);
    if (main->height() - lost < bottom) {
        const int top = FormMain->PanelTop ? FormMain->PanelTop->height() : 0;
        GrowWindow(FormMain, QSize(FormMain->width(), bottom + top + 5 + lost));
    }
    if (main->width() < PanLeft + PanWidth) {
        const int left = FormMain->PanelLeft ? FormMain->PanelLeft->width() : 0;
        GrowWindow(FormMain, QSize(PanLeft + PanWidth + left + 5, FormMain->height()));
    }

    // Runs on every tick: only a panel whose place changed is moved.
    int n = 0;
    for (int i = 1; i <= MaxDevices; ++i) {
        if (!Devices[i].Used)
            continue;
        ++n;
        TPanel *p = Devices[i].PanDev;
        if (!p)
            continue;
        const QPoint at = n == 1 ? QPoint(5, 5) : GridPosition(n, cols);
        if (p->pos() != at)
            p->move(at);
    }
}

void FillChartList()
{
    if (!FormMain)
        return;
    if (TChart *graf = FormMain->Graf)
        for (int i = 1; i <= MaxDevices && i - 1 < graf->SeriesCount(); ++i)
            graf->Series(i - 1)->SetActive(Devices[i].Used && Devices[i].InChart);
    TCheckListBox *list = FormMain->CheckZaz;
    if (!list)
        return;
    list->clear();
    for (int i = 1; i <= MaxDevices; ++i)
        if (Devices[i].Used)
            list->AddItem(QStringLiteral("%1: Adr. = %2")
                              .arg(i, 2, 10, QLatin1Char('0'))
                              .arg(Devices[i].Address),
                          Devices[i].InChart);
}

// ---------------------------------------------------------------- title

void SetPanelTitle(TLabel *Title, const QString &Text)
{
    if (!Title)
        return;
    // The hint leaves out the line end that a source's identification reply brings along.
    QString whole = Text;
    while (whole.endsWith(QLatin1Char('\r')) || whole.endsWith(QLatin1Char('\n')))
        whole.chop(1);
    // Replies come many times a second and repeat the title: unchanged costs nothing.
    if (Title->toolTip().isEmpty() ? Title->text() == Text : Title->toolTip() == whole)
        return;
    // Every panel is PanWidth wide; the title ends where the colour frame under it ends,
    // as far from the panel's right edge as it starts from its left.
    const int room = PanWidth - 2 * Title->x();
    const QString shown = Title->fontMetrics().elidedText(Text, Qt::ElideRight, room);
    Title->SetCaption(shown);
    Title->setToolTip(shown == Text ? QString() : whole);
}

// ---------------------------------------------------------------- colour and removal

void ButtonColorClick(QObject *Sender)
{
    const int slot = FindSlot(Sender, &TDevice::ButtonColor);
    if (!slot || !DM || !DM->ColorDial || !Devices[slot].PanelCol)
        return;
    QColorDialog *dial = DM->ColorDial;
    // The tick goes on while the dialog is open; the source may be removed meanwhile.
    QPointer<TPanel> frame = Devices[slot].PanelCol;
    dial->setCurrentColor(frame->Color());
    if (dial->exec() == QDialog::Accepted && frame) {
        frame->SetColor(dial->currentColor());
        Devices[slot].Color = dial->currentColor().rgb() & 0xFFFFFF;
        NoteChange(slot);
    }
}

void ButtonDelClick(QObject *Sender)
{
    const int slot = FindSlot(Sender, &TDevice::ButtonDel);
    if (!slot)
        return;
    RemoveReq[slot] = true;
    if (Devices[slot].PanDev)
        Devices[slot].PanDev->hide();
}

void TakeDownPanel(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    TDevice &d = Devices[Slot];
    delete d.PanDev;
    ClearPanelReferences(d);
    FillChartList();
    ArrangePanels();
}

void RemoveDevice(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices || !Devices[Slot].Used)
        return; // nothing connected there: the counts must not drift
    // The application has the views told of every source that leaves; without it (a view
    // of its own in a test) the panel is taken down here.
    const bool viewsTold = bool(Services().SourceRemoved);
    RemoveSource(Slot);
    if (!viewsTold)
        TakeDownPanel(Slot);
}

// ---------------------------------------------------------------- language

void ApplyPanelLanguage(int Slot, TLangSet Set)
{
    if (Set == lsNone || Slot < 1 || Slot > MaxDevices || !Devices[Slot].Used)
        return;
    const TDevice &d = Devices[Slot];
    auto hint = [Set](QWidget *w, TStrId id) {
        if (w)
            w->setToolTip(LoadStr(id, Set));
    };
    hint(d.ButtProg, sProgHint);
    if (d.CheckBox1)
        d.CheckBox1->setText(LoadStr(sRecord, Set));
    hint(d.CheckBox1, sRecordHint);
    if (d.ButtonColor)
        d.ButtonColor->setText(LoadStr(sColor, Set));
    hint(d.ButtonColor, sColorHint);
    if (d.ButtonDel)
        d.ButtonDel->setText(LoadStr(sRemove, Set));
    hint(d.ButtonDel, sRemoveHint);
    hint(d.Label2, sOutHint);
    hint(d.Label3, sStaHint);
    hint(d.Edit1, sVoltHint);
    hint(d.ButtSetU, sVoltHint);
    hint(d.Edit2, sTolHint);
    hint(d.ButtSetTol, sTolHint);
    hint(d.ButtSt, sRunHint);
    hint(d.ButtEn, sStopHint);
    if (d.PanNekom)
        d.PanNekom->SetCaption(LoadStr(sNoAnswerPanel, Set));
}
