#pragma once

// Export of the chart's values to CSV, and printing through the preview.

#include <QString>

extern QString ExportFileName;

void ButtSaveGrafClick();
void ButtPrintClick();
