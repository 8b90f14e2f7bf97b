#include "chartfixture.h"
#include "errorof.h"

#include <QScrollBar>
#include <QSignalBlocker>

#include <cmath>

class TstChartPage : public QObject
{
    Q_OBJECT
private slots:
    void pageStartsAsDesigned();
    void columnKeepsRightAndChartStretches();
    void onePointPerWallClockSecond();
    void oldPointsDropOut_data();
    void oldPointsDropOut();
    void untickedSeriesKeepsItsPointsUntilPlottedAgain();
    void pointsKeepTheColourTheyWereAddedWith();
    void clockSetBackKeepsTimesAscending();
    void tickingInTheListShowsAndHidesSeries();
    void keyFilterOfNumberEntries_data();
    void keyFilterOfNumberEntries();
    void axisMaximumFromEntryAndArrows();
    void timeSpanFromEntryAndArrows();
    void pastedTextRaisesConversionErrorAndChangesNothing();
    void settingsFlowThroughTheUpDowns();
    void view3DSwitchesBarsAndEngine();
    void captionsFollowTheLanguage();
};

void TstChartPage::pageStartsAsDesigned()
{
    ChartFixture f;
    TChart *g = f.graf();
    TFormMainBase *m = f.form.get();
    for (int k = 0; k < 50; ++k)
        QCOMPARE(g->Series(k)->Title(), QStringLiteral("č. %1").arg(k + 1));
    QCOMPARE(g->CountActiveSeries(), 0);
    QCOMPARE(g->LeftAxisMax(), 300.0);
    QCOMPARE(g->LeftAxisTitle(), QStringLiteral("U [V]"));
    QVERIFY(!g->View3D());
    // The bars took the chart's zoom, depth and rotation; placing the rotation bar turned
    // the view, so it is not orthogonal; then the bars wait for the 3D view.
    QCOMPARE(QList<int>({m->SBar_Zoom->value(), m->SBar_3D->value(), m->SBar_Rot->value()}),
             QList<int>({100, 20, 345}));
    QCOMPARE(QList<int>({g->Zoom(), g->Chart3DPercent(), g->Rotation()}),
             QList<int>({100, 20, 345}));
    QVERIFY(!g->Orthogonal());
    for (QScrollBar *b : {m->SBar_3D, m->SBar_Zoom, m->SBar_Rot})
        QVERIFY(!b->isEnabled());
    QCOMPARE(m->MaxX->text(), QStringLiteral("120"));
    QCOMPARE(m->MaxU->text(), QStringLiteral("300"));
    // The window's pixel-sized font does not reach the chart, whose labels must print.
    QFont pixels = m->font();
    pixels.setPixelSize(11);
    m->setFont(pixels);
    QCOMPARE(g->font().pointSizeF(), 8.0);
    QCOMPARE(g->font().pixelSize(), -1);
    // The application and the panels find the controls by their names.
    for (const char *name : {"Graf", "CheckZaz", "MaxX", "UpDownX", "MaxU", "UpDownY", "CB_3d",
                             "SBar_3D", "SBar_Zoom", "SBar_Rot", "ButtPrint", "ButtSaveGraf"})
        QVERIFY2(m->Page2->findChild<QWidget *>(QLatin1String(name)), name);
}

