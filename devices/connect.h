#pragma once

// Connecting one source: the line's port opened when it is not, the panel built, the slot
// filled, the chart list and the grid made anew and the texts of the language in force
// applied. The connection dialog and the start-up reconnection both go this way.

#include <QColor>
#include <QString>

// True when a source added on the line must open the line's port first: the port is
// closed, or its device went away while it was open (adapter pulled, hang-up), in which
// case the deaf port is closed here so that a device that is back answers again.
bool LineNeedsPort(int Line);

// Opens the port of Line 1..4 as port ComNumber and shows the line's tab; false when it
// cannot be opened, with the reason in *Error (when given). The tab is shown either way.
bool OpenLine(int Line, int ComNumber, QString *Error);

// While one lives, ConnectSource leaves the chart list, the grid and the language texts to
// it: they are made once, when it goes, for all the sources connected meanwhile.
class TConnectBatch
{
public:
    TConnectBatch();
    ~TConnectBatch();
    TConnectBatch(const TConnectBatch &) = delete;
    TConnectBatch &operator=(const TConnectBatch &) = delete;
};

// Connects a source at Address on Line 1..4 into Slot (0: the lowest free slot). ComNumber
// is used only when the line's port must be opened (see LineNeedsPort). Returns the slot,
// or 0 when refused; then *Error (when given) holds the reason for the operator, or stays
// empty when the refusal has already been shown (50 sources). A port that cannot be opened
// leaves the line's tab shown, as the dialog always did.
int ConnectSource(int Line, int ComNumber, int Address, QColor Colour, QString *Error,
                  int Slot = 0);
