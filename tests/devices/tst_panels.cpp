#include "devicefixture.h"

#include "commands.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Handler = void (*)(QObject *);

bool HasHandler(const TNotifyEvent &f, Handler h)
{
    const Handler *t = f.target<Handler>();
    return t && *t == h;
}

// Counts the moves of the widgets it watches.
class MoveCounter : public QObject
{
public:
    int moves = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Move)
            ++moves;
        return false;
    }
};

const char *const ChildNames[] = {
    "PanelCol", "Disp1",    "Disp2",      "Shape1",   "Shape2",   "Label1",
    "Label2",   "Label3",   "LabKrok",    "LabUProg", "LabCasP",  "Edit1",
    "Edit2",    "ButtSetU", "ButtSetTol", "ButtProg", "Bevel1",   "ButtSt",
    "ButtEn",   "ButtonColor", "ButtonDel", "CheckBox1", "PanNekom"};

QWidget *RecordField(const TDevice &d, const QString &name)
{
    const std::pair<const char *, QWidget *> fields[] = {
        {"PanelCol", d.PanelCol}, {"PanNekom", d.PanNekom}, {"Disp1", d.Disp1},
        {"Disp2", d.Disp2}, {"Shape1", d.Shape1}, {"Shape2", d.Shape2}, {"Label1", d.Label1},
        {"Label2", d.Label2}, {"Label3", d.Label3}, {"LabKrok", d.LabKrok},
        {"LabUProg", d.LabUProg}, {"LabCasP", d.LabCasP}, {"Edit1", d.Edit1},
        {"Edit2", d.Edit2}, {"CheckBox1", d.CheckBox1}, {"ButtSetU", d.ButtSetU},
        {"ButtSetTol", d.ButtSetTol}, {"ButtProg", d.ButtProg},
        {"ButtonColor", d.ButtonColor}, {"ButtonDel", d.ButtonDel}, {"Bevel1", d.Bevel1},
        {"ButtSt", d.ButtSt}, {"ButtEn", d.ButtEn}};
    for (const auto &[n, w] : fields)
        if (name == QLatin1String(n))
            return w;
    return nullptr;
}

} // namespace

class TstPanels : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void templateLayout_data();
    void templateLayout();
    void cloneCopiesTemplate();
    void cloneReferencesAndOwnership();
    void cloneStates();
    void cloneHandlers();
    void overlayCoversDisplaysAndEntries();
    void gridPositions_data();
    void gridPositions();
    void windowGrowsNeverShrinks();
    void narrowMainGrowsWidth();
    void arrangeOnlyMovesWhatChanged();
    void removalRepacksWithoutRenumbering();
    void removalClosesPortWithLastSourceOfLine();
    void removalClearsPendingCommands();
    void removalOfFreeSlotChangesNothing();
    void deleteButtonHidesAtOnce();
    void colourButton();
    void chartList();
    void fiftyFirstSourceRefused();
    void panelLanguage();

private:
    QTemporaryDir m_dir;
};

