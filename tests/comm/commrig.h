#pragma once

// A test bench for the line communication without hardware: a temporary working folder,
// the main window's memos, the data module's timer and four ports that record what is
// written and hand out what the test puts in, hand-made panel controls per source, and a
// tick counter the test moves.

#include "afcomport.h"
#include "barelines.h"
#include "commlog.h"
#include "controls.h"
#include "fakeport.h"
#include "forms.h"
#include "global.h"
#include "logview.h"
#include "panels.h"
#include "panelview.h"
#include "protocol.h"
#include "scheduler.h"
#include "sourceslot.h"
#include "strtable.h"
#include "sysutils.h"

#include <QDir>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <cstring>
#include <memory>

// The pieces of a frame the scheduler wrote.
struct Frame
{
    int address = -1;
    QByteArray command; // "ID", "NAP", "OUT", "STA", "TOL"
    QByteArray value;
};

inline Frame SplitFrame(const QByteArray &f)
{
    Frame r;
    if (f.size() < 7 || f.front() != '@' || f.back() != '\r')
        return r;
    r.address = f.mid(1, 2).toInt(nullptr, 16);
    const QByteArray rest = f.mid(3, f.size() - 6); // command + value
    for (const char *c : {"NAP", "OUT", "STA", "TOL", "ID"})
        if (rest.startsWith(c)) {
            r.command = c;
            r.value = rest.mid(int(std::strlen(c)));
            break;
        }
    return r;
}

class CommRig : public BareLines
{
public:
    CommRig()
    {
        QDir::setCurrent(dir.path());
        QLocale::setDefault(QLocale::c());
        InitTables();
        TextDevNo = LoadStr(sDevNo, lsCzech);
        TextNoAnswer = LoadStr(sNoAnswer, lsCzech);
        now = 100000;
        SetTickSource([this] { return now; });
    }

    ~CommRig()
    {
        SetTickSource({});
        FormMain = nullptr;
        DM = nullptr;
        InitTables();
    }

    // A source connected as the connection dialog does it, with its own panel controls.
    void Connect(int slot, int line, int address)
    {
        BuildBarePanel(slot, form->Page1);
        TDevice &d = Devices[slot];
        ++DeviceCount;
        OccupySlot(slot, line, address);
        SetPanelTitle(d.Label1, QStringLiteral("%1: Adr. %2").arg(slot).arg(address));
        d.StepNo = 0;
        d.StepTick = 0;
    }

    FakePort *port(int line) const { return ports[line]; }

    // One received-data event with these bytes.
    void Feed(int line, const QByteArray &bytes)
    {
        ports[line]->rx += bytes;
        ports[line]->OnDataRecived(ports[line], int32_t(ports[line]->rx.size()));
    }

    // One pass of the timer: the clock moves on by the tick, the lines are served, and the
    // panels and memos in sight are drawn.
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            now += 25;
            ServeLines();
            DrawDirtyPanels();
            RefreshLog();
        }
    }

    // What a well-behaved source answers to a frame: the queried value, or "OK" to a set.
    static QByteArray AnswerTo(const QByteArray &frame, int u = 12, int tol = 3,
                               const QByteArray &type = "ZDR300-S")
    {
        const Frame f = SplitFrame(frame);
        const QByteArray head =
            '#' + QByteArray::number(f.address, 16).rightJustified(2, '0').toUpper();
        if (!f.value.startsWith('?'))
            return head + "OK\r";
        if (f.command == "OUT")
            return head + "OUT1\r";
        if (f.command == "STA")
            return head + "STA0\r";
        if (f.command == "NAP")
            return head + "NAP" + QByteArray::number(u).rightJustified(3, '0') + '\r';
        if (f.command == "ID")
            return head + "TYP" + type + "VC" + QByteArray::number(1000 + f.address) + '\r';
        return head + "TOL" + QByteArray::number(tol) + '\r';
    }

    // Answers the line's last frame at once.
    void AnswerLast(int line) { Feed(line, AnswerTo(ports[line]->frames.last())); }

    // The memo's lines, top first (an empty memo and one blank line both read as none).
    static QStringList MemoLines(QPlainTextEdit *m)
    {
        FlushLog(); // lines kept aside while a memo is hidden
        QStringList r;
        if (m->document()->isEmpty())
            return r;
        for (QTextBlock b = m->document()->firstBlock(); b.isValid(); b = b.next())
            r << b.text();
        return r;
    }

    QTemporaryDir dir; // the working folder of one test
    uint32_t now = 0;
};

// The base of the line units' tests: a fresh rig for every test.
class CommRigTest : public QObject
{
    Q_OBJECT
protected:
    std::unique_ptr<CommRig> rig;
private slots:
    void init() { rig = std::make_unique<CommRig>(); }
    void cleanup() { rig.reset(); }
};
