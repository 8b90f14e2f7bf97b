// The main window: its layout, the tick, the function keys, the end of the run.

#include "afcomport.h"
#include "appfixture.h"
#include "sysutils.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
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
    TApplication app(argc, argv);
    TestMainForm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainform.moc"
