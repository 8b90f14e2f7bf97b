#include "devicefixture.h"

#include "commands.h"
#include "offscreenscreen.h"

#include <QScreen>
#include <QTest>

namespace {

const char *const ChildNames[] = {"PanelCol",  "Disp1",     "Disp2",   "Shape1",   "Shape2",
                                  "Label1",    "Label2",    "Label3",  "LabKrok",  "LabUProg",
                                  "LabCasP",   "Edit1",     "Edit2",   "ButtSetU", "ButtSetTol",
                                  "ButtProg",  "Bevel1",    "ButtSt",  "ButtEn",   "ButtonColor",
                                  "ButtonDel", "CheckBox1", "PanNekom"};

QWidget *RecordField(const TDevice &d, const QString &name)
{
    QWidget *const fields[] = {d.PanelCol,  d.Disp1,     d.Disp2,   d.Shape1,   d.Shape2,
                               d.Label1,    d.Label2,    d.Label3,  d.LabKrok,  d.LabUProg,
                               d.LabCasP,   d.Edit1,     d.Edit2,   d.ButtSetU, d.ButtSetTol,
                               d.ButtProg,  d.Bevel1,    d.ButtSt,  d.ButtEn,   d.ButtonColor,
                               d.ButtonDel, d.CheckBox1, d.PanNekom};
    for (int i = 0; i < 23; ++i)
        if (name == QLatin1String(ChildNames[i]))
            return fields[i];
    return nullptr;
}

QString TextOf(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *p = qobject_cast<const TPanel *>(w))
        return p->Caption();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    return QString();
}

class MoveCounter : public QObject
{
public:
    int moves = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        return moves += e->type() == QEvent::Move, false;
    }
};

} // namespace

class TstPanels : public QObject
{
    Q_OBJECT
private slots:
    void templateLayout_data();
    void templateLayout();
    void cloneCopiesTemplate();
    void cloneHandlersAndOverlay();
    void gridAndWindowGrowth_data();
    void gridAndWindowGrowth();
    void arrangeOnlyMovesWhatChanged();
    void removal();
    void deleteColourAndChartList();
    void fiftyFirstSourceRefused();
    void panelLanguage();
    void panelTitle_data();
    void panelTitle();
};

void TstPanels::templateLayout_data()
{
    QTest::addColumn<QRect>("geometry"); // width 0: sized to its text
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("flags"); // d disabled, h hidden, c hand cursor
    QTest::addColumn<int>("pixels");
    const QString volt = "Nastavení napětí", tol = "Nastavení tolerance stabilizace",
                  prog = "Aktuální stav programu";
    auto row = [](const char *n, QRect g, QString t, QString h, QString fl, int px) {
        QTest::newRow(n) << g << t << h << fl << px;
    };
    row("PanelCol", {9, 26, 217, 68}, "", "", "", 0);
    row("Disp1", {18, 34, 96, 25}, "U = ... V", "", "", 16);
    row("Disp2", {18, 63, 96, 25}, "Tol = . V", "", "", 16);
    row("Edit1", {120, 34, 49, 24}, "", volt, "dc", 16);
    row("ButtSetU", {176, 34, 41, 24}, "SET", volt, "dc", 13);
    row("Edit2", {120, 63, 49, 24}, "", tol, "dc", 16);
    row("ButtSetTol", {176, 63, 41, 24}, "SET", tol, "dc", 13);
    row("PanNekom", {16, 32, 203, 57}, "NEKOMUNIKUJE", "", "", 0);
    row("Label1", {9, 6, 0, 0}, "Label1", "", "", 11);
    row("Bevel1", {9, 99, 136, 73}, "", "", "", 0);
    row("ButtSt", {16, 106, 25, 25}, "", "Spustění program", "d", 0);
    row("ButtEn", {16, 106, 25, 25}, "", "Stop programu", "dh", 0);
    row("LabKrok", {48, 106, 0, 0}, "LabKrok", prog, "", 11);
    row("LabCasP", {48, 121, 0, 0}, "LabKrok", prog, "", 11);
    row("LabUProg", {48, 135, 0, 0}, "LabKrok", prog, "", 11);
    row("CheckBox1", {21, 151, 76, 17}, "Záznam", "", "c", 0);
    row("Shape1", {18, 176, 15, 15}, "", "", "", 0);
    row("Label2", {37, 175, 0, 0}, "Out", "Výstup Zap/Vyp", "dc", 13);
    row("Shape2", {88, 176, 15, 15}, "", "", "", 0);
    row("Label3", {105, 175, 0, 0}, "Sta", "Stabilizace Zap/Vyp", "dc", 13);
    row("ButtProg", {153, 99, 73, 28}, "Program", "Nastavení programu", "c", 13);
    row("ButtonColor", {153, 131, 73, 28}, "Barva", "Nastavení barvy", "c", 13);
    row("ButtonDel", {153, 163, 73, 28}, "Odebrat", "Odebrat zařízení", "c", 13);
}

