#pragma once

// Starts the program's windows as the program entry does, on a settings file in a
// temporary folder, and takes them down again.

#include "application.h"
#include "controls.h"
#include "data.h"
#include "formprog.h"
#include "global.h"
#include "guarded.h"
#include "mainform.h"
#include "pripoj.h"
#include "settings.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

inline TDM *Dm()
{
    return static_cast<TDM *>(DM);
}

struct TAppFixture
{
    QTemporaryDir dir;

    QString iniFile() const { return dir.filePath(QStringLiteral("ardemo.INI")); }

    // Writes the settings file (none when content is null) and builds DM, the main window
    // and both dialogs.
    TFormMain *start(const QByteArray &content = QByteArray())
    {
        QFile::remove(iniFile());
        if (!content.isNull())
            WriteFile(iniFile(), content);
        SetSettingsFileName(iniFile());
        // As the application does at start-up, whatever application object the test has.
        SetHandlerErrorSink(ReportError);
        DM = new TDM;
        auto *form = new TFormMain;
        FormPripoj = new TFormPripoj(form);
        FormProg = new TFormProg(form);
        return form;
    }

    void stop()
    {
        if (DM)
            DM->TSystem->stop();
        delete FormMain;
        FormPripoj = nullptr;
        FormProg = nullptr;
        delete DM;
        DM = nullptr;
        IniFile.reset();
        SetSettingsFileName(QString());
        SetErrorReporter({});
    }

    QByteArray ini() const { return ReadFile(iniFile()); }
};
