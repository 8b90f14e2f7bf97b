#pragma once

// The voltage program table's file form (*.prg) and the editor's working copy.

#include "global.h"

#include <QString>

extern VoltageProgram EditSteps;

void SaveProgramFile(const QString &FileName);
void LoadProgramFile(const QString &FileName);