void TstPanels::templateLayout()
{
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(QString, flags);
    QFETCH(int, pixels);
    DeviceFixture f;
    TPanel *tpl = f.main.PanDev;
    QCOMPARE(tpl->objectName(), QStringLiteral("PanDev"));
    QCOMPARE(tpl->geometry(), QRect(5, 5, 235, 200));
    QVERIFY(!tpl->isVisibleTo(f.main.Page1));
    auto *w = tpl->findChild<QWidget *>(QTest::currentDataTag(), Qt::FindDirectChildrenOnly);
    QVERIFY(w);
    QCOMPARE(w->pos(), geometry.topLeft());
    if (geometry.width())
        QCOMPARE(w->size(), geometry.size());
    QVERIFY(!w->size().isEmpty());
    QCOMPARE(TextOf(w), text);
    QCOMPARE(w->toolTip(), hint);
    QCOMPARE(w->isEnabledTo(tpl), !flags.contains('d'));
    QCOMPARE(w->isVisibleTo(tpl), !flags.contains('h'));
    QCOMPARE(w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor,
             flags.contains('c'));
    if (pixels)
        QVERIFY(w->font().pixelSize() == pixels && w->font().bold());
}

void TstPanels::cloneCopiesTemplate()
{
    DeviceFixture f;
    CreateDevicePanel(4); // as built, before the dialog writes the title
    const TDevice &d = Devices[4];
    const TPanel *tpl = f.main.PanDev;
    QCOMPARE(DeviceCount, 1);
    QCOMPARE(d.PanDev->parentWidget(), f.main.Page1);
    QVERIFY(d.PanDev->isVisibleTo(f.main.Page1));
    QCOMPARE(d.PanDev->size(), tpl->size());
    QCOMPARE(d.PanDev->BevelOuter(), tpl->BevelOuter());
    QSet<QWidget *> seen;
    for (const char *n : ChildNames) {
        auto *t = tpl->findChild<QWidget *>(n, Qt::FindDirectChildrenOnly);
        QWidget *c = RecordField(d, n);
        QVERIFY2(c && !seen.contains(c) && c->parentWidget() == d.PanDev, n);
        seen.insert(c);
        QCOMPARE(c->metaObject(), t->metaObject());
        QCOMPARE(c->geometry(), t->geometry());
        QCOMPARE(c->font(), t->font());
        QCOMPARE(TextOf(c), TextOf(t));
        QCOMPARE(c->toolTip(), t->toolTip());
        QCOMPARE(c->cursor().shape(), t->cursor().shape());
        QCOMPARE(c->palette().color(QPalette::Active, QPalette::WindowText),
                 t->palette().color(QPalette::Active, QPalette::WindowText));
        if (auto *te = qobject_cast<const TEdit *>(t))
            QVERIFY(static_cast<TEdit *>(c)->maxLength() == te->maxLength());
        if (auto *tb = qobject_cast<const QAbstractButton *>(t))
            QCOMPARE(static_cast<QAbstractButton *>(c)->icon().isNull(), tb->icon().isNull());
    }
    QCOMPARE(d.Disp1->Color(), ColorFromRgb(0x000000));
    QCOMPARE(d.Disp1->palette().color(QPalette::WindowText), ColorFromRgb(0xFF0000));
    QVERIFY(d.Label2->Transparent());
    QCOMPARE(d.PanelCol->BevelOuter(), TPanel::bvLowered);
    // Entries start usable; the buttons and toggles wait for the source to answer.
    QVERIFY(d.Edit1->isEnabledTo(d.PanDev) && d.Edit2->isEnabledTo(d.PanDev));
    for (QWidget *w :
         std::initializer_list<QWidget *>{d.ButtSetU, d.ButtSetTol, d.Label2, d.Label3, d.ButtSt})
        QVERIFY2(!w->isEnabledTo(d.PanDev), qPrintable(w->objectName()));
    QVERIFY(!d.ButtEn->isVisibleTo(d.PanDev) && d.PanNekom->isVisibleTo(d.PanDev));
}

