#pragma once

// A communication memo's lines, top first, as the operator sees them when the page is shown.

#include "logview.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>

inline QStringList MemoLines(QPlainTextEdit *m)
{
    FlushLog(); // lines kept aside while a memo is hidden
    QStringList r;
    for (QTextBlock b = m->document()->firstBlock(); b.isValid(); b = b.next())
        r << b.text();
    return r;
}
