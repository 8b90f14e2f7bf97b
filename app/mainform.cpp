#include "mainform.h"

#include "about.h"
#include "application.h"
#include "banner.h"
#include "chartpage.h"
#include "commands.h"
#include "controls.h"
#include "flags.h"
#include "formprog.h"
#include "global.h"
#include "guarded.h"
#include "language.h"
#include "network.h"
#include "panels.h"
#include "panelview.h"
#include "pripoj.h"
#include "recording.h"
#include "runclicks.h"
#include "services.h"
#include "settings.h"
#include "tchart.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {
const QColor LightBlue(195, 210, 235);
constexpr int ButtonWidth = 113;
constexpr int ButtonHeight = 33;
constexpr int ButtonLeft = 8;

TBitBtn *BarButton(QWidget *parent, const char *name, const QString &caption, const QString &hint,
                   int top)
{
    auto *b = new TBitBtn(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setGeometry(ButtonLeft, top, ButtonWidth, ButtonHeight);
    b->setFont(FormFont(10, true));
    b->setCursor(Qt::PointingHandCursor);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// The page control's tab bar. A page whose tab is hidden can still be the active one (F4 to
// F7); the bar then shows no tab as selected instead of a remnant of the hidden tab.
class TPageTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        const int current = currentIndex();
        if (current < 0 || isTabVisible(current)) {
            QTabBar::paintEvent(e);
            return;
        }
        QStylePainter p(this);
        for (int i = 0; i < count(); ++i) {
            if (!isTabVisible(i))
                continue;
            QStyleOptionTab opt;
            initStyleOption(&opt, i);
            opt.state &= ~QStyle::State_Selected;
            p.drawControl(QStyle::CE_TabBarTab, opt);
        }
    }
};

class TPageControl : public QTabWidget
{
public:
    explicit TPageControl(QWidget *parent) : QTabWidget(parent)
    {
        setTabBar(new TPageTabBar(this));
    }
};

void FillWith(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}
} // namespace

QFont FormFont(int points, bool bold)
{
    QFont f = QApplication::font();
    f.setFamily(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(int(std::lround(points * 96.0 / 72.0)));
    f.setBold(bold);
    return f;
}

TFormMain::TFormMain(QWidget *parent) : TFormMainBase(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Ardemo"));
    setFont(FormFont(8, false));
    setMinimumSize(800, 600);
    resize(800, 600);
    FormMain = this;

    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    PanelTop = new QWidget(central);
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    PanelTop->setFixedHeight(TopBarHeight);
    FillWith(PanelTop, Qt::white);
    outer->addWidget(PanelTop);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    PanelLeft = new QWidget(central);
    PanelLeft->setObjectName(QStringLiteral("PanelLeft"));
    PanelLeft->setFixedWidth(LeftBarWidth);
    FillWith(PanelLeft, LightBlue);
    body->addWidget(PanelLeft);

    auto *main = new TPanel(central);
    main->setObjectName(QStringLiteral("PanelMain"));
    main->SetBevels(TPanel::bvNone, TPanel::bvLowered);
    PanelMain = main;
    body->addWidget(PanelMain, 1);
    outer->addLayout(body, 1);
    setCentralWidget(central);

    buildLeftBar();
    buildTopBar();
    buildPages();

    // Centred on the screen it opens on.
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());

    Services().ApplyLanguage = ::ApplyLanguage;
    Services().SourceRemoved = ::TakeDownPanel;
    wireTemplateHandlers();

    FormCreate();
}

TFormMain::~TFormMain()
{
    if (FormMain == this)
        FormMain = nullptr;
    Services().ApplyLanguage = nullptr;
    Services().SourceRemoved = nullptr;
}

