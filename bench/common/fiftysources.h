#pragma once

// The program's full load for the whole-program benchmarks: 50 sources over the four lines
// (13, 13, 12 and 12), every one answering, with noisy voltages so that panel texts change
// on every voltage reply.

#include "global.h"
#include "wholeprogram.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <cstdio>

// The simulator's sources per line; where gets line (1..4) and address of each.
inline QList<QStringList> FiftySources(QList<QPair<int, int>> &where)
{
    QList<QStringList> lines(4);
    for (int i = 0; i < MaxDevices; ++i) {
        const int line = i < 13 ? 0 : i < 26 ? 1 : i < 38 ? 2 : 3;
        const int address = i < 13 ? i : i < 26 ? i - 13 : i < 38 ? i - 26 : i - 38;
        lines[line]
            << QStringLiteral("addr=%1,u=%2,out=1,slew=0,noise=3").arg(address).arg(20 + 5 * i);
        where << qMakePair(line + 1, address);
    }
    return lines;
}

// Starts the program on the paced simulator with the fifty sources and connects them all
// through the dialog; false (with the reason on the error output) when that fails.
inline bool StartFiftySources(WholeProgram &prog)
{
    QList<QPair<int, int>> where;
    const QString err = prog.Start(FiftySources(where), {QStringLiteral("--pace")});
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return false;
    }
    for (const auto &[line, address] : where)
        if (!prog.Connect(line, address)) {
            std::fprintf(stderr, "cannot connect line %d address %d\n", line, address);
            return false;
        }
    return true;
}