void TstPanels::init()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TstPanels::templateLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // width/height 0: sized to the text
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("hand");
    QTest::addColumn<int>("pixels");

    const QString volt = QStringLiteral("Nastavení napětí");
    const QString tol = QStringLiteral("Nastavení tolerance stabilizace");
    const QString prog = QStringLiteral("Aktuální stav programu");
    auto row = [](const char *n, QRect g, QString t, QString h, bool en, bool sh, bool hand,
                  int px) {
        QTest::newRow(n) << QString::fromLatin1(n) << g << t << h << en << sh << hand << px;
    };
    row("PanelCol", {9, 26, 217, 68}, "", "", true, true, false, 0);
    row("Disp1", {18, 34, 96, 25}, "U = ... V", "", true, true, false, 16);
    row("Disp2", {18, 63, 96, 25}, "Tol = . V", "", true, true, false, 16);
    row("Edit1", {120, 34, 49, 24}, "", volt, false, true, true, 16);
    row("ButtSetU", {176, 34, 41, 24}, "SET", volt, false, true, true, 13);
    row("Edit2", {120, 63, 49, 24}, "", tol, false, true, true, 16);
    row("ButtSetTol", {176, 63, 41, 24}, "SET", tol, false, true, true, 13);
    row("PanNekom", {16, 32, 203, 57}, "NEKOMUNIKUJE", "", true, true, false, 0);
    row("Label1", {9, 6, 0, 0}, "Label1", "", true, true, false, 11);
    row("Bevel1", {9, 99, 136, 73}, "", "", true, true, false, 0);
    row("ButtSt", {16, 106, 25, 25}, "", "Spustění program", false, true, false, 0);
    row("ButtEn", {16, 106, 25, 25}, "", "Stop programu", false, false, false, 0);
    row("LabKrok", {48, 106, 0, 0}, "LabKrok", prog, true, true, false, 11);
    row("LabCasP", {48, 121, 0, 0}, "LabKrok", prog, true, true, false, 11);
    row("LabUProg", {48, 135, 0, 0}, "LabKrok", prog, true, true, false, 11);
    row("CheckBox1", {21, 151, 76, 17}, "Záznam", "", true, true, true, 0);
    row("Shape1", {18, 176, 15, 15}, "", "", true, true, false, 0);
    row("Label2", {37, 175, 0, 0}, "Out", "Výstup Zap/Vyp", false, true, true, 13);
    row("Shape2", {88, 176, 15, 15}, "", "", true, true, false, 0);
    row("Label3", {105, 175, 0, 0}, "Sta", "Stabilizace Zap/Vyp", false, true, true, 13);
    row("ButtProg", {153, 99, 73, 28}, "Program", "Nastavení programu", true, true, true, 13);
    row("ButtonColor", {153, 131, 73, 28}, "Barva", "Nastavení barvy", true, true, true, 13);
    row("ButtonDel", {153, 163, 73, 28}, "Odebrat", "Odebrat zařízení", true, true, true, 13);
}

void TstPanels::templateLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(bool, enabled);
    QFETCH(bool, shown);
    QFETCH(bool, hand);
    QFETCH(int, pixels);

    DeviceFixture f;
    TPanel *tpl = f.main.PanDev;
    QCOMPARE(tpl->objectName(), QStringLiteral("PanDev"));
    QCOMPARE(tpl->geometry(), QRect(5, 5, 235, 200));
    QVERIFY(!tpl->isVisibleTo(f.main.Page1));

    auto *w = tpl->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(w);
    QCOMPARE(w->pos(), geometry.topLeft());
    if (geometry.width())
        QCOMPARE(w->size(), geometry.size());
    else
        QVERIFY(w->width() > 0 && w->height() > 0);
    QString shownText;
    if (auto *l = qobject_cast<QLabel *>(w))
        shownText = l->text();
    else if (auto *b = qobject_cast<QAbstractButton *>(w))
        shownText = b->text();
    else if (auto *p = qobject_cast<TPanel *>(w))
        shownText = p->Caption();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        shownText = e->text();
    QCOMPARE(shownText, text);
    QCOMPARE(w->toolTip(), hint);
    QCOMPARE(w->isEnabledTo(tpl), enabled);
    QCOMPARE(w->isVisibleTo(tpl), shown);
    QCOMPARE(w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor,
             hand);
    if (pixels) {
        QCOMPARE(w->font().pixelSize(), pixels);
        QVERIFY(w->font().bold());
    }
}