void TstPanels::cloneHandlersAndOverlay()
{
    DeviceFixture f;
    // The application wires other units' handlers on the template after building it.
    QList<QObject *> senders;
    auto note = [&](QObject *s) { senders << s; };
    f.main.PanDev->findChild<TBitBtn *>("ButtProg")->OnClick = note;
    f.main.PanDev->findChild<TCheckBox *>("CheckBox1")->OnClick = note;
    f.main.PanDev->findChild<TLabel *>("LabKrok")->OnClick = note;
    f.main.show();
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    const TDevice &d = Devices[2];
    d.ButtProg->click();
    d.CheckBox1->click();
    QTest::mouseClick(d.LabKrok, Qt::LeftButton);
    QCOMPARE(senders, (QList<QObject *>{d.ButtProg, d.CheckBox1, d.LabKrok}));

    // This unit's own handlers act on the panel's source only.
    d.ButtSetU->setEnabled(true);
    d.Edit1->setText("12");
    d.ButtSetU->click();
    QVERIFY(Devices[2].PendU && !Devices[1].PendU);
    QTest::keyClick(d.Edit2, Qt::Key_0);
    QTest::keyClick(d.Edit2, Qt::Key_4);
    QCOMPARE(d.Edit2->text(), QStringLiteral("4"));

    // While shown, the overlay covers displays, entries and SET buttons; then they are on top.
    for (QWidget *w : std::initializer_list<QWidget *>{d.Disp1, d.Disp2, d.Edit1, d.Edit2,
                                                       d.ButtSetU, d.ButtSetTol}) {
        QWidget *top = d.PanDev->childAt(w->geometry().center());
        QVERIFY2(top && (top == d.PanNekom || top->parentWidget() == d.PanNekom),
                 qPrintable(w->objectName()));
        d.PanNekom->hide();
        QCOMPARE(d.PanDev->childAt(w->geometry().center()), w);
        d.PanNekom->show();
    }
    d.ButtonDel->click();
    QVERIFY(RemoveReq[2] && !RemoveReq[1]);
}

