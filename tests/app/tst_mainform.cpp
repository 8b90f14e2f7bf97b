// The main window: its layout, the tick, the function keys, the end of the run.

#include "afcomport.h"
#include "appfixture.h"
#include "offscreenscreen.h"
#include "panels.h"
#include "sysutils.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <stdexcept>

namespace {
// An entry that records the keys it is given, to see that the hook consumed none.
class TKeyRecorder : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        keys << e->key();
        QLineEdit::keyPressEvent(e);
    }
};

// An object whose handler fails, as a handler of any unit can.
class TFailing : public QObject
{
public:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("'x' is not a valid integer value");
        return QObject::event(e);
    }
};
} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    TAppFixture m_app;
    TFormMain *m_form = nullptr;
    QStringList m_errors;
    QStringList m_calls;

    void observeSteps()
    {
        m_calls.clear();
        Dm()->Steps.SampleChart = [this] { m_calls << "SampleChart"; };
        Dm()->Steps.ArrangePanels = [this] { m_calls << "ArrangePanels"; };
        Dm()->Steps.RunPrograms = [this] { m_calls << "RunPrograms"; };
        Dm()->Steps.ServeLine = [this](int l) { m_calls << QStringLiteral("ServeLine%1").arg(l); };
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        m_errors.clear();
        m_form = m_app.start();
        SetErrorReporter([this](const QString &m) { m_errors << m; });
    }

    void cleanup()
    {
        SetClockSource({});
        m_app.stop();
        for (TDevice &d : Devices)
            ClearPanelReferences(d); // the panels went with the window
    }

    // Panels for the sources of slots 1..n, laid out; no line is served.
    void addSources(int n)
    {
        for (int s = 1; s <= n; ++s) {
            CreateDevicePanel(s);
            Devices[s].Used = true;
        }
        ArrangePanels();
    }

    // The platform's screen is the one the test asked for, or the window is shown on a
    // real display whose size the test cannot know.
    bool onTestScreen() { return m_form->screen()->geometry() == QRect(0, 0, 1920, 1080); }

    // Columns of the laid-out panels: those on the first row.
    static int shownColumns()
    {
        int cols = 0;
        for (int s = 1; s <= MaxDevices; ++s)
            cols += Devices[s].Used && Devices[s].PanDev->y() == PanTop;
        return cols;
    }

    void layoutAsDesigned()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QCOMPARE(m_form->minimumSize(), QSize(800, 600));
        QCOMPARE(m_form->PanelLeft->width(), 129);
        QCOMPARE(m_form->PanelTop->height(), 48);
        QCOMPARE(m_form->Panel1->width(), 129);
        const struct
        {
            TBitBtn *b;
            int y;
        } bar[] = {{m_form->ButtOutOn, 161}, {m_form->ButtOutOff, 201}, {m_form->Buttoff, 242}};
        for (const auto &e : bar)
            QCOMPARE(e.b->geometry(), QRect(8, e.y, 113, 33));
        QCOMPARE(m_form->Bu_cz->geometry(), m_form->Bu_en->geometry());

        QTabWidget *pages = m_form->PageCont;
        QCOMPARE(pages->count(), 8);
        QCOMPARE(pages->currentIndex(), 0);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(pages->isTabVisible(i), i <= 2 || i == 7);
        for (int i = 0; i < m_form->ControlLines->count(); ++i)
            QVERIFY(!m_form->ControlLines->isTabVisible(i));
        for (int m = 1; m <= 8; ++m) {
            QVERIFY(m_form->Memo[m]);
            QCOMPARE(m_form->Memo[m]->objectName(), QStringLiteral("Memo%1").arg(m));
            QVERIFY(m_form->Memo[m]->isReadOnly());
        }
        QCOMPARE(m_form->SentMemo(3)->parentWidget(), m_form->LinePage[3]);
        QCOMPARE(m_form->RecvMemo(3)->parentWidget(), m_form->LinePage[3]);
        QCOMPARE(QRect(PanLeft, PanTop, PanWidth, PanHeight), m_form->PanDev->geometry());
        QVERIFY(!m_form->PanDev->isVisibleTo(m_form));
        for (QScrollBar *s : {m_form->SBar_3D, m_form->SBar_Rot, m_form->SBar_Zoom})
            if (s)
                QVERIFY(!s->isEnabled());
        QCOMPARE(DM->TSystem->interval(), 25);
        for (int line = 1; line <= MaxLines; ++line) {
            TAfComPort *port = DM->Port(line);
            QCOMPARE(port->objectName(), QStringLiteral("Port") + QChar(u'A' + line - 1));
            QCOMPARE(port->BaudRate(), br9600);
            QVERIFY(port->OnDataRecived);
            QVERIFY(!port->Active()); // closed until a source is connected on the line
        }
    }

    void mainPageScrolls()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        addSources(20);
        QScrollArea *area = m_form->ScrollMain;
        QCOMPARE(area->widget(), m_form->Page1);
        QCOMPARE(Devices[20].PanDev->parentWidget(), m_form->Page1);
        QCOMPARE(m_form->PanDev->parentWidget(), m_form->Page1);

        // The panels keep the places of the grid; the page holds every row and 5 below.
        const int cols = shownColumns();
        QVERIFY(cols >= 1);
        for (int s = 1; s <= 20; ++s)
            QCOMPARE(Devices[s].PanDev->pos(), QPoint((s - 1) % cols * (PanWidth + 5) + PanLeft,
                                                      (s - 1) / cols * (PanHeight + 5) + PanTop));
        TPanel *last = Devices[20].PanDev;
        QCOMPARE(m_form->Page1->height(), last->geometry().bottom() + 1 + 5);

        QScrollBar *bar = area->verticalScrollBar();
        QVERIFY(bar->isVisible());
        QVERIFY(!area->horizontalScrollBar()->isVisible());
        QCOMPARE(bar->value(), 0);
        const QRect view = area->viewport()->rect();
        auto inView = [&](QWidget *w) {
            return view.contains(QRect(w->mapTo(area->viewport(), QPoint(0, 0)), w->size()));
        };
        QVERIFY(!inView(last));

        area->ensureWidgetVisible(last);
        QVERIFY(bar->value() > 0);
        QVERIFY(inView(last));
        QVERIFY(!inView(Devices[1].PanDev));
        const QPoint place = last->pos();
        ArrangePanels(); // a tick after scrolling moves nothing
        QVERIFY(inView(last) && last->pos() == place);

        // The wheel over a panel scrolls the page (a panel lets the wheel pass to the area).
        bar->setValue(0);
        QWidget *port = area->viewport();
        const QPoint at = Devices[1].PanDev->mapTo(port, Devices[1].PanDev->rect().center());
        QVERIFY(Devices[1].PanDev->isAncestorOf(port->childAt(at)));
        QWheelEvent wheel(at, port->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(port, &wheel);
        QVERIFY(bar->value() > 0);
    }

    void windowGrowsWithinTheScreen_data()
    {
        QTest::addColumn<int>("sources");
        QTest::addColumn<bool>("allRowsShown");
        QTest::newRow("fits") << 2 << true;
        QTest::newRow("three rows") << 5 << true;
        QTest::newRow("twenty") << 20 << false;
        QTest::newRow("fifty") << 50 << false;
    }
    void windowGrowsWithinTheScreen()
    {
        QFETCH(int, sources);
        QFETCH(bool, allRowsShown);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        if (!onTestScreen())
            QSKIP("needs the offscreen platform's 1920 x 1080 screen");
        const QRect avail = m_form->screen()->availableGeometry();
        addSources(sources);
        ArrangePanels(); // a second pass after the window grew changes nothing
        QCOMPARE(shownColumns(), std::min(sources, 2));
        // The frame counts: the whole window stays on the screen's available area.
        QVERIFY(avail.contains(m_form->frameGeometry()));
        QVERIFY(m_form->width() == 800 && m_form->height() >= 600);
        // The area shows or hides its bar once events are handled.
        QTRY_COMPARE(!m_form->ScrollMain->verticalScrollBar()->isVisible(), allRowsShown);
        if (!allRowsShown) // as tall as the screen lets it be
            QCOMPARE(m_form->frameGeometry().height(), avail.height());
        else if (sources > 4) // grown just to the last row
            QCOMPARE(m_form->ScrollMain->viewport()->height(),
                     Devices[sources].PanDev->geometry().bottom() + 1 + 5);
        else
            QCOMPARE(m_form->size(), QSize(800, 600));

        // Removing sources never shrinks it.
        const QSize grown = m_form->size();
        for (int s = sources; s >= 2; --s)
            RemoveDevice(s);
        QCOMPARE(m_form->size(), grown);
    }

    void columnsFollowTheVisibleWidth_data()
    {
        QTest::addColumn<int>("width"); // of the area without a scroll bar; 0: maximised
        QTest::addColumn<int>("sources");
        QTest::addColumn<int>("columns");
        QTest::newRow("maximised, one row") << 0 << 5 << 5;
        QTest::newRow("maximised, two rows") << 0 << 14 << 7;
        QTest::newRow("maximised, scrolled") << 0 << 50 << 7;
        // Three columns need 5 + 3 x 240 pixels: the scroll bar costs the third one.
        QTest::newRow("three fit") << 730 << 3 << 3;
        QTest::newRow("three fit beside the bar") << 760 << 20 << 3;
        QTest::newRow("the bar takes the third") << 730 << 20 << 2;
    }
    void columnsFollowTheVisibleWidth()
    {
        QFETCH(int, width);
        QFETCH(int, sources);
        QFETCH(int, columns);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        if (!onTestScreen())
            QSKIP("needs the offscreen platform's 1920 x 1080 screen");
        QScrollArea *area = m_form->ScrollMain;
        if (width) {
            const int chrome = m_form->width() - area->maximumViewportSize().width();
            m_form->resize(width + chrome, m_form->height());
            QCOMPARE(area->maximumViewportSize().width(), width);
        } else {
            m_form->showMaximized();
            QTRY_VERIFY(m_form->isMaximized());
            QTRY_COMPARE(m_form->frameGeometry(), m_form->screen()->availableGeometry());
        }
        addSources(sources);
        ArrangePanels(); // settled: the scroll bar shown or not
        QCOMPARE(shownColumns(), columns);
        // Every column lies wholly in the visible part and one more would not fit.
        const int seen = area->viewport()->width();
        for (int s = 1; s <= sources; ++s)
            QVERIFY(Devices[s].PanDev->geometry().right() < seen);
        if (sources > columns)
            QVERIFY(PanLeft + (columns + 1) * (PanWidth + 5) - 5 > seen);
        QVERIFY(!area->horizontalScrollBar()->isVisible());
        QTRY_COMPARE(area->verticalScrollBar()->isVisible(),
                     m_form->Page1->height() > area->viewport()->height());
    }

    void clockBeforeAndAfterFirstTick()
    {
        QCOMPARE(m_form->LabDate->text(), QStringLiteral("XX.XX.XXXX"));
        QCOMPARE(m_form->LabCas->text(), QStringLiteral("XX:XX:XX"));
        SetClockSource([] { return QDateTime(QDate(2024, 3, 5), QTime(13, 5, 9)); });
        observeSteps();
        Dm()->TSystemTimer();
        // With seconds and without a zone name, in the system's formats.
        QCOMPARE(m_form->LabCas->text(), QLocale::system().toString(QTime(13, 5, 9), "HH:mm:ss"));
        QVERIFY(m_form->LabDate->text().contains(QLatin1String("24")));
        QVERIFY(m_form->LabDate->text() != QStringLiteral("XX.XX.XXXX"));
    }

    void tickOrder_data()
    {
        QTest::addColumn<QList<int>>("busyLines");
        QTest::addColumn<bool>("sampleFails");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("no source") << QList<int>() << false
                                   << QStringList({"SampleChart", "ArrangePanels", "RunPrograms"});
        QTest::newRow("lines B and D") << QList<int>({4, 2}) << false
                                       << QStringList({"SampleChart", "ArrangePanels",
                                                       "RunPrograms", "ServeLine2", "ServeLine4"});
        // A failing chart sample is swallowed; the pass goes on.
        QTest::newRow("chart fails") << QList<int>({1}) << true
                                     << QStringList({"ArrangePanels", "RunPrograms", "ServeLine1"});
    }
    void tickOrder()
    {
        QFETCH(QList<int>, busyLines);
        QFETCH(bool, sampleFails);
        QFETCH(QStringList, calls);
        observeSteps();
        if (sampleFails)
            Dm()->Steps.SampleChart = [] { throw std::runtime_error("chart"); };
        for (int line : busyLines)
            Lines[line].Cur = 3;
        Dm()->TSystemTimer();
        QCOMPARE(m_calls, calls);
        QVERIFY(DM->TSystem->isActive()); // ready for the next pass
    }

    void tickGoesOnAfterAnError()
    {
        observeSteps();
        int failures = 1;
        Dm()->Steps.ArrangePanels = [&] {
            if (failures-- > 0)
                throw std::runtime_error("panel layout failed");
            m_calls << "ArrangePanels";
        };
        DM->TSystem->start();
        // The failing pass is reported by the default error handler; the following passes
        // run completely.
        QTRY_COMPARE(m_errors, QStringList({"panel layout failed"}));
        QTRY_VERIFY(m_calls.count(QStringLiteral("RunPrograms")) >= 2);
        QVERIFY(DM->TSystem->isActive());
    }

    // A step that lets events through (as a message box does) while the timer runs, the
    // timer started anew meanwhile (as showing the main window does): the timer fires, but
    // no second pass starts inside the first, and the passes go on after it.
    void passIsNeverEnteredTwice()
    {
        observeSteps();
        int depth = 0, deepest = 0, nested = 0;
        Dm()->Steps.RunPrograms = [&] {
            ++depth;
            deepest = std::max(deepest, depth);
            m_calls << "RunPrograms";
            if (nested++ == 0) {
                DM->TSystem->start();
                QElapsedTimer waited;
                waited.start();
                // Several periods of events, the timer firing among them.
                while (waited.elapsed() < 4 * DM->TSystem->interval())
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            --depth;
        };
        DM->TSystem->start();
        QTRY_VERIFY(m_calls.count(QStringLiteral("RunPrograms")) >= 3);
        QCOMPARE(deepest, 1);
        QVERIFY(DM->TSystem->isActive());
        QCOMPARE(DM->TSystem->interval(), 25);
    }

    void addButtonFollowsDeviceCount()
    {
        observeSteps();
        DeviceCount = MaxDevices;
        Dm()->TSystemTimer();
        QVERIFY(!m_form->ButtAddDev->isEnabled());
        QVERIFY(m_form->ButtOutOn->isEnabled());
        DeviceCount = MaxDevices - 1;
        Dm()->TSystemTimer();
        QVERIFY(m_form->ButtAddDev->isEnabled());
        DeviceCount = 0;
    }

    void functionKeysFromADialog()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QDialog dialog(m_form);
        auto *entry = new TKeyRecorder(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        entry->setFocus();

        QTest::keyClick(entry, Qt::Key_F2);
        QCOMPARE(m_form->PageCont->currentIndex(), 1);
        QTest::keyClick(entry, Qt::Key_F5);
        QCOMPARE(m_form->PageCont->currentIndex(), 4); // shown although its tab is hidden
        QVERIFY(!m_form->PageCont->isTabVisible(4));
        QTest::keyClick(entry, Qt::Key_F8);
        QCOMPARE(m_form->PageCont->currentIndex(), 7);
        QTest::keyClick(entry, Qt::Key_F3, Qt::AltModifier); // a system key: left alone
        QTest::keyClick(entry, Qt::Key_F9);
        QCOMPARE(m_form->PageCont->currentIndex(), 7);
        QTest::keyClick(m_form->Memo[1], Qt::Key_F1);
        QCOMPARE(m_form->PageCont->currentIndex(), 0);
        // Every key reached the entry as well (the Alt key itself included).
        QCOMPARE(entry->keys, QList<int>({Qt::Key_F2, Qt::Key_F5, Qt::Key_F8, Qt::Key_Alt,
                                          Qt::Key_F3, Qt::Key_F9}));
    }

    void handlerErrorsAreShownAndTheProgramGoesOn()
    {
        TFailing failing;
        QEvent e(QEvent::User);
        QCoreApplication::sendEvent(&failing, &e);
        QCOMPARE(m_errors, QStringList({"'x' is not a valid integer value"}));
        QCoreApplication::sendEvent(&failing, &e);
        QCOMPARE(m_errors.size(), 2);
    }

    void addButtonShowsTheConnectionDialog()
    {
        m_form->show();
        QVERIFY(!FormPripoj->isVisible());
        m_form->ButtAddDev->click();
        QVERIFY(FormPripoj->isVisible());
        QVERIFY(!FormPripoj->isModal());
        FormPripoj->hide();
    }

    void endButtonAndCloseEndTheRun_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::newRow("ButtEnd") << false;
        QTest::newRow("close with the dialog open") << true;
    }
    void endButtonAndCloseEndTheRun()
    {
        QFETCH(bool, byClose);
        m_form->show();
        FormPripoj->show();
        bool timedOut = false;
        QTimer::singleShot(0, m_form, [&] {
            if (byClose)
                m_form->close();
            else
                m_form->ButtEnd->click();
        });
        QTimer::singleShot(5000, qApp, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        QVERIFY(!timedOut);
        FormPripoj->hide();
    }

    void settingsSavedAtTheEnd()
    {
        m_form->show();
        LangCode = QStringLiteral("en");
        ChartWindow = 77;
        m_form->FormDestroy();
        m_form->FormDestroy(); // once only
        const QByteArray ini = m_app.ini();
        QVERIFY(ini.contains("Lang=en\r\n"));
        QVERIFY(ini.contains("MaxX=77\r\n"));
        QVERIFY(m_errors.isEmpty());
    }

    void unwritableSettingsAreShownAtTheEnd()
    {
        QVERIFY(QDir().mkpath(m_app.iniFile()));
        m_form->FormDestroy();
        QCOMPARE(m_errors, QStringList({QStringLiteral("Unable to write to ") + m_app.iniFile()}));
        QDir(m_app.iniFile()).removeRecursively();
    }
};

int main(int argc, char *argv[])
{
    UseOffscreenScreen(1920, 1080);
    TApplication app(argc, argv);
    TestMainForm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainform.moc"