void TstPanels::cloneCopiesTemplate()
{
    DeviceFixture f;
    CreateDevicePanel(1); // before the dialog writes the title
    const TDevice &d = Devices[1];
    TPanel *tpl = f.main.PanDev;
    QCOMPARE(d.PanDev->size(), tpl->size());
    QCOMPARE(d.PanDev->BevelOuter(), tpl->BevelOuter());
    QCOMPARE(d.PanDev->font(), tpl->font());

    for (const char *n : ChildNames) {
        const QString name = QString::fromLatin1(n);
        auto *t = tpl->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
        QWidget *c = RecordField(d, name);
        QVERIFY2(t && c, n);
        QCOMPARE(c->metaObject(), t->metaObject());
        QCOMPARE(c->geometry(), t->geometry());
        QCOMPARE(c->font(), t->font());
        QCOMPARE(c->toolTip(), t->toolTip());
        QCOMPARE(c->testAttribute(Qt::WA_SetCursor), t->testAttribute(Qt::WA_SetCursor));
        QCOMPARE(c->cursor().shape(), t->cursor().shape());
        QCOMPARE(c->palette().color(QPalette::Active, QPalette::WindowText),
                 t->palette().color(QPalette::Active, QPalette::WindowText));
        if (auto *tl = qobject_cast<TLabel *>(t)) {
            auto *cl = static_cast<TLabel *>(c);
            QCOMPARE(cl->text(), tl->text());
            QCOMPARE(cl->alignment(), tl->alignment());
            QCOMPARE(cl->Transparent(), tl->Transparent());
            QCOMPARE(cl->AutoSize(), tl->AutoSize());
        }
        if (auto *ts = qobject_cast<TStaticText *>(t)) {
            auto *cs = static_cast<TStaticText *>(c);
            QCOMPARE(cs->Color(), ts->Color());
            QCOMPARE(cs->frameStyle(), ts->frameStyle());
        }
        if (auto *tp = qobject_cast<TPanel *>(t)) {
            auto *cp = static_cast<TPanel *>(c);
            QCOMPARE(cp->Caption(), tp->Caption());
            QCOMPARE(cp->BevelInner(), tp->BevelInner());
            QCOMPARE(cp->BevelOuter(), tp->BevelOuter());
        }
        if (auto *te = qobject_cast<TEdit *>(t)) {
            auto *ce = static_cast<TEdit *>(c);
            QCOMPARE(ce->maxLength(), te->maxLength());
            QCOMPARE(ce->text(), te->text());
            QCOMPARE(ce->FontColor(), te->FontColor());
        }
        if (auto *tb = qobject_cast<QAbstractButton *>(t)) {
            auto *cb = static_cast<QAbstractButton *>(c);
            QCOMPARE(cb->text(), tb->text());
            QCOMPARE(cb->icon().isNull(), tb->icon().isNull());
            QCOMPARE(cb->iconSize(), tb->iconSize());
        }
        if (auto *ts = qobject_cast<TShape *>(t))
            QCOMPARE(static_cast<TShape *>(c)->BrushColor(), ts->BrushColor());
    }
    QCOMPARE(d.Disp1->palette().color(QPalette::WindowText), ColorFromRgb(0xFF0000));
    QCOMPARE(d.Disp1->Color(), ColorFromRgb(0x000000));
    QCOMPARE(d.ButtSt->icon().pixmap(16).toImage(), f.main.PanDev->findChild<TSpeedButton *>(
                                                        "ButtSt")->icon().pixmap(16).toImage());
}

void TstPanels::cloneReferencesAndOwnership()
{
    DeviceFixture f;
    f.Connect(4, 2, 7);
    const TDevice &d = Devices[4];
    QCOMPARE(DeviceCount, 1);
    QVERIFY(d.PanDev);
    QCOMPARE(d.PanDev->parentWidget(), f.main.Page1);
    QVERIFY(d.PanDev->isVisibleTo(f.main.Page1));
    QSet<QWidget *> seen;
    for (const char *n : ChildNames) {
        QWidget *c = RecordField(d, QString::fromLatin1(n));
        QVERIFY2(c, n);
        QCOMPARE(c->parentWidget(), d.PanDev);
        QVERIFY2(!seen.contains(c), n);
        seen.insert(c);
    }
    QCOMPARE(seen.size(), 23);

    // Destroying the panel takes every copy with it.
    QPointer<QWidget> edit = d.Edit1;
    RemoveDevice(4);
    QVERIFY(edit.isNull());
    for (const char *n : ChildNames)
        QVERIFY2(!RecordField(Devices[4], QString::fromLatin1(n)), n);
    QVERIFY(!Devices[4].PanDev);
}

void TstPanels::cloneStates()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    const TDevice &d = Devices[1];
    QWidget *pan = d.PanDev;
    // Entries start usable; the buttons and toggles wait for the source to answer.
    QVERIFY(d.Edit1->isEnabledTo(pan));
    QVERIFY(d.Edit2->isEnabledTo(pan));
    QVERIFY(!d.ButtSetU->isEnabledTo(pan));
    QVERIFY(!d.ButtSetTol->isEnabledTo(pan));
    QVERIFY(!d.Label2->isEnabledTo(pan));
    QVERIFY(!d.Label3->isEnabledTo(pan));
    QVERIFY(!d.ButtSt->isEnabledTo(pan));
    QVERIFY(d.ButtSt->isVisibleTo(pan));
    QVERIFY(!d.ButtEn->isVisibleTo(pan));
    QVERIFY(d.PanNekom->isVisibleTo(pan));
    QVERIFY(d.ButtProg->isEnabledTo(pan));
    QCOMPARE(d.Edit1->maxLength(), 3);
    QCOMPARE(d.Edit2->maxLength(), 1);
}