void TstChartPage::columnKeepsRightAndChartStretches()
{
    ChartFixture f;
    TFormMainBase *m = f.form.get();
    m->resize(800, 600);
    m->show();
    QVERIFY(QTest::qWaitForWindowExposed(m));
    QWidget *page = m->Page2;
    const auto inPage = [page](QWidget *w) {
        return QRect(w->mapTo(page, QPoint(0, 0)), w->size());
    };
    // Distance of a control from the page's bottom right corner.
    const auto fromCorner = [&](QWidget *w) {
        const QRect r = inPage(w);
        return QPoint(page->width() - r.left(), page->height() - r.top());
    };
    QVERIFY(m->ButtSaveGraf->isVisible());
    QVERIFY(m->ButtPrint->isVisible());
    const QRect chart1 = inPage(m->Graf), list1 = inPage(m->CheckZaz);
    QVERIFY(chart1.right() < list1.left());
    QVERIFY(qAbs(page->width() - list1.left() - 170) <= 10);
    QList<QPoint> corner1;
    const QList<QWidget *> bottom{m->MaxX,      m->MaxU,     m->CB_3d,     m->SBar_3D,
                                  m->SBar_Zoom, m->SBar_Rot, m->ButtPrint, m->ButtSaveGraf};
    for (QWidget *w : bottom)
        corner1 << fromCorner(w);

    m->resize(1100, 800);
    QTRY_COMPARE(m->width(), 1100);
    QTRY_VERIFY(inPage(m->Graf).width() > chart1.width());
    const QRect chart2 = inPage(m->Graf), list2 = inPage(m->CheckZaz);
    QCOMPARE(chart2.width() - chart1.width(), 300);
    QCOMPARE(chart2.height() - chart1.height(), 200);
    QCOMPARE(list2.width(), list1.width());
    QCOMPARE(list2.height() - list1.height(), 200);
    for (int i = 0; i < bottom.size(); ++i)
        QCOMPARE(fromCorner(bottom[i]), corner1[i]);
}

void TstChartPage::onePointPerWallClockSecond()
{
    ChartFixture f;
    f.connect(1, 5, 0x00FF00, false); // connected, not ticked
    f.connect(2, 6);
    Devices[3].InChart = true; // a stale tick on a free slot plots nothing
    Devices[2].U = 12.5;
    TChartSeries *s = f.graf()->Series(1);
    const double first = DateTimeToNumber(f.clock);
    for (int tick = 0; tick < 200; ++tick) {
        SampleChart();
        f.advance(25);
    }
    QCOMPARE(f.graf()->Series(0)->Count(), 0);
    QCOMPARE(f.graf()->Series(2)->Count(), 0);
    // 200 ticks of 25 ms from 56.123: each point is the first tick of its second.
    const int seconds[] = {56, 57, 58, 59, 0, 1};
    QCOMPARE(s->Count(), 6);
    QCOMPARE(s->XValue(0), first);
    for (int i = 0; i < s->Count(); ++i) {
        QCOMPARE(s->YValue(i), 12.5);
        const QTime t = NumberToDateTime(s->XValue(i)).time();
        QCOMPARE(t.second(), seconds[i]);
        QVERIFY2(i == 0 || t.msec() < 25, qPrintable(t.toString(QStringLiteral("ss.zzz"))));
    }
    // The last measured value is repeated while no new one comes.
    Devices[2].U = -1;
    f.advance(1000);
    SampleChart();
    QCOMPARE(s->Count(), 7);
    QCOMPARE(s->YValue(6), -1.0);
    // A voltage that is no number is left out; the others still get one point a second.
    f.connect(4, 9);
    Devices[1].InChart = true;
    Devices[1].U = std::nan("");
    for (int tick = 0; tick < 40; ++tick) {
        SampleChart();
        f.advance(25);
    }
    QCOMPARE(f.graf()->Series(0)->Count(), 0);
    QCOMPARE(s->Count(), 8);
    QCOMPARE(f.graf()->Series(3)->Count(), 1);
}

void TstChartPage::oldPointsDropOut_data()
{
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("expected");
    // Samples alternate between .100 and .900 within their second, so whether the point
    // five seconds back survives is decided by where the newest sample fell, never by a
    // rounding hair.
    QTest::newRow("span 5, newest early in its second") << 5 << 11 << 6;
    QTest::newRow("span 5, newest late in its second") << 5 << 12 << 5;
    QTest::newRow("span 0 keeps the newest only") << 0 << 10 << 1;
    QTest::newRow("longer span lets the series grow") << 300 << 40 << 40;
}

