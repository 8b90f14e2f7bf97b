#include "strtable.h"

#include "global.h"

namespace {
struct TEntry
{
    TStrId id;
    const char *cz;
    const char *en;
};

// clang-format off
const TEntry Table[] = {
    {sAxisX, "Osa X", "Axis X"},
    {sAxisY, "Osa Y", "Axis Y"},
    {sValuesOf, "Hodnoty ze zdroje č.", "Values from the device No."},
    {sDevNo, "Zař.č.", "Dev. No."},
    {sNoAnswer, ": Neodpovídá", ": No Answer"},
    {sProgramOf, "Program zdroje č.", "Program Device No."},
    {sColStep, "Krok", "Step"},
    {sColTime, "Čas [s]", "Time [s]"},
    {sColU, "U [V]", "U [V]"},
    {sColNext, "Další", "Next"},
    {sChartValues, "Hodnoty z grafu", "Graph's Values"},
    {sStepIs, "Krok = ", "Step = "},
    {sTimeIs, "Čas = ", "Time = "},
    {sVoltageIs, "Napětí = ", "Voltage = "},

    {sFormMainCaption, "Ardemo verze 1.00 - ", "Ardemo version 1.00 - "},
    {sAbout1, "Tormela Ardemo  verze 1.00", "Tormela Ardemo  version 1.00"},
    {sAbout2, "© 2026 Tormela s.r.o., všechna práva vyhrazena.",
              "© 2026 Tormela s.r.o., all rights reserved."},
    {sAbout3, "Program je chráněn autorským zákonem; šíření jen se souhlasem výrobce.",
              "This program is protected by copyright; distribution only with the maker's consent."},
    {sAbout4, "Aktuální verzi programu si můžete stáhnout na adrese",
              "Actual version of this software you can download from web site"},
    {sAbout8, "Nápověda", "Help"},
    {sButtEnd, "Konec", "End"},
    {sButtEndHint, "Ukončení programu", "Program termination"},
    {sLangHint, "Přepnout jazyk", "Language change"},
    {sAddDev, "Připoj", "Add"},
    {sAddDevHint, "Přidat nové zařízení", "Add new device"},
    {sOutOn, "Výstup - zap", "Out - on"},
    {sOutOnHint, "Zapnout výstup u všech zařízení", "Switch on for all devices"},
    {sOutOff, "Výstup - vyp", "Out - off"},
    {sOutOffHint, "Vypnout výstup u všech zařízení", "Switch off for all devices"},
    {sOffHint, "Nastaví 0V pro všechna zařízení", "Set 0V for all devices"},
    {sPage1, " F1 - Hlavní ", " F1 - Main "},
    {sPage2, " F2 - Graf ", " F2 - Graph "},
    {sPage3, " F3 - Komunikace ", " F3 - Communications "},
    {sPage8, " F8 - O programu ... ", " F8 - About... "},
    {sLine1, " Linka A ", " Line A "},
    {sLine2, " Linka B ", " Line B "},
    {sLine3, " Linka C ", " Line C "},
    {sLine4, " Linka D ", " Line D "},
    {sSentLabel, "Odeslané:", "Request:"},
    {sRecvLabel, "Přijaté:", "Answer:"},

    {sSaveGraf, "Ulož", "Save"},
    {sPrint, "Tisk", "Print"},
    {sAxisXMax, "Osa X max [s]:", "Axis X max [s]:"},
    {sAxisYMax, "Osa Y max [V]:", "Axis Y max [V]:"},
    {sZoom, "Zvětšení", "Zoom"},
    {sRotation, "Natočení", "Rotation"},

    {sPripojCaption, "Připojení zařízení", "Addition device"},
    {sAddress, "Adresa:", "Address:"},
    {sRadio1, "Linka A", "Line A"},
    {sRadio2, "Linka B", "Line B"},
    {sRadio3, "Linka C", "Line C"},
    {sRadio4, "Linka D", "Line D"},
    {sConnect, "Připoj", "Add"},
    {sCancel, "Storno", "Cancel"},
    {sNoFreeAddress, "Na lince není volná adresa.", "No free address on this line."},
    {sSearch, "Hledat", "Search"},
    {sSearchStop, "Zastavit", "Stop"},
    {sSearchHint, "Zeptat se všech volných adres linky na typ zdroje",
     "Ask every free address of the line for its source type"},
    {sAddAll, "Připoj vše", "Add all"},
    {sSearchProgress, "Hledám: adresa %1 (%2 z %3)", "Searching: address %1 (%2 of %3)"},
    {sSearchDone, "Nalezeno zdrojů: %1", "Sources found: %1"},
    {sSearchLog, "Hledání, adr.%1: ", "Search, adr.%1: "},

    {sOpen, "Načti", "Open"},
    {sSave, "Ulož", "Save"},

    {sProgHint, "Edit program", "Edit program"},
    {sRecord, "Záznam", "Record"},
    {sRecordHint, "Zapnout / vypnout záznam do souboru", "Switch on or of record to file"},
    {sColor, "Barva", "Color"},
    {sColorHint, "Nastavení barvy", "Set device color"},
    {sRemove, "Odebrat", "Remove"},
    {sRemoveHint, "Odstraní zařízení", "Remove device"},
    {sOutHint, "Výstup Zap/Vyp", "Output on/off"},
    {sStaHint, "Stabilizace Zap/Vyp", "Stabilization on/off"},
    {sVoltHint, "Nastavení napětí", "Voltage regulation"},
    {sTolHint, "Nastavení tolerance stabilizace", "Set toleration stabilization"},
    {sRunHint, "Spustění program", "Run program"},
    {sStopHint, "Stop programu", "Stop program"},
    {sNoAnswerPanel, "NEKOMUNIKUJE", "NO ANSWER"},

    {sProgEnterHint, "Enter: další buňka, Ctrl+Enter: OK", "Enter: next cell, Ctrl+Enter: OK"},
    {sProgOKHint, "Potvrdit program (Ctrl+Enter)", "Confirm the program (Ctrl+Enter)"},
    {sRecordFailed, "Záznam nelze zapsat: %1", "Cannot write the record: %1"},
    {sExportFailed, "Hodnoty grafu nelze uložit do souboru %1:\n%2",
                    "The chart values could not be saved to %1:\n%2"},
    {sPortDevice, "COM%1 → %2 (%3)", "COM%1 → %2 (%3)"},
    {sPortPresent, "nalezeno", "present"},
    {sPortMissing, "nenalezeno", "not found"},
    {sReconnectFailed, "Tyto linky nelze znovu otevřít, jejich zdroje nejsou připojeny:\n%1",
                       "These lines could not be opened again, their sources are not connected:\n%1"},
    {sLineLost, "Zařízení linky zmizelo, zkouším ho znovu otevřít", "The line's device is gone, trying to open it again"},
    {sLineBack, "Linka je zpět", "The line is back"},
    {sMqttConnected, "MQTT: připojeno", "MQTT: connected"},
    {sMqttDisconnected, "MQTT: odpojeno", "MQTT: disconnected"},
    {sMqttBroker, "Broker MQTT: %1", "MQTT broker: %1"},
};
// clang-format on

static_assert(sizeof(Table) / sizeof(Table[0]) == sStrCount, "every text has both sets");
} // namespace

TLangSet LanguageSet(const QString &code)
{
    if (code.startsWith(QLatin1Char('c')))
        return lsCzech;
    if (code.startsWith(QLatin1Char('e')))
        return lsEnglish;
    return lsNone;
}

QString LoadStr(TStrId id, TLangSet set)
{
    if (set == lsNone || id < 0 || id >= sStrCount)
        return QString();
    const TEntry &e = Table[id];
    Q_ASSERT(e.id == id);
    return QString::fromUtf8(set == lsCzech ? e.cz : e.en);
}

QString LoadMessage(TStrId id)
{
    const TLangSet set = LanguageSet(LangCode);
    return LoadStr(id, set == lsNone ? lsCzech : set);
}
