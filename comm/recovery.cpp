#include "recovery.h"

#include "afcomport.h"
#include "afcomportcore.h"
#include "afportmap.h"
#include "commlog.h"
#include "global.h"
#include "services.h"
#include "strtable.h"
#include "sysutils.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct TRecovery
{
    bool Lost = false;
    bool Trying = false; // a try is out and its answer not yet back
    uint32_t LastTry = 0;
    uint32_t Tries = 0;
};

TRecovery State[MaxLines + 1];
uint64_t Generation = 0; // answers of tries from before a table reset are dropped
TRecoveryTry CustomTry;

void ResetRecovery()
{
    for (TRecovery &r : State)
        r = TRecovery{};
    ++Generation;
}

const bool Registered = [] {
    AtTableReset(ResetRecovery);
    return true;
}();

TAfComPortCore *CoreOf(TAfComPort *port)
{
    return port ? port->Core() : nullptr;
}

// The port is open and its device answers the system.
bool InService(TAfComPort *port)
{
    return port && port->Active() && CoreOf(port) && !CoreOf(port)->DeviceLost();
}

void DefaultTry(int ComNumber, std::function<void(bool)> Done)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return Done(DeviceOpens(ComNumber));
    // The pool's threads are waited for when the application goes, so the answer never
    // meets a destroyed receiver.
    QThreadPool::globalInstance()->start([ComNumber, Done = std::move(Done), app] {
        const bool present = DeviceOpens(ComNumber);
        QMetaObject::invokeMethod(
            app, [Done, present] { Done(present); }, Qt::QueuedConnection);
    });
}

void Reopen(int Line)
{
    TRecovery &r = State[Line];
    TAfComPort *port = LinePort(Line);
    if (!r.Lost || !port || !DevicesOnLine(Line))
        return; // the sources went meanwhile
    if (InService(port)) {
        r.Lost = false;
        return; // the operator opened it again meanwhile
    }
    try {
        port->Close();
        port->Open();
    } catch (...) {
        return; // found but not opened (held by another program): tried again later
    }
    r.Lost = false;
    LogNote(Line, LoadMessage(sLineBack));
}

void Answer(int Line, uint64_t Gen, bool Present)
{
    if (Gen != Generation)
        return;
    State[Line].Trying = false;
    if (Present)
        Reopen(Line);
}

} // namespace

bool DeviceOpens(int ComNumber)
{
    const QByteArray path = AfPortDevicePath(ComNumber);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void SetRecoveryTry(TRecoveryTry Try)
{
    CustomTry = std::move(Try);
}

uint32_t RecoveryTries(int Line)
{
    return Line >= 1 && Line <= MaxLines ? State[Line].Tries : 0;
}

void RecoverLines()
{
    const uint32_t now = GetTickCount();
    for (int line = 1; line <= MaxLines; ++line) {
        TRecovery &r = State[line];
        TAfComPort *port = LinePort(line);
        if (!DevicesOnLine(line) || !port) {
            r.Lost = false; // nothing to come back for
            continue;
        }
        if (!r.Lost) {
            // Only a line whose open port lost its device is ours; a port the operator never
            // opened, or closed, stays as it is.
            if (!port->Active() || !CoreOf(port) || !CoreOf(port)->DeviceLost())
                continue;
            r.Lost = true;
            r.LastTry = now;
            LogNote(line, LoadMessage(sLineLost));
            continue;
        }
        if (InService(port)) {
            r.Lost = false; // opened again by the operator's new source
            LogNote(line, LoadMessage(sLineBack));
            continue;
        }
        if (r.Trying || now - r.LastTry < RecoveryInterval)
            continue;
        r.Trying = true;
        r.LastTry = now;
        ++r.Tries;
        const uint64_t gen = Generation;
        auto done = [line, gen](bool present) { Answer(line, gen, present); };
        if (CustomTry)
            CustomTry(port->ComNumber(), done);
        else
            DefaultTry(port->ComNumber(), done);
    }
}