void TstPanels::gridAndWindowGrowth_data()
{
    QTest::addColumn<QSize>("mainSize");
    QTest::addColumn<int>("tabs"); // height the page loses to the page control's tabs
    QTest::addColumn<QList<QPoint>>("places");
    QTest::addColumn<QSize>("window");
    QTest::newRow("one") << QSize(663, 518) << 0 << QList<QPoint>{{5, 5}} << QSize(792, 566);
    QTest::newRow("two") << QSize(663, 518) << 0 << QList<QPoint>{{5, 5}, {245, 5}}
                         << QSize(792, 566);
    QTest::newRow("three") << QSize(663, 518) << 0 << QList<QPoint>{{5, 5}, {245, 5}, {5, 210}}
                           << QSize(792, 566);
    // Three rows: bottom 615 + top bar 48 + 5.
    QTest::newRow("five") << QSize(663, 518) << 0
                          << QList<QPoint>{{5, 5}, {245, 5}, {5, 210}, {245, 210}, {5, 415}}
                          << QSize(792, 668);
    QTest::newRow("five under tabs")
        << QSize(663, 518) << 30 << QList<QPoint>{{5, 5}, {245, 5}, {5, 210}, {245, 210}, {5, 415}}
        << QSize(792, 698);
    QTest::newRow("three wide") << QSize(800, 518) << 0 << QList<QPoint>{{5, 5}, {245, 5}, {485, 5}}
                                << QSize(929, 566);
    QTest::newRow("narrow") << QSize(200, 518) << 0 << QList<QPoint>{{5, 5}, {5, 210}}
                            << QSize(374, 566);
    // Twenty-five rows would want 5178 pixels: the window stops at the screen's height.
    QList<QPoint> fifty;
    for (int n = 0; n < 50; ++n)
        fifty << QPoint(5 + n % 2 * 240, 5 + n / 2 * 205);
    QTest::newRow("fifty") << QSize(663, 518) << 0 << fifty << QSize(792, 1080);
}

void TstPanels::gridAndWindowGrowth()
{
    QFETCH(QSize, mainSize);
    QFETCH(int, tabs);
    QFETCH(QList<QPoint>, places);
    QFETCH(QSize, window);
    if (window.height() > 1000 &&
        QGuiApplication::primaryScreen()->availableGeometry() != QRect(0, 0, 1920, 1080))
        QSKIP("needs the offscreen platform's 1920 x 1080 screen");
    DeviceFixture f(mainSize.width(), mainSize.height());
    f.main.Page1->setGeometry(0, tabs, mainSize.width(), mainSize.height() - tabs);
    if (tabs)
        f.main.show(); // the tabs count only while the page is on screen
    for (int i = 1; i <= places.size(); ++i) {
        f.Connect(i, 1, i);
        ArrangePanels();
    }
    for (int i = 1; i <= places.size(); ++i)
        QCOMPARE(Devices[i].PanDev->pos(), places.at(i - 1));
    QCOMPARE(f.main.size(), window);
    // The window never shrinks back.
    for (int i = places.size(); i >= 1; --i)
        RemoveDevice(i);
    QCOMPARE(f.main.size(), window);
}

void TstPanels::arrangeOnlyMovesWhatChanged()
{
    DeviceFixture f;
    f.main.show(); // hidden widgets defer their move events
    MoveCounter counter;
    for (int i = 1; i <= 6; ++i)
        f.Connect(i, 1, i);
    ArrangePanels();
    for (int i = 1; i <= 6; ++i)
        Devices[i].PanDev->installEventFilter(&counter);
    for (int tick = 0; tick < 10; ++tick)
        ArrangePanels();
    QCOMPARE(counter.moves, 0);
    RemoveDevice(2); // only the panels after it move
    QCOMPARE(counter.moves, 4);
    QCOMPARE(Devices[6].PanDev->pos(), QPoint(5, 415));
}

