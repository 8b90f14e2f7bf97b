#pragma once

// The connection dialog: line, port, address and colour of one more source.

#include "strtable.h"

#include <QDialog>

class TFormPripoj : public QDialog
{
    Q_OBJECT
public:
    explicit TFormPripoj(QWidget *parent = nullptr);
    ~TFormPripoj() override;
    void ApplyLanguage(TLangSet Set);
};

extern TFormPripoj *FormPripoj;

void FillAddressList(int Line);