void TstPanels::cloneHandlers()
{
    DeviceFixture f;
    // The application wires other units' handlers on the template after building it.
    QObject *progSender = nullptr;
    QObject *recSender = nullptr;
    QObject *stSender = nullptr;
    f.main.PanDev->findChild<TBitBtn *>("ButtProg")->OnClick = [&](QObject *s) { progSender = s; };
    f.main.PanDev->findChild<TCheckBox *>("CheckBox1")->OnClick = [&](QObject *s) { recSender = s; };
    f.main.PanDev->findChild<TSpeedButton *>("ButtSt")->OnClick = [&](QObject *s) { stSender = s; };
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    const TDevice &d = Devices[2];

    QVERIFY(HasHandler(d.ButtSetU->OnClick, &ButtSetUClick));
    QVERIFY(HasHandler(d.ButtSetTol->OnClick, &ButtSetTolClick));
    QVERIFY(HasHandler(d.Label2->OnClick, &Label2Click));
    QVERIFY(HasHandler(d.Label3->OnClick, &Label3Click));
    QVERIFY(HasHandler(d.ButtonColor->OnClick, &ButtonColorClick));
    QVERIFY(HasHandler(d.ButtonDel->OnClick, &ButtonDelClick));
    using KeyHandler = void (*)(QObject *, char16_t &);
    QVERIFY(d.Edit1->OnKeyPress.target<KeyHandler>());
    QVERIFY(*d.Edit1->OnKeyPress.target<KeyHandler>() == &Edit1KeyPress);
    QVERIFY(d.Edit2->OnKeyPress.target<KeyHandler>());
    QVERIFY(*d.Edit2->OnKeyPress.target<KeyHandler>() == &Edit2KeyPress);

    d.ButtProg->click();
    QCOMPARE(progSender, d.ButtProg);
    d.CheckBox1->click();
    QCOMPARE(recSender, d.CheckBox1);
    d.ButtSt->setEnabled(true);
    d.ButtSt->click();
    QCOMPARE(stSender, d.ButtSt);

    // A click on the second panel acts on the second source only.
    d.ButtSetU->setEnabled(true);
    d.Edit1->setText("12");
    d.ButtSetU->click();
    QVERIFY(Devices[2].PendU);
    QCOMPARE(Devices[2].USet, 12.0);
    QVERIFY(!Devices[1].PendU);
}

void TstPanels::overlayCoversDisplaysAndEntries()
{
    DeviceFixture f;
    f.main.show();
    f.Connect(1, 1, 0);
    const TDevice &d = Devices[1];
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    auto covered = [&](QWidget *w) {
        const QPoint at = w->geometry().center();
        QWidget *top = d.PanDev->childAt(at);
        return top == d.PanNekom || (top && top->parentWidget() == d.PanNekom);
    };
    for (QWidget *w : {static_cast<QWidget *>(d.Disp1), static_cast<QWidget *>(d.Disp2),
                       static_cast<QWidget *>(d.Edit1), static_cast<QWidget *>(d.Edit2),
                       static_cast<QWidget *>(d.ButtSetU), static_cast<QWidget *>(d.ButtSetTol)})
        QVERIFY2(covered(w), qPrintable(w->objectName()));
    // Once the source answers the overlay goes and the displays are on top again.
    d.PanNekom->hide();
    QCOMPARE(d.PanDev->childAt(d.Disp1->geometry().center()), d.Disp1);
    QCOMPARE(d.PanDev->childAt(d.Edit2->geometry().center()), d.Edit2);
    // The frame lies under the displays.
    QCOMPARE(d.PanDev->childAt(d.Disp2->geometry().center()), d.Disp2);
}

void TstPanels::gridPositions_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<QPoint>>("expected");
    QTest::newRow("one") << 1 << QList<QPoint>{{5, 5}};
    QTest::newRow("two") << 2 << QList<QPoint>{{5, 5}, {245, 5}};
    QTest::newRow("three") << 3 << QList<QPoint>{{5, 5}, {245, 5}, {5, 210}};
    QTest::newRow("five") << 5
                          << QList<QPoint>{{5, 5}, {245, 5}, {5, 210}, {245, 210}, {5, 415}};
}

