// An error of a handler ends at the handler: the error box gets its message once and the
// program goes on. The application object here has no safety net around Qt's event
// dispatch, so an error that unwound through Qt would fail the test instead.

#include "afsafesync.h"
#include "appfixture.h"
#include "tchart.h"

#include <QTest>
#include <QToolButton>
#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
enum TEntry { ArrowClick, EnterKey, TickStep, PortEvent };
}

class TstHandlerErrors : public QObject
{
    Q_OBJECT

    TAppFixture m_app;
    TFormMain *m_form = nullptr;
    QStringList m_errors;
    bool m_failTick = false;
    int m_arranged = 0;
    uint32_t m_slot = 0;
    bool m_failEvent = false;
    int m_events = 0;

    QToolButton *upArrow() const
    {
        const auto arrows = m_form->UpDownY->findChildren<QToolButton *>();
        return arrows.isEmpty() ? nullptr : arrows.first();
    }

    // Hands one event of the test's slot over from a port thread, as a port does.
    static TAfHandOverResult handOver(uint32_t slot)
    {
        std::atomic<int> result{-1};
        std::thread port([&] { result = int(AfSafeSync::HandOver(slot, TAfSyncData{}, 5000)); });
        [[maybe_unused]] const bool done = QTest::qWaitFor([&] { return result >= 0; });
        port.join();
        return TAfHandOverResult(result.load());
    }

    // What the operator (or the tick, or a port) does at the entry; with fail the handler
    // behind it raises an error.
    void act(TEntry entry, bool fail)
    {
        switch (entry) {
        case ArrowClick:
            m_form->MaxU->setText(fail ? QStringLiteral("12a") : QStringLiteral("40"));
            QTest::mouseClick(upArrow(), Qt::LeftButton);
            break;
        case EnterKey:
            m_form->MaxU->setText(fail ? QStringLiteral("x5") : QStringLiteral("40"));
            QTest::keyClick(m_form->MaxU, Qt::Key_Return);
            break;
        case TickStep:
            m_failTick = fail;
            m_arranged = 0;
            break; // the running timer's next pass
        case PortEvent:
            m_failEvent = fail;
            QCOMPARE(handOver(m_slot), TAfHandOverResult::Delivered);
            break;
        }
    }

    // The entry did its work after the error.
    bool wentOn(TEntry entry)
    {
        switch (entry) {
        case ArrowClick:
            return m_form->Graf->LeftAxisMax() == 41.0;
        case EnterKey:
            return m_form->Graf->LeftAxisMax() == 40.0;
        case TickStep:
            return QTest::qWaitFor([&] { return m_arranged >= 2; });
        case PortEvent:
            return m_events == 1;
        }
        return false;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        m_errors.clear();
        m_failTick = m_failEvent = false;
        m_arranged = m_events = 0;
        m_form = m_app.start();
        SetErrorReporter([this](const QString &m) { m_errors << m; });
        Dm()->Steps.ArrangePanels = [this] {
            if (m_failTick) {
                m_failTick = false;
                throw std::runtime_error("panel layout failed");
            }
            ++m_arranged;
        };
        m_slot = AfSafeSync::Register([this](const TAfSyncData &) {
            if (m_failEvent)
                throw std::runtime_error("Read data error - PortA ");
            ++m_events;
        });
        AfSafeSync::SetEnabled(m_slot, true);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QVERIFY(upArrow());
    }

    void cleanup()
    {
        AfSafeSync::Unregister(m_slot);
        m_app.stop();
    }

    void errorIsShownOnceAndTheProgramGoesOn_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("message");
        QTest::newRow("arrow click") << int(ArrowClick) << "'12a' is not a valid integer value";
        QTest::newRow("Enter in an entry") << int(EnterKey) << "'x5' is not a valid integer value";
        QTest::newRow("tick step") << int(TickStep) << "panel layout failed";
        QTest::newRow("port event") << int(PortEvent) << "Read data error - PortA ";
    }
    void errorIsShownOnceAndTheProgramGoesOn()
    {
        QFETCH(int, entry);
        QFETCH(QString, message);
        const double axisMax = m_form->Graf->LeftAxisMax();
        act(TEntry(entry), true);
        QTRY_COMPARE(m_errors, QStringList{message});
        // Nothing was changed by the failed handler, and the error is not raised again
        // later from the event loop.
        QCOMPARE(m_form->Graf->LeftAxisMax(), axisMax);
        QTest::qWait(100);
        QCOMPARE(m_errors, QStringList{message});

        act(TEntry(entry), false);
        QVERIFY(wentOn(TEntry(entry)));
        QCOMPARE(m_errors, QStringList{message});
        QVERIFY(DM->TSystem->isActive());
    }
};

QTEST_MAIN(TstHandlerErrors)
#include "tst_handlererrors.moc"