void TstChartPage::oldPointsDropOut()
{
    QFETCH(int, span);
    QFETCH(int, samples);
    QFETCH(int, expected);
    ChartFixture f;
    f.connect(4, 1);
    ChartWindow = span;
    const QDateTime start(QDate(2026, 3, 1), QTime(10, 0, 0));
    for (int k = 0; k < samples; ++k) {
        f.clock = start.addMSecs(1000 * k + (k % 2 == 0 ? 100 : 900));
        Devices[4].U = k;
        SampleChart();
    }
    const TChartSeries *s = f.graf()->Series(3);
    QCOMPARE(s->Count(), expected);
    // What is kept is the newest run of samples, in order.
    for (int i = 0; i < s->Count(); ++i)
        QCOMPARE(s->YValue(i), double(samples - expected + i));
    const double cutoff = DateTimeToNumber(f.clock) - span / 86400.0;
    QVERIFY(s->XValue(0) >= cutoff);
}

void TstChartPage::untickedSeriesKeepsItsPointsUntilPlottedAgain()
{
    ChartFixture f;
    f.connect(1, 3);
    f.form->CheckZaz->AddItem(QStringLiteral("01: Adr. = 3"), true);
    f.graf()->Series(0)->SetActive(true);
    ChartWindow = 10;
    for (int i = 0; i < 5; ++i) {
        SampleChart();
        f.advance(1000);
    }
    const double lastX = f.graf()->Series(0)->XValue(4);

    f.form->CheckZaz->SetChecked(0, false);
    CheckZazClickCheck(f.form->CheckZaz, 0);
    QVERIFY(!f.graf()->Series(0)->Active());
    for (int i = 0; i < 60; ++i) {
        SampleChart();
        f.advance(1000);
    }
    QCOMPARE(f.graf()->Series(0)->Count(), 5);
    QCOMPARE(f.graf()->Series(0)->XValue(4), lastX);

    f.form->CheckZaz->SetChecked(0, true);
    CheckZazClickCheck(f.form->CheckZaz, 0);
    QVERIFY(f.graf()->Series(0)->Active());
    SampleChart();
    QCOMPARE(f.graf()->Series(0)->Count(), 1);
    QCOMPARE(f.graf()->Series(0)->XValue(0), DateTimeToNumber(f.clock));
}

void TstChartPage::pointsKeepTheColourTheyWereAddedWith()
{
    ChartFixture f;
    f.connect(2, 7, 0x00FF00);
    for (int i = 0; i < 3; ++i) {
        SampleChart();
        f.advance(1000);
    }
    Devices[2].Color = 0xFF0000; // what the colour button sets
    for (int i = 0; i < 2; ++i) {
        SampleChart();
        f.advance(1000);
    }
    const TChartSeries *s = f.graf()->Series(1);
    QCOMPARE(s->Count(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(s->PointColor(i), i < 3 ? QColor(0, 255, 0) : QColor(255, 0, 0));
    QVERIFY(s->PointLabel(0).isEmpty());
}

void TstChartPage::clockSetBackKeepsTimesAscending()
{
    ChartFixture f;
    f.connect(1, 1);
    ChartWindow = 3600;
    for (int i = 0; i < 10; ++i) {
        SampleChart();
        f.advance(1000);
    }
    // The wall clock is corrected back by five and a half seconds: the five points now
    // in the future go, the earlier five stay, the new one follows them.
    f.advance(-5500);
    SampleChart();
    const TChartSeries *s = f.graf()->Series(0);
    QCOMPARE(s->Count(), 6);
    for (int i = 1; i < s->Count(); ++i)
        QVERIFY(s->XValue(i) > s->XValue(i - 1));
    QCOMPARE(s->XValue(5), DateTimeToNumber(f.clock));
}

void TstChartPage::tickingInTheListShowsAndHidesSeries()
{
    ChartFixture f;
    f.connect(1, 1);
    f.connect(4, 2);
    f.connect(7, 3);
    f.graf()->Series(9)->SetActive(true); // left over from a source removed from slot 10
    TCheckListBox *list = f.form->CheckZaz;
    for (int i = 0; i < 3; ++i)
        list->AddItem(QString::number(i), false);
    int calls = 0;
    auto handler = list->OnClickCheck;
    list->OnClickCheck = [&](QObject *s, int i) {
        ++calls;
        handler(s, i);
    };
    list->item(1)->setCheckState(Qt::Checked); // as the operator's click does
    QCOMPARE(calls, 1);
    QVERIFY(!Devices[1].InChart);
    QVERIFY(Devices[4].InChart);
    QVERIFY(!Devices[7].InChart);
    QVERIFY(f.graf()->Series(3)->Active());
    QVERIFY(!f.graf()->Series(9)->Active());
    QCOMPARE(f.graf()->CountActiveSeries(), 1);

    list->item(2)->setCheckState(Qt::Checked);
    list->item(1)->setCheckState(Qt::Unchecked);
    QVERIFY(!Devices[4].InChart);
    QVERIFY(Devices[7].InChart);
    QVERIFY(f.graf()->Series(6)->Active());
    QCOMPARE(f.graf()->CountActiveSeries(), 1);
}

void TstChartPage::keyFilterOfNumberEntries_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits") << "0123456789"
                            << "0123456789";
    QTest::newRow("letters and signs dropped") << "a1-2.b,3 "
                                               << "123";
    QTest::newRow("signs dropped") << "+x9"
                                   << "9";
}

void TstChartPage::keyFilterOfNumberEntries()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    ChartFixture f;
    for (TEdit *e : {f.form->MaxU, f.form->MaxX}) {
        e->clear();
        QTest::keyClicks(e, typed);
        QCOMPARE(e->text(), shown);
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), shown.left(shown.size() - 1));
    }
}