void TstPanels::gridPositions()
{
    QFETCH(int, count);
    QFETCH(QList<QPoint>, expected);
    DeviceFixture f(663, 518);
    for (int i = 1; i <= count; ++i) {
        f.Connect(i, 1, i);
        ArrangePanels();
    }
    for (int i = 1; i <= count; ++i)
        QCOMPARE(Devices[i].PanDev->pos(), expected.at(i - 1));
}

void TstPanels::windowGrowsNeverShrinks()
{
    DeviceFixture f(663, 518);
    const int startHeight = f.main.height();
    for (int i = 1; i <= 4; ++i)
        f.Connect(i, 1, i);
    ArrangePanels();
    QCOMPARE(f.main.height(), startHeight); // two rows fit in 518
    f.Connect(5, 1, 5);
    ArrangePanels();
    // Three rows: bottom 615, plus the top bar of 48 and a margin of 5.
    QCOMPARE(f.main.height(), 668);
    for (int i = 5; i >= 2; --i)
        RemoveDevice(i);
    QCOMPARE(f.main.height(), 668);
    QCOMPARE(DeviceCount, 1);
}

void TstPanels::narrowMainGrowsWidth()
{
    DeviceFixture f(200, 518);
    f.main.resize(329, 566);
    f.Connect(1, 1, 0);
    ArrangePanels();
    QCOMPARE(f.main.width(), 5 + 235 + 129 + 5);
    // One column only: the second source goes below the first.
    f.Connect(2, 1, 1);
    ArrangePanels();
    QCOMPARE(Devices[2].PanDev->pos(), QPoint(5, 210));
}

void TstPanels::arrangeOnlyMovesWhatChanged()
{
    DeviceFixture f(663, 518);
    f.main.show(); // hidden widgets defer their move events
    MoveCounter counter;
    for (int i = 1; i <= 6; ++i)
        f.Connect(i, 1, i);
    ArrangePanels();
    for (int i = 1; i <= 6; ++i)
        Devices[i].PanDev->installEventFilter(&counter);
    const QSize size = f.main.size();
    for (int tick = 0; tick < 10; ++tick)
        ArrangePanels();
    QCoreApplication::processEvents();
    QCOMPARE(counter.moves, 0);
    QCOMPARE(f.main.size(), size);

    // Removing source 2 moves only the panels after it.
    RemoveDevice(2);
    QCoreApplication::processEvents();
    QCOMPARE(counter.moves, 4);
    QCOMPARE(Devices[1].PanDev->pos(), QPoint(5, 5));
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(245, 5));
    QCOMPARE(Devices[6].PanDev->pos(), QPoint(5, 415));
}

void TstPanels::removalRepacksWithoutRenumbering()
{
    DeviceFixture f(663, 518);
    f.Connect(1, 1, 4);
    f.Connect(2, 1, 9);
    f.Connect(3, 2, 12);
    FillChartList();
    ArrangePanels();
    RemoveDevice(1);
    QCOMPARE(DeviceCount, 2);
    QCOMPARE(Devices[2].PanDev->pos(), QPoint(5, 5));
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(245, 5));
    QCOMPARE(Devices[2].Label1->text(), QStringLiteral("2: Adr. 9"));
    QCOMPARE(Devices[3].Label1->text(), QStringLiteral("3: Adr. 12"));
    QCOMPARE(f.main.CheckZaz->count(), 2);
    QCOMPARE(f.main.CheckZaz->item(0)->text(), QStringLiteral("02: Adr. = 9"));
    QCOMPARE(f.main.CheckZaz->item(1)->text(), QStringLiteral("03: Adr. = 12"));
    // The freed slot is the first candidate again.
    QCOMPARE(LowestFreeSlot(), 1);
    QCOMPARE(Devices[1].Line, 0);
    QVERIFY(!Devices[1].Used);
}

void TstPanels::removalClosesPortWithLastSourceOfLine()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    f.Connect(3, 3, 0);
    Lines[1].Cur = 2;

    RemoveDevice(2);
    QCOMPARE(f.ports[1]->closes, 0);
    QVERIFY(f.ports[1]->Active());
    QCOMPARE(Lines[1].Cur, 2); // the scheduler moves the line on itself

    RemoveDevice(1);
    QCOMPARE(f.ports[1]->closes, 1);
    QVERIFY(!f.ports[1]->Active());
    QCOMPARE(Lines[1].Cur, NoDevice);

    QVERIFY(f.ports[3]->Active());
    QCOMPARE(Lines[3].Cur, 3);
    RemoveDevice(3);
    QCOMPARE(Lines[3].Cur, NoDevice);
    QCOMPARE(f.ports[3]->closes, 1);
    QCOMPARE(DeviceCount, 0);
    QCOMPARE(f.ports[2]->closes, 0);
}

