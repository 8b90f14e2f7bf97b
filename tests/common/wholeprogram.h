#pragma once

// The whole program as its entry point builds it (data module, main window, both dialogs,
// the real serial ports), on a settings file in a temporary folder whose "Ports" section
// points COM1, COM2, ... at the simulator's lines. Sources are connected through the
// connection dialog, as the operator does it. For the system tests, the soak run and the
// whole-program benchmarks.

#include "application.h"
#include "controls.h"
#include "data.h"
#include "formprog.h"
#include "global.h"
#include "guarded.h"
#include "mainform.h"
#include "pripoj.h"
#include "settings.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLocale>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

class WholeProgram
{
public:
    ~WholeProgram() { Stop(); }

    QString Dir() const { return m_dir.path(); }
    QString IniPath() const { return m_dir.filePath(QStringLiteral("ardemo.INI")); }
    QString FrameLog() const { return m_dir.filePath(QStringLiteral("frames.log")); }
    SimProcess &Sim() { return m_sim; }
    TFormMain *Form() const { return qobject_cast<TFormMain *>(FormMain); }

    // Starts the simulator with one line per entry of sourcesPerLine (each a list of
    // "--source" values, simOptions before them), writes a fresh settings file mapping
    // COM1.. to those lines with extraIni after the "Ports" section, makes the temporary
    // folder the working folder (recordings and exports land there) and builds the
    // program's windows. A line named in ownLines (1..) is served by that device instead of
    // the simulator (a peer of the caller's own); the simulator still makes that line, unused.
    // The error text on failure.
    QString Start(const QList<QStringList> &sourcesPerLine, const QStringList &simOptions = {},
                  const QByteArray &extraIni = {}, const QMap<int, QString> &ownLines = {})
    {
        if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
            return QStringLiteral("no temporary folder");
        QLocale::setDefault(QLocale::c());
        QStringList lines, args = simOptions;
        for (int l = 0; l < sourcesPerLine.size(); ++l) {
            lines << m_dir.filePath(QStringLiteral("line") + QChar('A' + l));
            args << QStringLiteral("--line") << lines.last();
            for (const QString &s : sourcesPerLine[l])
                args << QStringLiteral("--source") << s;
        }
        QStringList ports = lines;
        for (auto it = ownLines.begin(); it != ownLines.end(); ++it)
            if (it.key() >= 1 && it.key() <= ports.size())
                ports[it.key() - 1] = it.value();
        if (!WritePortsIni(IniPath(), ports) ||
            (!extraIni.isEmpty() && !WriteFile(IniPath(), ReadFile(IniPath()) + extraIni)))
            return QStringLiteral("cannot write ") + IniPath();
        const QString err = m_sim.Start(FrameLog(), args);
        if (!err.isEmpty())
            return err;
        OpenProgram();
        return {};
    }

    // Ends the program as Stop does, keeping the simulator and the settings file, and starts
    // it again on them: the next run of the same installation.
    void Reopen()
    {
        if (m_running)
            EndProgram();
        m_running = false;
        OpenProgram();
    }

    // Builds the program's windows on the settings file, as the entry point does.
    void OpenProgram()
    {
        // Errors go to a list instead of a message box, so nothing waits for a click.
        SetErrorReporter([this](const QString &m) { m_errors << m; });
        // Handlers report to it as in the program, whatever application object the test has.
        SetHandlerErrorSink(ReportError);
        SetSettingsFileName(IniPath());
        DM = new TDM;
        new TFormMain; // becomes FormMain; reads the settings as it is created
        FormPripoj = new TFormPripoj(FormMain);
        FormProg = new TFormProg(FormMain);
        FormMain->show();
        m_running = true;
    }

    // Connects the source at the address on the line (1..4, port "Com 0<line>") through the
    // connection dialog; its slot, or 0 when the dialog did not connect it.
    int Connect(int line, int address)
    {
        QDialog *dlg = FormPripoj;
        const int before = DeviceCount;
        // The dialog is modal for the operator; here it is shown without blocking.
        dlg->show();
        QApplication::processEvents();
        auto *radio = dlg->findChild<QRadioButton *>(QStringLiteral("RadioButton%1").arg(line));
        auto *ports = dlg->findChild<QComboBox *>(QStringLiteral("ComboBox%1").arg(line));
        auto *address_ = dlg->findChild<QComboBox *>(QStringLiteral("SelAdr"));
        auto *button = dlg->findChild<QPushButton *>(QStringLiteral("Button1"));
        if (!radio || !ports || !address_ || !button)
            return 0;
        radio->click();
        if (!radio->isEnabled() || !radio->isChecked())
            return 0;
        if (ports->isEnabled()) {
            // The operator picks the line's port from the list.
            const int i =
                ports->findText(QStringLiteral("Com %1").arg(line, 2, 10, QLatin1Char('0')));
            ports->setCurrentIndex(i);
            emit ports->activated(i);
        }
        const int index = address_->findText(QString::number(address));
        if (index < 0) {
            dlg->hide();
            return 0;
        }
        address_->setCurrentIndex(index);
        // A port that cannot be opened shows a warning box: answer it rather than wait.
        QTimer::singleShot(0, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        button->click();
        QApplication::processEvents();
        if (dlg->isVisible())
            dlg->hide();
        if (DeviceCount == before)
            return 0;
        for (int s = 1; s <= MaxDevices; ++s)
            if (Devices[s].Used && Devices[s].Line == line && Devices[s].Address == address)
                return s;
        return 0;
    }

    // Runs the program's event loop for the given time.
    static void Run(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    // Ends the program as the entry point does after its event loop: the settings are
    // written, the windows go, then the data module with the ports; the simulator stops last.
    void Stop()
    {
        if (m_running) {
            m_running = false;
            EndProgram();
        }
        m_sim.Stop();
    }

    // Ends the program as the operator does with the end button: the button ends the
    // program's own event loop (QApplication::exec, as the entry point runs it), then the
    // program goes down as in Stop. False when the loop did not end within ms.
    bool EndByButton(int ms = 10000)
    {
        TFormMain *form = Form();
        if (!m_running || !form)
            return false;
        QTimer::singleShot(0, form->ButtEnd, [form] { form->ButtEnd->click(); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(ms);
        const bool ended = QApplication::exec() == 0;
        guard.stop();
        Stop();
        return ended;
    }

    // What the entry point does after its event loop, for any program built as it builds it:
    // the settings are written, the windows go, then the data module with the ports.
    static void EndProgram()
    {
        if (auto *form = qobject_cast<TFormMain *>(FormMain))
            form->FormDestroy();
        delete FormMain;
        FormPripoj = nullptr;
        FormProg = nullptr;
        delete DM;
        DM = nullptr;
        ::IniFile.reset();
        SetSettingsFileName(QString());
        SetErrorReporter({});
    }

    // Messages the program would have shown in its error box.
    const QStringList &Errors() const { return m_errors; }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    QStringList m_errors;
    bool m_running = false;
};