void TstChartPage::axisMaximumFromEntryAndArrows()
{
    ChartFixture f;
    TEdit *e = f.form->MaxU;
    e->clear();
    QTest::keyClicks(e, QStringLiteral("50"));
    QCOMPARE(f.graf()->LeftAxisMax(), 300.0); // nothing before Enter
    QTest::keyClick(e, Qt::Key_Return);
    QCOMPARE(f.graf()->LeftAxisMax(), 50.0);
    QCOMPARE(f.form->UpDownY->Position(), 50); // the arrows and the settings follow
    f.form->UpDownY->StepBy(1);
    QCOMPARE(f.graf()->LeftAxisMax(), 51.0);
    QCOMPARE(e->text(), QStringLiteral("51"));

    // Typed beyond the arrows' range: the axis takes it, the up-down keeps its place.
    e->setText(QStringLiteral("2000"));
    QTest::keyClick(e, Qt::Key_Return);
    QCOMPARE(f.graf()->LeftAxisMax(), 2000.0);
    QCOMPARE(f.form->UpDownY->Position(), 51);

    // An empty entry changes nothing, neither on Enter nor from the up-down.
    e->clear();
    QTest::keyClick(e, Qt::Key_Return);
    UpDownYChanging(f.form->UpDownY);
    QCOMPARE(f.graf()->LeftAxisMax(), 2000.0);
}

void TstChartPage::timeSpanFromEntryAndArrows()
{
    ChartFixture f;
    TEdit *e = f.form->MaxX;
    e->setText(QStringLiteral("7"));
    QTest::keyClick(e, Qt::Key_Enter);
    QCOMPARE(ChartWindow, 7);
    QCOMPARE(f.form->UpDownX->Position(), 7);
    f.form->UpDownX->StepBy(-1);
    QCOMPARE(ChartWindow, 6);
    f.form->UpDownX->StepBy(-1); // the arrows stop at 5
    f.form->UpDownX->StepBy(-1);
    QCOMPARE(ChartWindow, 5);

    // A typed span is not held to the arrows' range.
    for (int span : {0, 1000}) {
        e->setText(QString::number(span));
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(ChartWindow, span);
        QCOMPARE(f.form->UpDownX->Position(), 5);
    }
    // The span takes effect at the next sample: 1000 s keeps about 1001 points.
    f.connect(1, 1);
    for (int i = 0; i < 1010; ++i) {
        SampleChart();
        f.advance(1000);
    }
    QVERIFY(qAbs(f.graf()->Series(0)->Count() - 1001) <= 1);
}

