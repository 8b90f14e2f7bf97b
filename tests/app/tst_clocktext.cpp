// The clock and date texts of the top bar follow the system clock second by second, though
// the tick makes them only when the second has moved on; a new main window, or a clock
// source set or removed, is served at once.

#include "appfixture.h"
#include "sysutils.h"

#include <QLocale>
#include <QTest>
#include <QThread>

class TstClockText : public QObject
{
    Q_OBJECT
    TAppFixture m_app;

    // The clock text for the system's current time, in the label's format.
    static QString Now() { return LongTimeText(QDateTime::currentDateTime().time()); }

    // One pass, taken when it cannot straddle a second: the label must then equal the
    // text of the system clock read around it.
    static bool PassShowsNow(TFormMain *form)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const QString before = Now();
            Dm()->TSystemTimer();
            Dm()->TSystem->stop();
            const QString after = Now();
            if (before == after)
                return form->LabCas->text() == after;
        }
        return false;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup()
    {
        SetClockSource({});
        m_app.stop();
    }

    void followsTheSystemClock()
    {
        TFormMain *form = m_app.start();
        QVERIFY(PassShowsNow(form));
        const QString first = form->LabCas->text();
        // Over more than a second of passes the text moves on with the clock.
        QDeadlineTimer until(1300);
        while (!until.hasExpired()) {
            Dm()->TSystemTimer();
            Dm()->TSystem->stop();
            QThread::msleep(25);
        }
        QVERIFY(PassShowsNow(form));
        QVERIFY(form->LabCas->text() != first);
        QCOMPARE(form->LabDate->text(), ShortDateText(QDate::currentDate()));
    }

    void clockSourceSetAndRemovedWithinASecond()
    {
        TFormMain *form = m_app.start();
        QVERIFY(PassShowsNow(form));
        SetClockSource([] { return QDateTime(QDate(2031, 7, 4), QTime(1, 2, 3)); });
        Dm()->TSystemTimer();
        QCOMPARE(form->LabCas->text(), LongTimeText(QTime(1, 2, 3)));
        QCOMPARE(form->LabDate->text(), ShortDateText(QDate(2031, 7, 4)));
        SetClockSource({});
        // Back on the system clock in the same second: the test's time must not stay.
        QVERIFY(PassShowsNow(form));
        QCOMPARE(form->LabDate->text(), ShortDateText(QDate::currentDate()));
    }

    void newMainWindowFilledOnItsFirstPass()
    {
        for (int i = 0; i < 5; ++i) {
            TFormMain *form = m_app.start();
            QCOMPARE(form->LabCas->text(), QStringLiteral("XX:XX:XX"));
            QVERIFY(PassShowsNow(form));
            QVERIFY(form->LabDate->text() != QStringLiteral("XX.XX.XXXX"));
            m_app.stop();
        }
    }
};

QTEST_MAIN(TstClockText)
#include "tst_clocktext.moc"