void TFormMain::buildLeftBar()
{
    // The two flags lie on the same spot; the one shown switches to the other language.
    Bu_cz = BarButton(PanelLeft, "Bu_cz", QString(), QString(), 16);
    Bu_en = BarButton(PanelLeft, "Bu_en", QString(), QString(), 16);
    Bu_cz->setIcon(CzechFlag(22));
    Bu_cz->setIconSize(QSize(33, 22));
    Bu_en->setIcon(BritishFlag(22));
    Bu_en->setIconSize(QSize(44, 22));
    Bu_cz->OnClick = [this](QObject *s) { Bu_enClick(s); };
    Bu_en->OnClick = [this](QObject *s) { Bu_enClick(s); };
    Bu_cz->hide();
    Bu_en->hide();

    ButtAddDev = BarButton(PanelLeft, "ButtAddDev", QStringLiteral("Připojit"),
                           QStringLiteral("Přidá nové zařízení"), 96);
    ButtOutOn = BarButton(PanelLeft, "ButtOutOn", QStringLiteral("Výstup - zap"),
                          QStringLiteral("Zapnout výstup u všech zařízení"), 161);
    ButtOutOff = BarButton(PanelLeft, "ButtOutOff", QStringLiteral("Výstup - vyp"),
                           QStringLiteral("Vypnout výstup u všech zařízení"), 201);
    Buttoff = BarButton(PanelLeft, "Buttoff", QStringLiteral("U = 0V"),
                        QStringLiteral("Nastaví 0V pro všechna zařízení"), 242);
    ButtAddDev->OnClick = [this](QObject *) { ButtAddDevClick(); };
    ButtOutOn->OnClick = [](QObject *) { ButtOutOnClick(); };
    ButtOutOff->OnClick = [](QObject *) { ButtOutOffClick(); };
    Buttoff->OnClick = [](QObject *) { ButtoffClick(); };
}

void TFormMain::buildTopBar()
{
    auto *lay = new QHBoxLayout(PanelTop);
    lay->setContentsMargins(0, 0, 10, 0);
    lay->setSpacing(0);

    Panel1 = new TPanel(PanelTop);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->SetBevels(TPanel::bvNone, TPanel::bvNone);
    Panel1->SetColor(LightBlue);
    Panel1->setFixedSize(LeftBarWidth, TopBarHeight);
    ButtEnd = BarButton(Panel1, "ButtEnd", QStringLiteral("Konec"),
                        QStringLiteral("Ukončení programu"), (TopBarHeight - ButtonHeight) / 2);
    ButtEnd->OnClick = [this](QObject *) { ButtEndClick(); };
    lay->addWidget(Panel1);

    Image1 = new QLabel(PanelTop);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QImage banner = LoadBanner();
    if (!banner.isNull()) {
        Image1->setPixmap(QPixmap::fromImage(banner));
        Image1->setFixedSize(banner.size());
    } else {
        Image1->setFixedSize(345, 47); // a damaged banner leaves its place empty
    }
    lay->addWidget(Image1, 0, Qt::AlignVCenter);
    lay->addStretch(1);

    LabMqtt = new QLabel(PanelTop);
    LabMqtt->setObjectName(QStringLiteral("LabMqtt"));
    LabMqtt->setFont(FormFont(9, true));
    LabMqtt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabMqtt->setContentsMargins(0, 0, 16, 0);
    LabMqtt->hide();
    lay->addWidget(LabMqtt, 0, Qt::AlignVCenter);

    auto *clock = new QVBoxLayout;
    clock->setContentsMargins(0, 2, 0, 2);
    clock->setSpacing(0);
    LabDate = new QLabel(QStringLiteral("XX.XX.XXXX"), PanelTop);
    LabDate->setObjectName(QStringLiteral("LabDate"));
    LabCas = new QLabel(QStringLiteral("XX:XX:XX"), PanelTop);
    LabCas->setObjectName(QStringLiteral("LabCas"));
    for (QLabel *l : {LabDate, LabCas}) {
        l->setFont(FormFont(12, true));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setMinimumWidth(110);
        clock->addWidget(l);
    }
    lay->addLayout(clock);
}

