#include "chartmessages.h"

#include "global.h"
#include "strtable.h"

QString ChartMessage(TChartMsg id)
{
    const bool en = LanguageSet(LangCode) == lsEnglish;
    switch (id) {
    case cmRecordFailed:
        return en ? QStringLiteral("Cannot write the record: %1")
                  : QStringLiteral("Záznam nelze zapsat: %1");
    case cmExportFailed:
        return en ? QStringLiteral("The chart values could not be saved to %1:\n%2")
                  : QStringLiteral("Hodnoty grafu nelze uložit do souboru %1:\n%2");
    }
    return QString();
}