void TstPanels::removal()
{
    DeviceFixture f;
    f.Connect(1, 1, 4);
    f.Connect(2, 1, 9);
    f.Connect(3, 2, 12);
    TDevice &d = Devices[1];
    d.PendU = d.PendOut = d.PendSta = d.PendTol = d.OutSet = d.InChart = RemoveReq[1] = true;
    d.USet = 40, d.U = 39, d.ReqState = 5, d.StepNo = 4;
    d.TypeText = "ZDROJ-S";
    QPointer<QWidget> edit = d.Edit1;
    QObject *gone = d.ButtonDel;
    RemoveDevice(1);
    QVERIFY(edit.isNull());
    QCOMPARE(FindSlot(gone, &TDevice::ButtonDel), 0);
    for (const char *n : ChildNames)
        QVERIFY2(!RecordField(d, n), n);
    QVERIFY(!d.PanDev && !d.Used && !d.InChart && !RemoveReq[1]);
    QCOMPARE(d.Line, 0);
    QVERIFY(d.TypeText.isEmpty() && d.U == 0 && d.ReqState == 0 && d.StepNo == 0);
    // What waited for the source that left is not sent to the next one in its slot.
    QVERIFY(!d.PendU && !d.PendOut && !d.PendSta && !d.PendTol && d.USet == 0);

    // The others move up without renumbering; the line keeps its port while one is left.
    QCOMPARE(DeviceCount, 2);
    QCOMPARE(Devices[2].PanDev->pos(), QPoint(5, 5));
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(245, 5));
    QCOMPARE(Devices[2].Label1->text(), QStringLiteral("2: Adr. 9"));
    QCOMPARE(f.main.CheckZaz->item(0)->text(), QStringLiteral("02: Adr. = 9"));
    QCOMPARE(f.main.CheckZaz->count(), 2);
    QVERIFY(f.ports[1]->open && f.ports[1]->closes == 0);
    QCOMPARE(Lines[1].Cur, 2);
    RemoveDevice(2);
    QVERIFY(!f.ports[1]->open);
    QCOMPARE(Lines[1].Cur, NoDevice);
    QCOMPARE(f.ports[2]->closes, 0);
    // A slot already free is left alone.
    RemoveDevice(2);
    RemoveDevice(9);
    QCOMPARE(DeviceCount, 1);
    QCOMPARE(f.ports[1]->closes, 1);
}

void TstPanels::deleteColourAndChartList()
{
    DeviceFixture f;
    f.Connect(3, 1, 12, Qt::blue);
    f.Connect(1, 2, 0);
    f.Connect(12, 1, 31);
    Devices[3].InChart = Devices[7].InChart = true; // a free slot is never plotted
    FillChartList();
    QStringList items;
    for (int i = 0; i < f.main.CheckZaz->count(); ++i)
        items << f.main.CheckZaz->item(i)->text() + (f.main.CheckZaz->Checked(i) ? "+" : "");
    QCOMPARE(items, QStringList({"01: Adr. = 0", "03: Adr. = 12+", "12: Adr. = 31"}));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(f.main.Graf->Series(i)->Active(), i == 2);

    // Removal asked: the panel goes at once, the rest waits for the scheduler.
    Devices[12].ButtonDel->click();
    QVERIFY(RemoveReq[12] && !Devices[12].PanDev->isVisibleTo(f.main.Page1));
    QVERIFY(Devices[12].Used && DeviceCount == 3);

    f.colorDial.answer = QColor(0x12, 0x34, 0x56);
    Devices[3].ButtonColor->click();
    QCOMPARE(f.colorDial.presetSeen, QColor(Qt::blue));
    QCOMPARE(Devices[3].PanelCol->Color(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(Devices[1].PanelCol->Color(), QColor(Qt::red));
    f.colorDial.accept = false;
    Devices[1].ButtonColor->click();
    QCOMPARE(Devices[1].PanelCol->Color(), QColor(Qt::red));
    // The source removed while its colour is being chosen: the choice goes nowhere.
    f.colorDial.accept = true;
    f.colorDial.during = [] { RemoveDevice(1); };
    ButtonColorClick(Devices[1].ButtonColor);
    QVERIFY(!Devices[1].Used && DeviceCount == 2);
}

void TstPanels::fiftyFirstSourceRefused()
{
    DeviceFixture f;
    for (int i = 1; i <= 50; ++i)
        f.Connect(i, 1 + (i - 1) / 32, (i - 1) % 32);
    TPanel *last = Devices[50].PanDev;
    MessageCatcher catcher;
    CreateDevicePanel(50);
    QCOMPARE(catcher.texts, QStringList{"Aktivováno mnoho zařízení"});
    QCOMPARE(DeviceCount, 50);
    QCOMPARE(Devices[50].PanDev, last);
}

void TstPanels::panelLanguage()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    const TDevice &d = Devices[2];
    auto texts = [](const TDevice &d) {
        QStringList l{d.CheckBox1->text(),   d.ButtonColor->text(), d.ButtonDel->text(),
                      d.PanNekom->Caption(), d.ButtSetU->text(),    d.Label2->text(),
                      d.ButtProg->text()};
        for (QWidget *w : std::initializer_list<QWidget *>{
                 d.ButtProg, d.CheckBox1, d.ButtonColor, d.ButtonDel, d.Label2, d.Label3, d.Edit1,
                 d.ButtSetU, d.Edit2, d.ButtSetTol, d.ButtSt, d.ButtEn})
            l << w->toolTip();
        return l;
    };
    const QStringList czech = texts(d);
    ApplyPanelLanguage(2, lsEnglish);
    QCOMPARE(
        texts(d),
        QStringList({"Record", "Color", "Remove", "NO ANSWER", "SET", "Out", "Program",
                     "Edit program", "Switch on or of record to file", "Set device color",
                     "Remove device", "Output on/off", "Stabilization on/off", "Voltage regulation",
                     "Voltage regulation", "Set toleration stabilization",
                     "Set toleration stabilization", "Run program", "Stop program"}));
    QCOMPARE(texts(Devices[1]), czech); // only that panel
    ApplyPanelLanguage(2, lsNone);
    QCOMPARE(d.ButtonDel->text(), QStringLiteral("Remove"));
    ApplyPanelLanguage(2, lsCzech);
    QCOMPARE(d.ButtonDel->toolTip(), QStringLiteral("Odstraní zařízení"));
    QCOMPARE(d.ButtProg->toolTip(), QStringLiteral("Edit program"));
    QCOMPARE(d.PanNekom->Caption(), QStringLiteral("NEKOMUNIKUJE"));
}

void TstPanels::panelTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("cut");
    QTest::newRow("before the first reply") << "12: Adr. 31" << false;
    QTest::newRow("identified") << "12: Adr.31,  ZDR300-S   v.č.: 1012\r" << false;
    QTest::newRow("long serial") << "12: Adr.31,  ZDR300-S   v.č.: 123456789" << true;
    QTest::newRow("long serial, line end") << "12: Adr.31,  ZDR300-S   v.č.: 123456789\r" << true;
    QTest::newRow("long type") << "50: Adr.31,  ZDRÁČEK-S-PROGRAMMABLE-600   v.č.: Č12\r" << true;
}

