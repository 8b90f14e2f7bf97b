#pragma once

// The voltage program table's file form (*.prg) and the editor's working copy.

#include "global.h"

#include <QString>
#include <stdexcept>

extern VoltageProgram EditSteps;

// Highest step number a Next may name; entry 0 ends the run.
constexpr int MaxStepNo = ProgramSize - 1;

// A program file that cannot be written.
class EFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Writes all 256 entries of EditSteps; throws EFileError when the file cannot be written,
// and then leaves any earlier file of that name as it was.
void SaveProgramFile(const QString &FileName);
// Reads 256 lines into EditSteps. A field that is not an integer, or a Next outside 0..255,
// throws EConvertError; EditSteps is then left as it was before the call.
void LoadProgramFile(const QString &FileName);

// One line of the file (without its line end), for entry Index of Step.
QString ProgramFileLine(int Index, const ProgramStep &Step);
