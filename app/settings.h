#pragma once

// The four settings kept between runs (language, last program file, chart time window,
// voltage axis limit), section "Setup" of the settings file beside the program.

#include "inifile.h"
#include "mqttsettings.h"
#include "reconnect.h"

#include <QString>
#include <memory>

// Open from LoadSettings to SaveSettings.
extern std::unique_ptr<TIniFile> IniFile;
// Key "Reconnect" of "Setup" (default on): the sources of the last run are connected again
// at start, and those of this run are kept in section "Sources" at its end. Off, the
// section is neither read nor written.
extern bool ReconnectAtStart;
// The network bridge's settings (section "MQTT"), read with the others at start.
extern TMqttSettings MqttSettings;
// The sources LoadSettings read from section "Sources", for the start to connect again.
extern std::vector<TSavedSource> SavedSources;

// The settings file that belongs to a program file: the last three characters of the path
// become "INI" ("name.exe" gives "name.INI"); a file name without an extension gets ".INI".
QString SettingsFileFor(const QString &programFile);
// The settings file of this run: SettingsFileIn(the program file, the user's configuration
// folder), unless SetSettingsFileName put it elsewhere.
QString SettingsFileName();
// Where the settings of a program file live: beside it while that folder (or the settings
// file in it) can be written, else <configRoot>/Ardemo/<name>. A program installed in the
// system's own folders (/usr/bin, /usr/local/bin, ...) never writes there, even when run
// by the administrator: its settings are each user's own.
QString SettingsFileIn(const QString &programFile, const QString &configRoot);
// The program's folder belongs to the system (under /usr, /bin, /sbin).
bool IsSystemFolder(const QString &folder);
// Puts the settings file elsewhere (tests); an empty name restores the rule above.
void SetSettingsFileName(const QString &fileName);

// Reads the settings into LangCode, ProgramPath, ChartWindow and the chart's axis
// controls. A missing file, section, key or a value that is no integer gives the default.
void LoadSettings();
// Writes the four keys, then the connected sources (see ReconnectAtStart), and closes the
// file. Throws EIniFileException("Unable to write to
// <file>") at the first key that cannot be written.
void SaveSettings();

// The value of "MaxY" when the chart page has no up-down to hold it.
int32_t VoltageAxisMax();