void TstPanels::panelTitle()
{
    QFETCH(QString, title);
    QFETCH(bool, cut);
    DeviceFixture f;
    f.Connect(12, 1, 31);
    TLabel *label = Devices[12].Label1;
    const int left = label->x();
    const QString whole = title.endsWith('\r') ? title.chopped(1) : title;
    for (int twice = 0; twice < 2; ++twice) { // the same title again changes nothing
        SetPanelTitle(label, title);
        if (!cut) {
            // Read back exactly as given, the reply's line end included.
            QCOMPARE(label->text(), title);
            QCOMPARE(label->toolTip(), QString());
        } else {
            const QString shown = label->text();
            QVERIFY2(shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1)),
                     qPrintable(shown));
            QVERIFY(shown.size() > 20); // cut at the panel's edge, not before
            QCOMPARE(label->toolTip(), whole);
        }
        // Within the panel, as far from its right edge as from its left.
        QVERIFY2(label->geometry().right() < PanWidth - left, qPrintable(label->text()));
        QCOMPARE(label->x(), left);
    }
    // A title that fits again is shown whole and loses the hint.
    SetPanelTitle(label, QStringLiteral("12: Adr. 31"));
    QCOMPARE(label->text(), QStringLiteral("12: Adr. 31"));
    QCOMPARE(label->toolTip(), QString());
}

int main(int argc, char *argv[])
{
    UseOffscreenScreen(1920, 1080); // room for the grown windows below
    QApplication app(argc, argv);
    TstPanels test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_panels.moc"
