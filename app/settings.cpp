#include "settings.h"

#include "afportmap.h"
#include "chartpage.h"
#include "controls.h"
#include "forms.h"
#include "global.h"
#include "reconnect.h"
#include "tchart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

std::unique_ptr<TIniFile> IniFile;
bool ReconnectAtStart = true;
TMqttSettings MqttSettings;
std::vector<TSavedSource> SavedSources;

namespace {
const QString Section = QStringLiteral("Setup");
const QString KeyLang = QStringLiteral("Lang");
const QString KeyPath = QStringLiteral("Path");
const QString KeyMaxX = QStringLiteral("MaxX");
const QString KeyMaxY = QStringLiteral("MaxY");
const QString KeyReconnect = QStringLiteral("Reconnect");
constexpr int32_t DefaultMaxX = 120;
constexpr int32_t DefaultMaxY = 300;

QString &FixedFileName()
{
    static QString name;
    return name;
}

int32_t g_maxY = DefaultMaxY;

QString DefaultProgramPath()
{
    return QDir::homePath() + QLatin1Char('/');
}
} // namespace

QString SettingsFileFor(const QString &programFile)
{
    const qsizetype slash = programFile.lastIndexOf(QLatin1Char('/'));
    const QString name = programFile.mid(slash + 1);
    // A leading dot marks a hidden file, not an extension.
    if (name.indexOf(QLatin1Char('.'), 1) < 0)
        return programFile + QStringLiteral(".INI");
    return programFile.left(qMax<qsizetype>(slash + 1, programFile.size() - 3)) +
           QStringLiteral("INI");
}

QString SettingsFileName()
{
    if (!FixedFileName().isEmpty())
        return FixedFileName();
    return SettingsFileIn(QCoreApplication::applicationFilePath(),
                          QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

bool IsSystemFolder(const QString &folder)
{
    // Links resolved: /bin may be /usr/bin, and a link elsewhere may lead into /usr.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString path = canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
    for (const char *root : {"/usr", "/bin", "/sbin"}) {
        const QString r = QString::fromLatin1(root);
        if (path == r || path.startsWith(r + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString SettingsFileIn(const QString &programFile, const QString &configRoot)
{
    const QString beside = SettingsFileFor(programFile);
    const QFileInfo file(beside);
    const QString folder = file.absolutePath();
    if (!IsSystemFolder(folder) &&
        (QFileInfo(folder).isWritable() || (file.exists() && file.isWritable())))
        return beside;
    return configRoot + QStringLiteral("/Ardemo/") + file.fileName();
}

void SetSettingsFileName(const QString &fileName)
{
    FixedFileName() = fileName;
}

int32_t VoltageAxisMax()
{
    return ChartMaxU;
}

void LoadSettings()
{
    IniFile = std::make_unique<TIniFile>(SettingsFileName());
    // The serial layer reads the port devices from the "Ports" section of the same file.
    AfSetPortMapFile(IniFile->FileName());
    LangCode = IniFile->ReadString(Section, KeyLang, QStringLiteral("cz"));
    ProgramPath = IniFile->ReadString(Section, KeyPath, DefaultProgramPath());
    ChartWindow = IniFile->ReadInteger(Section, KeyMaxX, DefaultMaxX);
    g_maxY = IniFile->ReadInteger(Section, KeyMaxY, DefaultMaxY);
    ChartMaxU = g_maxY;
    ReconnectAtStart = IniFile->ReadInteger(Section, KeyReconnect, 1) != 0;
    SavedSources.clear();
    SourcesLeftOut.clear();
    if (ReconnectAtStart)
        SavedSources = LoadSources(*IniFile);
    MqttSettings = ReadMqttSettings(*IniFile);
    if (!FormMain)
        return;
    if (FormMain->UpDownY) {
        // The up-down keeps the value within its range; the axis takes what it holds.
        FormMain->UpDownY->SetPosition(g_maxY);
        ChartMaxU = FormMain->UpDownY->Position();
        if (FormMain->Graf)
            FormMain->Graf->SetLeftAxisMax(FormMain->UpDownY->Position());
    }
    if (FormMain->UpDownX)
        FormMain->UpDownX->SetPosition(int16_t(ChartWindow));
}

void SaveSettings()
{
    // The file object goes whatever happens: a failed save is not retried.
    struct TRelease
    {
        ~TRelease() { IniFile.reset(); }
    } release;
    if (!IniFile)
        IniFile = std::make_unique<TIniFile>(SettingsFileName());
    QDir().mkpath(QFileInfo(IniFile->FileName()).absolutePath());
    IniFile->WriteString(Section, KeyLang, LangCode);
    IniFile->WriteString(Section, KeyPath, ProgramPath);
    IniFile->WriteInteger(Section, KeyMaxX, ChartWindow);
    IniFile->WriteInteger(Section, KeyMaxY, VoltageAxisMax());
    // With reconnection off the section is left as the operator wrote it.
    if (ReconnectAtStart) {
        std::vector<TSavedSource> notConnected = SavedSources; // the run ended before they came
        notConnected.insert(notConnected.end(), SourcesLeftOut.begin(), SourcesLeftOut.end());
        SaveSources(*IniFile, notConnected);
    }
}
