#pragma once

// The few messages of the chart page and the recording that tell the operator of a file
// that could not be written. They follow the language in force (LangCode); with no set
// chosen they are Czech, like the window's own texts.

#include <QString>

enum TChartMsg { cmRecordFailed, cmExportFailed };

QString ChartMessage(TChartMsg id);