void TstPanels::removalClearsPendingCommands()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    TDevice &d = Devices[1];
    d.USet = 40;
    d.PendU = d.PendOut = d.PendSta = d.PendTol = true;
    d.OutSet = d.StaSet = true;
    d.TolSet = 3;
    d.U = 39;
    d.TypeText = QStringLiteral("ZDROJ-S   v.č.: 7");
    d.ReqState = 5;
    d.StepNo = 4;
    d.InChart = true;
    RemoveReq[1] = true;
    RemoveDevice(1);
    QVERIFY(!RemoveReq[1]);
    QVERIFY(!d.PendU && !d.PendOut && !d.PendSta && !d.PendTol);
    QCOMPARE(d.USet, 0.0);
    QCOMPARE(d.TolSet, 0.0);
    QVERIFY(!d.InChart);
    QCOMPARE(d.U, 0.0);
    QVERIFY(d.TypeText.isEmpty());
    QCOMPARE(d.ReqState, 0);
    QCOMPARE(d.StepNo, 0);

    // The next source in the slot starts with nothing waiting for it.
    f.Connect(1, 2, 0);
    QVERIFY(!Devices[1].PendU && !Devices[1].PendOut);
}

void TstPanels::removalOfFreeSlotChangesNothing()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    RemoveDevice(1);
    RemoveDevice(1);
    RemoveDevice(7);
    QCOMPARE(DeviceCount, 0);
    QCOMPARE(f.ports[1]->closes, 1);
}

void TstPanels::deleteButtonHidesAtOnce()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    FillChartList();
    Devices[2].ButtonDel->click();
    QVERIFY(RemoveReq[2]);
    QVERIFY(!RemoveReq[1]);
    QVERIFY(!Devices[2].PanDev->isVisibleTo(f.main.Page1));
    QVERIFY(Devices[1].PanDev->isVisibleTo(f.main.Page1));
    // Nothing else changes until the scheduler comes to the slot.
    QCOMPARE(DeviceCount, 2);
    QVERIFY(Devices[2].Used);
    QCOMPARE(f.main.CheckZaz->count(), 2);

    // A control of a removed source no longer finds any slot.
    QObject *gone = Devices[2].ButtonDel;
    RemoveDevice(2);
    QCOMPARE(FindSlot(gone, &TDevice::ButtonDel), 0);
    QCOMPARE(FindSlot(Devices[1].ButtonDel, &TDevice::ButtonDel), 1);
}

