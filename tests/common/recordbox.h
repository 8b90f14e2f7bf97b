#pragma once

// A source's record box built by hand, its state the source's as on a real panel, and the
// rows the recording has written for a source.

#include "controls.h"
#include "global.h"

#include <QFile>

inline TCheckBox *NewRecordBox(int slot, QWidget *parent)
{
    auto *box = new TCheckBox(parent);
    QObject::connect(box, &QCheckBox::toggled, box,
                     [slot](bool on) { Devices[slot].Recording = on; });
    return box;
}

// Rows in the slot's recording file below its two heading lines; 0 without a file.
inline int RecordedRows(int slot)
{
    QFile f(Devices[slot].RecFile);
    if (Devices[slot].RecFile.isEmpty() || !f.open(QIODevice::ReadOnly))
        return 0;
    return qMax(0, int(f.readAll().count("\r\n")) - 2);
}
