#include "data.h"
#include "recovery.h"

#include "afcomport.h"
#include "chartpage.h"
#include "global.h"
#include "guarded.h"
#include "logview.h"
#include "mainform.h"
#include "panels.h"
#include "panelview.h"
#include "protocol.h"
#include "run.h"
#include "scheduler.h"
#include "services.h"
#include "sysutils.h"

#include <QApplication>
#include <QColorDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>

namespace {

class TApplicationEvents : public QObject
{
public:
    TApplicationEvents(TDM *owner) : QObject(owner), m_owner(owner) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        bool handled = false;
        Guarded([&] { m_owner->EventsMessage(watched, event, handled); });
        return false; // the focused control gets every key as well
    }

private:
    TDM *m_owner;
};

// Removes the time-zone name ("t" up to "tttt") from a time format, quoted text left alone.
QString WithoutZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

TTickSteps TTickSteps::Defaults()
{
    return {::SampleChart,
            ::ArrangePanels,
            ::RunPrograms,
            ::ServeLine,
            [] {
                RefreshPanels();
                RefreshLog();
            },
            ::RecoverLines};
}

TDM::TDM(QObject *parent) : TDMBase(parent)
{
    setObjectName(QStringLiteral("DM"));

    TSystem = new QTimer(this);
    TSystem->setObjectName(QStringLiteral("TSystem"));
    TSystem->setInterval(ResourcePeriod);
    TSystem->setTimerType(Qt::PreciseTimer);
    connect(TSystem, &QTimer::timeout, this, [this] { Guarded([this] { TSystemTimer(); }); });

    // A reply shows on its panel and in the log as soon as it is taken, not at the next tick.
    auto drawn = [](void (*received)(QObject *, int32_t)) {
        return [received](QObject *s, int32_t n) {
            received(s, n);
            DrawDirtyPanels();
            RefreshLog();
        };
    };
    const TAfCPTDataReceivedEvent handlers[4] = {drawn(PortADataRecived), drawn(PortBDataRecived),
                                                 drawn(PortCDataRecived), drawn(PortDDataRecived)};
    TAfComPort **ports[4] = {&PortA, &PortB, &PortC, &PortD};
    for (int i = 0; i < 4; ++i) {
        *ports[i] = new TAfComPort(this);
        (*ports[i])->setObjectName(QStringLiteral("Port") + QChar(u'A' + i));
        (*ports[i])->SetBaudRate(br9600);
        (*ports[i])->OnDataRecived = handlers[i];
    }

    Services().Port = [this](int line) { return Port(line); };
    Services().TickPeriod = [this] { return uint32_t(TSystem->interval()); };

    Events = new TApplicationEvents(this);
    Events->setObjectName(QStringLiteral("Events"));
    if (qApp)
        qApp->installEventFilter(Events);

    // A widget cannot belong to the module; the module deletes it itself.
    ColorDial = new QColorDialog();
    ColorDial->setObjectName(QStringLiteral("ColorDial"));
}

TDM::~TDM()
{
    if (qApp && Events)
        qApp->removeEventFilter(Events);
    delete ColorDial;
    ColorDial = nullptr;
    if (DM == this)
        DM = nullptr;
    Services().Port = nullptr;
    Services().TickPeriod = nullptr;
}

void TDM::TSystemTimer()
{
    // Stopping the timer for the pass and starting it again after would add the pass and
    // the timer's lateness to every period (25 ms became about 26.5, a line's polling rate
    // falling with it); left running, the timer keeps its own cadence.
    if (m_inPass)
        return;
    m_inPass = true;
    struct TEnd
    {
        TDM *dm;
        ~TEnd()
        {
            dm->m_inPass = false;
            if (!dm->TSystem->isActive())
                dm->TSystem->start();
        }
    } end{this};

    auto *form = qobject_cast<TFormMain *>(FormMain);
    if (form) {
        form->ButtOutOn->setEnabled(true);
        form->ButtOutOff->setEnabled(true);
        form->Buttoff->setEnabled(true);
        form->ButtAddDev->setEnabled(DeviceCount < MaxDevices);
        // The texts change once a second. Between, only the system clock's whole second is
        // looked at: making the local time reads the status of the time-zone file on every
        // call, twice a tick. A clock source of a test is read on every pass.
        const qint64 second =
            ClockIsSystem() ? QDateTime::currentMSecsSinceEpoch() / 1000 : qint64(-1);
        if (second < 0 || second != m_clockSecond || m_clockLabel != form->LabCas) {
            // Each label reads the clock afresh.
            form->SetClockText(form->LabCas, LongTimeText(CurrentDateTime().time()));
            form->SetClockText(form->LabDate, ShortDateText(CurrentDateTime().date()));
            m_clockSecond = second;
            m_clockLabel = form->LabCas;
        }
    }

    try {
        if (Steps.SampleChart)
            Steps.SampleChart();
    } catch (...) {
        // A chart sample that fails is simply missing from the chart.
    }
    if (Steps.ArrangePanels)
        Steps.ArrangePanels();
    if (Steps.RunPrograms)
        Steps.RunPrograms();
    if (Steps.RecoverLines)
        Steps.RecoverLines();
    for (int line = 1; line <= MaxLines; ++line)
        if (Lines[line].Cur != NoDevice && Steps.ServeLine)
            Steps.ServeLine(line);
    if (Steps.Refresh)
        Steps.Refresh();
}

void TDM::EventsMessage(QObject *, QEvent *Msg, bool &)
{
    if (Msg->type() != QEvent::KeyPress)
        return;
    const auto *key = static_cast<QKeyEvent *>(Msg);
    // With Alt held the key is a system key and belongs to the window manager.
    if (key->modifiers() & Qt::AltModifier)
        return;
    if (key->key() < Qt::Key_F1 || key->key() > Qt::Key_F8)
        return;
    if (FormMain && FormMain->PageCont)
        FormMain->PageCont->setCurrentIndex(key->key() - Qt::Key_F1);
}

QString LongTimeText(const QTime &time)
{
    const QLocale loc = QLocale::system();
    return loc.toString(time, WithoutZone(loc.timeFormat(QLocale::LongFormat)));
}

QString ShortDateText(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}