void TstPanels::colourButton()
{
    DeviceFixture f;
    f.Connect(1, 1, 0, Qt::red);
    f.Connect(2, 1, 1, Qt::blue);
    f.colorDial->answer = QColor(0x12, 0x34, 0x56);
    Devices[2].ButtonColor->click();
    QCOMPARE(f.colorDial->shown, 1);
    QCOMPARE(f.colorDial->presetSeen, QColor(Qt::blue));
    QCOMPARE(Devices[2].PanelCol->Color(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(Devices[1].PanelCol->Color(), QColor(Qt::red));

    f.colorDial->accept = false;
    f.colorDial->answer = Qt::green;
    Devices[1].ButtonColor->click();
    QCOMPARE(f.colorDial->presetSeen, QColor(Qt::red));
    QCOMPARE(Devices[1].PanelCol->Color(), QColor(Qt::red));
}

void TstPanels::chartList()
{
    DeviceFixture f;
    f.Connect(3, 1, 12);
    f.Connect(1, 2, 0);
    f.Connect(12, 1, 31);
    Devices[3].InChart = true;
    Devices[7].InChart = true; // a free slot is never plotted
    FillChartList();
    QCOMPARE(f.main.CheckZaz->count(), 3);
    QCOMPARE(f.main.CheckZaz->item(0)->text(), QStringLiteral("01: Adr. = 0"));
    QCOMPARE(f.main.CheckZaz->item(1)->text(), QStringLiteral("03: Adr. = 12"));
    QCOMPARE(f.main.CheckZaz->item(2)->text(), QStringLiteral("12: Adr. = 31"));
    QVERIFY(!f.main.CheckZaz->Checked(0));
    QVERIFY(f.main.CheckZaz->Checked(1));
    QVERIFY(!f.main.CheckZaz->Checked(2));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(f.main.Graf->Series(i)->Active(), i == 2);

    // Filling the list does not count as the operator ticking an item.
    int clicks = 0;
    f.main.CheckZaz->OnClickCheck = [&](QObject *, int) { ++clicks; };
    FillChartList();
    QCOMPARE(clicks, 0);
}

void TstPanels::fiftyFirstSourceRefused()
{
    DeviceFixture f;
    for (int i = 1; i <= 50; ++i)
        f.Connect(i, 1 + (i - 1) / 32, (i - 1) % 32);
    QCOMPARE(DeviceCount, 50);
    TPanel *last = Devices[50].PanDev;
    MessageCatcher catcher;
    CreateDevicePanel(50);
    QCOMPARE(catcher.texts, QStringList{QStringLiteral("Aktivováno mnoho zařízení")});
    QCOMPARE(DeviceCount, 50);
    QCOMPARE(Devices[50].PanDev, last);
    QCOMPARE(f.main.Page1->findChildren<TPanel *>(QString(), Qt::FindDirectChildrenOnly).size(),
             51);
}

void TstPanels::panelLanguage()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    ApplyPanelLanguage(2, lsEnglish);
    const TDevice &d = Devices[2];
    QCOMPARE(d.CheckBox1->text(), QStringLiteral("Record"));
    QCOMPARE(d.CheckBox1->toolTip(), QStringLiteral("Switch on or of record to file"));
    QCOMPARE(d.ButtonColor->text(), QStringLiteral("Color"));
    QCOMPARE(d.ButtonColor->toolTip(), QStringLiteral("Set device color"));
    QCOMPARE(d.ButtonDel->text(), QStringLiteral("Remove"));
    QCOMPARE(d.ButtonDel->toolTip(), QStringLiteral("Remove device"));
    QCOMPARE(d.ButtProg->toolTip(), QStringLiteral("Edit program"));
    QCOMPARE(d.Label2->toolTip(), QStringLiteral("Output on/off"));
    QCOMPARE(d.Label3->toolTip(), QStringLiteral("Stabilization on/off"));
    QCOMPARE(d.Edit1->toolTip(), QStringLiteral("Voltage regulation"));
    QCOMPARE(d.ButtSetU->toolTip(), QStringLiteral("Voltage regulation"));
    QCOMPARE(d.Edit2->toolTip(), QStringLiteral("Set toleration stabilization"));
    QCOMPARE(d.ButtSetTol->toolTip(), QStringLiteral("Set toleration stabilization"));
    QCOMPARE(d.ButtSt->toolTip(), QStringLiteral("Run program"));
    QCOMPARE(d.ButtEn->toolTip(), QStringLiteral("Stop program"));
    QCOMPARE(d.PanNekom->Caption(), QStringLiteral("NO ANSWER"));
    // Texts the language never changes.
    QCOMPARE(d.ButtSetU->text(), QStringLiteral("SET"));
    QCOMPARE(d.Label2->text(), QStringLiteral("Out"));
    QCOMPARE(d.ButtProg->text(), QStringLiteral("Program"));
    // Only that panel: the other and the template keep their texts.
    QCOMPARE(Devices[1].ButtonDel->text(), QStringLiteral("Odebrat"));
    QCOMPARE(f.main.PanDev->findChild<TBitBtn *>("ButtonDel")->text(), QStringLiteral("Odebrat"));

    ApplyPanelLanguage(2, lsNone);
    QCOMPARE(d.ButtonDel->text(), QStringLiteral("Remove"));
    ApplyPanelLanguage(2, lsCzech);
    QCOMPARE(d.ButtonDel->text(), QStringLiteral("Odebrat"));
    QCOMPARE(d.ButtonDel->toolTip(), QStringLiteral("Odstraní zařízení"));
    QCOMPARE(d.PanNekom->Caption(), QStringLiteral("NEKOMUNIKUJE"));
    QCOMPARE(d.ButtProg->toolTip(), QStringLiteral("Edit program"));
}

QTEST_MAIN(TstPanels)
#include "tst_panels.moc"
