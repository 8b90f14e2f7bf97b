#pragma once

// The sources connected at the end of a run, kept in section "Sources" of the settings file
// and connected again at the next start. One key per slot:
//
//     Slot3=A,1,5,#FF8000,1
//
// line A..D, port number (Com 01), address 0..31, colour #RRGGBB, ticked in the chart 0/1.

#include "inifile.h"

#include <QColor>
#include <QString>
#include <vector>

struct TSavedSource
{
    int Slot = 0;
    int Line = 0;
    int ComNumber = 0;
    int Address = 0;
    QColor Colour;
    bool InChart = false;
};

// "Slot3" and "A,1,5,#FF8000,1" of a source.
QString SourceKey(const TSavedSource &s);
QString SourceValue(const TSavedSource &s);
// Reads one key of the section; false (and *Out untouched) for anything that is not a
// complete, valid entry.
bool ParseSource(const QString &Key, const QString &Value, TSavedSource *Out);

// The connected sources as the table holds them now, by slot.
std::vector<TSavedSource> ConnectedSources();
// Writes them into the section, replacing what it held, together with the entries given
// that were not connected (a line that could not be opened at start, or a run that ended
// before its sources came back) as long as their slot is free and no source is connected on
// their line: an adapter missing for one run does not lose its sources.
void SaveSources(TIniFile &Ini, const std::vector<TSavedSource> &NotConnected = {});
// The valid entries of the section, by slot; a damaged entry or a second entry of a slot is
// skipped with a warning.
std::vector<TSavedSource> LoadSources(const TIniFile &Ini);

// Connects the entries in slot order into their own slots, through the connection dialog's
// path. Entries of a line whose port cannot be opened are left out and named, with their
// ports, in one message; the others connect. Returns the number connected.
int ReconnectSources(const std::vector<TSavedSource> &Sources);
// The entries ReconnectSources left out because their line could not be opened.
extern std::vector<TSavedSource> SourcesLeftOut;