void TFormMain::buildPages()
{
    auto *lay = new QVBoxLayout(PanelMain);
    lay->setContentsMargins(2, 2, 2, 2);
    PageCont = new TPageControl(PanelMain);
    PageCont->setObjectName(QStringLiteral("PageCont"));
    PageCont->tabBar()->setFont(FormFont(10, true));
    PageCont->setUsesScrollButtons(true);
    PageCont->setElideMode(Qt::ElideNone);
    lay->addWidget(PageCont);

    auto page = [this](const char *name, const QString &caption) {
        auto *w = new QWidget;
        w->setObjectName(QLatin1String(name));
        PageCont->addTab(w, caption);
        return w;
    };
    // Fifty panels do not fit on any screen: the main page scrolls. Page1 is the area's
    // content, so the panels and the template stay where the units look for them.
    Page1 = new QWidget;
    Page1->setObjectName(QStringLiteral("Page1"));
    ScrollMain = new QScrollArea;
    ScrollMain->setObjectName(QStringLiteral("ScrollMain"));
    ScrollMain->setFrameShape(QFrame::NoFrame);
    ScrollMain->setWidgetResizable(true);
    ScrollMain->setWidget(Page1);
    PageCont->addTab(ScrollMain, QStringLiteral(" F1 - Hlavní "));
    Page2 = page("Page2", QStringLiteral(" F2 - Graf "));
    Page3 = page("Page3", QStringLiteral("F3 - Komunikace"));
    Page3x = page("Page3x", QStringLiteral(" F4 - str.3 "));
    Page5 = page("Page5", QStringLiteral(" F5 - str.5 "));
    Page6 = page("Page6", QStringLiteral(" F6 - str.6 "));
    Page7 = page("Page7", QStringLiteral(" F7 - str.7 "));
    Page8 = page("Page8", QStringLiteral(" F8 - O programu ... "));

    PanDev = BuildTemplatePanel(Page1);
    BuildChartPage(this);
    buildCommunicationPage();
    BuildAboutPage(this);
}

void TFormMain::buildCommunicationPage()
{
    auto *lay = new QVBoxLayout(Page3);
    lay->setContentsMargins(4, 4, 4, 4);
    ControlLines = new QTabWidget(Page3);
    ControlLines->setObjectName(QStringLiteral("ControlLines"));
    lay->addWidget(ControlLines);

    for (int line = 1; line <= MaxLines; ++line) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("Line%1").arg(line));
        ControlLines->addTab(page, QStringLiteral("Linka ") + QChar(u'A' + line - 1));
        LinePage[line] = page;

        auto *grid = new QGridLayout(page);
        grid->setContentsMargins(6, 6, 6, 6);
        grid->setHorizontalSpacing(10);
        for (int side = 0; side < 2; ++side) {
            const int memo = 2 * line - 1 + side;
            const int label = 2 + 2 * line + side; // Label4..Label11
            auto *l = new QLabel(
                side == 0 ? QStringLiteral("Odeslané:") : QStringLiteral("Přijaté:"), page);
            l->setObjectName(QStringLiteral("Label%1").arg(label));
            MemoLabel[label] = l;
            auto *m = new QPlainTextEdit(page);
            m->setObjectName(QStringLiteral("Memo%1").arg(memo));
            m->setReadOnly(true);
            m->setLineWrapMode(QPlainTextEdit::NoWrap);
            m->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            Memo[memo] = m;
            grid->addWidget(l, 0, side);
            grid->addWidget(m, 1, side);
        }
        grid->setRowStretch(1, 1);
    }
}

void TFormMain::wireTemplateHandlers()
{
    if (!PanDev)
        return;
    if (auto *b = PanDev->findChild<TBitBtn *>(QStringLiteral("ButtProg")))
        b->OnClick = ButtProgClick;
    if (auto *c = PanDev->findChild<TCheckBox *>(QStringLiteral("CheckBox1")))
        c->OnClick = CheckBox1Click;
    if (auto *b = PanDev->findChild<TSpeedButton *>(QStringLiteral("ButtSt")))
        b->OnClick = ButtStClick;
    if (auto *b = PanDev->findChild<TSpeedButton *>(QStringLiteral("ButtEn")))
        b->OnClick = ButtEnClick;
    for (const char *name : {"LabKrok", "LabCasP", "LabUProg"})
        if (auto *l = PanDev->findChild<TLabel *>(QLatin1String(name)))
            l->OnClick = LabKrokClick;
}

