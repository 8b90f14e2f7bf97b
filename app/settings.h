#pragma once

// The four settings kept between runs (language, last program file, chart time window,
// voltage axis limit), section "Setup" of the settings file beside the program.

#include "inifile.h"

#include <QString>
#include <memory>

// Open from LoadSettings to SaveSettings.
extern std::unique_ptr<TIniFile> IniFile;

// The settings file that belongs to a program file: the last three characters of the path
// become "INI" ("name.exe" gives "name.INI"); a file name without an extension gets ".INI".
QString SettingsFileFor(const QString &programFile);
// The settings file of this run: beside the program while that folder (or the file in it)
// can be written, else ~/.config/Ardemo/<name>.
QString SettingsFileName();
// Puts the settings file elsewhere (tests); an empty name restores the rule above.
void SetSettingsFileName(const QString &fileName);

// Reads the settings into LangCode, ProgramPath, ChartWindow and the chart's axis
// controls. A missing file, section, key or a value that is no integer gives the default.
void LoadSettings();
// Writes the four keys and closes the file. Throws EIniFileException("Unable to write to
// <file>") at the first key that cannot be written.
void SaveSettings();

// The value of "MaxY" when the chart page has no up-down to hold it.
int32_t VoltageAxisMax();
