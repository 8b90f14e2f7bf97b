#pragma once

// Export of the chart's values to CSV, and printing through the preview.

#include <QString>
#include <functional>

extern QString ExportFileName;

void ButtSaveGrafClick();
void ButtPrintClick();

// Shows why an export could not be written; a message box unless replaced (tests).
extern std::function<void(const QString &Message)> ExportErrorReporter;