void TFormMain::FormCreate()
{
    ::LoadSettings();

    Bu_en->setVisible(LangCode == QLatin1String("cz"));
    Bu_cz->setVisible(LangCode == QLatin1String("en"));

    if (PanDev) {
        PanLeft = PanDev->x();
        PanTop = PanDev->y();
        PanHeight = PanDev->height();
        PanWidth = PanDev->width();
    }

    if (CheckZaz)
        CheckZaz->clear();

    if (Graf) {
        if (SBar_Zoom)
            SBar_Zoom->setValue(Graf->Zoom());
        if (SBar_3D)
            SBar_3D->setValue(Graf->Chart3DPercent());
        if (SBar_Rot)
            SBar_Rot->setValue(Graf->Rotation());
    }

    if (DM && DM->TSystem)
        DM->TSystem->setInterval(25);

    for (int i = 0; i < PageCont->count(); ++i)
        PageCont->setTabVisible(i, i <= 2 || i == 7);
    PageCont->setCurrentIndex(0);

    InitTables();
    for (int line = 1; line <= MaxLines; ++line)
        Lines[line].Cur = NoDevice;

    for (QScrollBar *s : {SBar_3D, SBar_Rot, SBar_Zoom})
        if (s)
            s->setEnabled(false);

    for (int i = 0; i < ControlLines->count(); ++i)
        ControlLines->setTabVisible(i, false);
}

void TFormMain::FormShow()
{
    if (DM && DM->TSystem)
        DM->TSystem->start();
    ::ApplyLanguage();
    StartNetwork();
    // The sources of the last run come back once the window is up, so that their panels
    // are laid out in it and a message about a port has a window to stand over.
    if (!SavedSources.empty())
        QMetaObject::invokeMethod(
            this,
            [] {
                const std::vector<TSavedSource> sources = std::exchange(SavedSources, {});
                Guarded([&] { ReconnectSources(sources); });
            },
            Qt::QueuedConnection);
}

void TFormMain::FormResize()
{
    ArrangePanels();
}

void TFormMain::SaveSettings()
{
    ::SaveSettings();
}

void TFormMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    if (DM && DM->TSystem)
        DM->TSystem->stop();
    try {
        SaveSettings();
    } catch (const std::exception &e) {
        // The run is over, but the operator must learn that the settings were not kept.
        ReportError(QString::fromUtf8(e.what()));
    }
}

void TFormMain::ButtEndClick()
{
    QCoreApplication::quit();
}

void TFormMain::ButtAddDevClick()
{
    if (!FormPripoj)
        return;
    FormPripoj->show();
    FormPripoj->raise();
    FormPripoj->activateWindow();
}

void TFormMain::Bu_enClick(QObject *Sender)
{
    LangCode = Sender->objectName().mid(3, 2);
    Bu_en->setVisible(LangCode == QLatin1String("cz"));
    Bu_cz->setVisible(LangCode == QLatin1String("en"));
    ::ApplyLanguage();
}

void TFormMain::SetClockText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

void TFormMain::showEvent(QShowEvent *e)
{
    TFormMainBase::showEvent(e);
    if (!m_shown && !e->spontaneous()) {
        m_shown = true;
        Guarded([this] { FormShow(); });
    }
}

void TFormMain::resizeEvent(QResizeEvent *e)
{
    TFormMainBase::resizeEvent(e);
    Guarded([this] { FormResize(); });
}

void TFormMain::closeEvent(QCloseEvent *e)
{
    // A connection dialog left open must not keep the program running.
    e->accept();
    Guarded([this] { ButtEndClick(); });
}
