#include "commands.h"

#include "forms.h"
#include "global.h"
#include "panels.h"
#include "panelview.h"
#include "recording.h"
#include "requests.h"
#include "sysutils.h"

namespace {

// An entry's text turns gray once its value is handed to the scheduler; typing starts a
// new value in black.
const QColor SentColor = SentEntryColor();
const QColor TypingColor = ColorFromRgb(0x000000);

// The entries take a dot as the decimal separator; anything unreadable counts as 0.
double EntryValue(const TEdit *e)
{
    if (!e)
        return 0;
    bool ok = false;
    const double v = StrToFloatDot(e->text(), &ok);
    return ok ? v : 0;
}

void SendVoltage(int slot)
{
    TDevice &d = Devices[slot];
    RequestVoltage(slot, EntryValue(d.Edit1));
    if (d.Edit1)
        d.Edit1->SetFontColor(SentColor);
}

void SendTolerance(int slot)
{
    TDevice &d = Devices[slot];
    RequestTolerance(slot, EntryValue(d.Edit2));
    if (d.Edit2)
        d.Edit2->SetFontColor(SentColor);
}

bool IsDigit(char16_t k, char16_t from)
{
    return k >= from && k <= u'9';
}

} // namespace

void ButtSetUClick(QObject *Sender)
{
    const int slot = FindSlot(Sender, &TDevice::ButtSetU);
    if (!slot)
        return;
    SendVoltage(slot);
    RecordIfOn(slot);
    DrawDirtyPanels(); // a row that could not be written shows at once
}

void ButtSetTolClick(QObject *Sender)
{
    const int slot = FindSlot(Sender, &TDevice::ButtSetTol);
    if (slot)
        SendTolerance(slot);
}

void Edit1KeyPress(QObject *Sender, char16_t &Key)
{
    auto *edit = qobject_cast<TEdit *>(Sender);
    if (!edit)
        return;
    if (Key == 8 || Key == 10) {
        // Backspace clears the whole value, not one character.
        edit->clear();
    } else if (Key == 13) {
        // Enter sends like SET, but writes no recording row.
        if (const int slot = FindSlot(Sender, &TDevice::Edit1))
            SendVoltage(slot);
    } else if (IsDigit(Key, u'0')) {
        if (edit->FontColor() == SentColor) {
            edit->clear();
            edit->SetFontColor(TypingColor);
        }
        // Whole volts 0..255: a digit that would go beyond is refused, and so is one
        // that would join a pasted text that is no number.
        bool ok = false;
        const int next = (edit->text() + QChar(Key)).toInt(&ok);
        if (!ok || next > 255)
            Key = 0;
    } else {
        Key = 0;
    }
}

void Edit2KeyPress(QObject *Sender, char16_t &Key)
{
    auto *edit = qobject_cast<TEdit *>(Sender);
    if (!edit)
        return;
    if (Key == 13)
        if (const int slot = FindSlot(Sender, &TDevice::Edit2))
            SendTolerance(slot);
    // A single digit 1..9: each new digit replaces the previous one.
    if (Key == 8 || Key == 10 || IsDigit(Key, u'1')) {
        edit->clear();
        edit->SetFontColor(TypingColor);
    } else {
        Key = 0;
    }
}

void Label2Click(QObject *Sender)
{
    // Relative to what the source last reported, not to a command still waiting.
    if (const int slot = FindSlot(Sender, &TDevice::Label2))
        RequestOutput(slot, !Devices[slot].OutOn);
}

void Label3Click(QObject *Sender)
{
    if (const int slot = FindSlot(Sender, &TDevice::Label3))
        RequestStabilisation(slot, !Devices[slot].StaOn);
}

void ButtOutOnClick()
{
    RequestOutputAll(true);
}

void ButtOutOffClick()
{
    RequestOutputAll(false);
}

void ButtoffClick()
{
    RequestZeroAll(true);
    DrawDirtyPanels(); // every entry shows its 0 at once
}
