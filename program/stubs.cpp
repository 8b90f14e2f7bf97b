// Placeholders until the program unit lands.
#include "formprog.h"
#include "progfile.h"
#include "run.h"

VoltageProgram EditSteps;
void SaveProgramFile(const QString &) {}
void LoadProgramFile(const QString &) {}
TFormProg *FormProg = nullptr;
TFormProg::TFormProg(QWidget *parent) : QDialog(parent) {}
TFormProg::~TFormProg() = default;
void TFormProg::ApplyLanguage(TLangSet) {}
void EditProgram(int) {}
void ButtProgClick(QObject *) {}
void ButtStClick(QObject *) {}
void ButtEnClick(QObject *) {}
void LabKrokClick(QObject *) {}
void RunPrograms() {}
