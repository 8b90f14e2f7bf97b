#pragma once

// The program editor dialog.

#include "strtable.h"

#include <QDialog>

class TFormProg : public QDialog
{
    Q_OBJECT
public:
    explicit TFormProg(QWidget *parent = nullptr);
    ~TFormProg() override;
    void ApplyLanguage(TLangSet Set);
};

extern TFormProg *FormProg;

void EditProgram(int Slot);
void ButtProgClick(QObject *Sender);
