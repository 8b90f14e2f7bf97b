#pragma once

// The data module: the tick timer, the four line ports, the application-wide key hook and
// the colour dialog; and the tick itself.

#include "forms.h"

#include <QDate>
#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <functional>

class QEvent;

// The work of one tick after clock and buttons, in the order it runs. The defaults are the
// units' own routines; tests put observers in their place.
struct TTickSteps
{
    std::function<void()> SampleChart;
    std::function<void()> ArrangePanels;
    std::function<void()> RunPrograms;
    std::function<void(int Line)> ServeLine;
    std::function<void()> Refresh;      // the panels and the memo in sight drawn from the tables
    std::function<void()> RecoverLines; // lost lines tried again, before the lines are served

    static TTickSteps Defaults();
};

class TDM : public TDMBase
{
    Q_OBJECT
public:
    static constexpr int ResourcePeriod = 250; // until the main window sets the tick period

    explicit TDM(QObject *parent = nullptr);
    ~TDM() override;

    QObject *Events = nullptr; // the key hook on the application
    TTickSteps Steps = TTickSteps::Defaults();

    // One pass of the tick. The timer keeps running, so that passes come every period
    // whatever a pass and the timer's own lateness take; a pass that lets events through
    // (a message box) is never entered again meanwhile. A timer found stopped at the end
    // is started, also when a step raised an error: that error goes on to the caller (the
    // timer's handler reports it in the error box), and the passes go on.
    void TSystemTimer();
    // Seen for every event of every window before it is delivered: F1..F8 choose the page
    // of the main window. Handled is never set.
    void EventsMessage(QObject *Receiver, QEvent *Msg, bool &Handled);

private:
    // The system clock's whole second when the clock and date texts were last made, and
    // the clock label they were made for.
    qint64 m_clockSecond = -1;
    QPointer<QLabel> m_clockLabel;
    bool m_inPass = false;
};

// The clock and date texts of the top bar: the system's time with seconds (no zone name)
// and its short date.
QString LongTimeText(const QTime &time);
QString ShortDateText(const QDate &date);
