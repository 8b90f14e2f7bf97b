#pragma once

// The global tables of connected sources and of lines, and the globals that every unit
// shares. They live for the whole run and are touched only on the interface thread.

#include <QString>
#include <cstdint>

class TPanel;
class TLabel;
class TStaticText;
class TShape;
class TEdit;
class TCheckBox;
class TBitBtn;
class TSpeedButton;
class TBevel;

constexpr int NoDevice = 999;    // no source on a line, or a slot never used
constexpr int MaxDevices = 50;   // slots 1..50; slot 0 exists and is never used
constexpr int MaxLines = 4;      // lines A..D are 1..4; entry 0 is never used
constexpr int ProgramSize = 256; // entry 0 is the end entry, 1..255 the steps

struct ProgramStep
{
    int32_t Time = 0; // seconds the step lasts
    double U = 0;     // volts set while the step runs
    int32_t Next = 0; // step that follows; 0 ends the run
};

using VoltageProgram = ProgramStep[ProgramSize];

// Where a source stands in its request/reply cycle. The values are those the communication
// log shows after "Stav": a query cycle 1..5 (output, stabilisation, voltage,
// identification, tolerance), and a set command at 10, 20, 30 or 50, counted up by each
// "OK" the source answers.
enum TReqState : int32_t {
    rsIdle = 0,
    rsAskOut = 1,
    rsAskSta = 2,
    rsAskU = 3,
    rsAskId = 4,
    rsAskTol = 5,
    rsSetOut = 10,
    rsSetSta = 20,
    rsSetU = 30,
    rsSetTol = 50,
};

// What the panel of a source shows of its conversation.
enum TLinkState : int32_t {
    lkNew = 0,       // connected, not yet answered: the panel as it was built
    lkAnswering = 1, // the last request was answered
    lkSilent = 2,    // the last request went unanswered: "NEKOMUNIKUJE"
};

// Between a source's type and its serial number in TDevice::TypeText.
inline const QString TypeSerialMark = QStringLiteral("   v.č.: ");

struct TDevice
{
    QString Reply;    // last complete reply, '#' to CR inclusive
    QString TypeText; // type + TypeSerialMark + serial number
    bool Used = false;
    bool InChart = false;
    bool CanStab = false;

    // References to the clones of the template controls; the panel owns them all.
    TPanel *PanDev = nullptr;
    TPanel *PanelCol = nullptr;
    TPanel *PanNekom = nullptr;
    TStaticText *Disp1 = nullptr;
    TStaticText *Disp2 = nullptr;
    TShape *Shape1 = nullptr;
    TShape *Shape2 = nullptr;
    TLabel *Label1 = nullptr;
    TLabel *Label2 = nullptr;
    TLabel *Label3 = nullptr;
    TLabel *LabKrok = nullptr;
    TLabel *LabUProg = nullptr;
    TLabel *LabCasP = nullptr;
    TEdit *Edit1 = nullptr;
    TEdit *Edit2 = nullptr;
    TCheckBox *CheckBox1 = nullptr;
    TBitBtn *ButtSetU = nullptr;
    TBitBtn *ButtSetTol = nullptr;
    TBitBtn *ButtProg = nullptr;
    TBitBtn *ButtonColor = nullptr;
    TBitBtn *ButtonDel = nullptr;
    TBevel *Bevel1 = nullptr;
    TSpeedButton *ButtSt = nullptr;
    TSpeedButton *ButtEn = nullptr;

    bool PendU = false;
    bool PendOut = false;
    bool PendSta = false;
    bool PendTol = false;
    double U = 0;     // measured voltage; -1 after an unreadable reply
    double USet = 0;  // voltage to send with the next set-voltage command
    double UPrev = 0; // U before the last voltage reply
    double Tol = 0;
    double TolSet = 0;
    bool OutOn = false;
    bool OutSet = false;
    bool StaOn = false;
    bool StaSet = false;
    int32_t ReqState = rsIdle;
    int32_t Address = NoDevice;
    int32_t Line = NoDevice;
    VoltageProgram Steps;
    int32_t StepNo = 0;
    uint32_t StepTick = 0; // tick count (ms) at which the current step began
    int32_t StepShown = 0; // the step the last tick began with: what the panel shows
    QString RecFile;

    uint32_t Color = 0; // the panel's frame and the chart's trace, 0xRRGGBB
    TLinkState Link = lkNew;
    uint32_t NoAnswers = 0;     // unanswered requests so far; the panel clears its entries on each
    bool Recording = false;     // the record box is ticked
    bool RecordFailing = false; // the last row could not be written
    uint32_t RecordTries = 0;   // rows tried so far; the record box's hint follows each
    bool Dirty = false;         // changed since the panel was last drawn
    bool UEntry = false;        // the voltage entry shows USet as sent: a command from elsewhere
    bool TolEntry = false;      // likewise the tolerance entry with TolSet
};

struct TLines
{
    QString RxBuf;           // reply being assembled
    uint32_t Countdown = 0;  // ms before the scheduler next acts on the line
    int32_t Cur = NoDevice;  // slot served, or NoDevice
    bool Waiting = false;    // a request is out and its reply not yet taken
    bool Overflowed = false; // the reply outgrew its bound; dropped up to the next "#" or CR
};

extern TDevice Devices[MaxDevices + 1];
extern TLines Lines[MaxLines + 1];
extern int32_t DeviceCount;
extern bool RemoveReq[MaxDevices + 1];

// Template panel geometry, read from PanDev when the main window is created.
extern int32_t PanLeft, PanTop, PanHeight, PanWidth;

// Settings kept between runs.
extern QString LangCode;    // "cz" or "en"
extern QString ProgramPath; // last program file
extern int32_t ChartWindow; // chart time span, seconds
extern int32_t ChartMaxU;   // top of the chart's voltage axis, volts

// Language texts, filled by ApplyLanguage; empty until a language set is chosen.
extern QString TextAxisX, TextAxisY, TextValuesOf, TextDevNo, TextNoAnswer, TextProgramOf,
    TextColStep, TextColTime, TextColU, TextColNext, TextChartValues, TextStepIs, TextTimeIs,
    TextVoltageIs;

// Resets one slot to the empty state of start-up.
void ResetDevice(int Slot);
// Resets both tables, the removal flags and DeviceCount, as at start-up, and with them all
// run-time state that the units keep beside the tables (see AtTableReset).
void InitTables();
// Adds a reset of a unit's own run-time state to InitTables.
void AtTableReset(void (*Reset)());
// Number of used slots on a line.
int DevicesOnLine(int Line);
// The letter of line 1..4, "A".."D"; empty for anything else.
QString LineLetter(int Line);
// Lowest slot 1..50 that is not used, or 0 when all are.
int LowestFreeSlot();