void TstChartPage::pastedTextRaisesConversionErrorAndChangesNothing()
{
    ChartFixture f;
    f.form->MaxU->setText(QStringLiteral("12a"));
    char16_t enter = 13;
    QCOMPARE(ErrorOf<EConvertError>([&] { MaxUKeyPress(f.form->MaxU, enter); }),
             QStringLiteral("'12a' is not a valid integer value"));
    QCOMPARE(f.graf()->LeftAxisMax(), 300.0);
    QVERIFY_THROWS_EXCEPTION(EConvertError, f.form->UpDownY->StepBy(1));
    QCOMPARE(f.graf()->LeftAxisMax(), 300.0);

    f.form->MaxX->setText(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, MaxXKeyPress(f.form->MaxX, enter));
    QVERIFY_THROWS_EXCEPTION(EConvertError, f.form->UpDownX->StepBy(1));
    QCOMPARE(ChartWindow, 120);
}

void TstChartPage::settingsFlowThroughTheUpDowns()
{
    ChartFixture f;
    // As the settings are loaded: the up-downs are placed, their handlers apply the values.
    f.form->UpDownY->SetPosition(450);
    QCOMPARE(f.graf()->LeftAxisMax(), 450.0);
    f.form->UpDownX->SetPosition(60);
    QCOMPARE(ChartWindow, 60);
    QCOMPARE(f.form->MaxX->text(), QStringLiteral("60"));
}

void TstChartPage::view3DSwitchesBarsAndEngine()
{
    ChartFixture f;
    TFormMainBase *m = f.form.get();
    m->show();
    QVERIFY(QTest::qWaitForWindowExposed(m));
    const QPoint box(6, m->CB_3d->height() / 2);
    QTest::mouseClick(m->CB_3d, Qt::LeftButton, {}, box);
    QVERIFY(f.graf()->View3D());
    for (QScrollBar *b : {m->SBar_3D, m->SBar_Zoom, m->SBar_Rot})
        QVERIFY(b->isEnabled());
    m->SBar_3D->setValue(55);
    m->SBar_Zoom->setValue(250);
    f.graf()->SetOrthogonal(true);
    m->SBar_Rot->setValue(300);
    QCOMPARE(QList<int>({f.graf()->Chart3DPercent(), f.graf()->Zoom(), f.graf()->Rotation()}),
             QList<int>({55, 250, 300}));
    QVERIFY(!f.graf()->Orthogonal());

    QTest::mouseClick(m->CB_3d, Qt::LeftButton, {}, box);
    QVERIFY(!f.graf()->View3D());
    for (QScrollBar *b : {m->SBar_3D, m->SBar_Zoom, m->SBar_Rot})
        QVERIFY(!b->isEnabled());
    // A disabled rotation bar moved by the program turns nothing but wakes up.
    m->SBar_Rot->setValue(280);
    QCOMPARE(f.graf()->Rotation(), 300);
    QVERIFY(m->SBar_Rot->isEnabled());
}

void TstChartPage::captionsFollowTheLanguage()
{
    ChartFixture f;
    TFormMainBase *m = f.form.get();
    const auto captions = [m] {
        return QStringList{m->ButtSaveGraf->text(), m->ButtPrint->text(), m->Label16->text(),
                           m->Label15->text(),      m->Label12->text(),   m->Label14->text(),
                           m->Label13->text(),      m->CB_3d->text()};
    };
    const QStringList czech{
        "Ulož", "Tisk", "Osa X max [s]:", "Osa Y max [V]:", "Zvětšení", "Natočení", "3D", "3&D"};
    const QStringList english{
        "Save", "Print", "Axis X max [s]:", "Axis Y max [V]:", "Zoom", "Rotation", "3D", "3&D"};
    QCOMPARE(captions(), czech);
    ApplyChartPageLanguage(lsEnglish);
    QCOMPARE(captions(), english);
    ApplyChartPageLanguage(lsNone);
    QCOMPARE(captions(), english);
    ApplyChartPageLanguage(lsCzech);
    QCOMPARE(captions(), czech);
}

QTEST_MAIN(TstChartPage)
#include "tst_chartpage.moc"
