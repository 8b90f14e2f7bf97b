// Takes the user guide's pictures: the whole program on the source simulator, with sources
// connected through the connection dialog as the operator does it, a running voltage
// program, a recording and a chart export. The program starts in Czech; for the English
// pictures the language is switched with the flag, as the operator does it. Every page and
// both dialogs are grabbed into OUTDIR as LANG-<page>.png. The program, recording and export
// files of the run are copied into EXAMPLESDIR, as examples of their formats.
//
//   ardemo-shots cz|en OUTDIR [EXAMPLESDIR]
//
// Run it under an X server (scripts/screenshots.sh uses Xvfb) with the locale the pictures
// should show (dates, decimal separator); the simulator is found through ARDEMO_SIM or
// beside the build tree. ARDEMO_SHOTS_RUN_MS sets how long the sources run before the
// pictures are taken (30000 ms).

#include "application.h"
#include "chartpage.h"
#include "commands.h"
#include "controls.h"
#include "export.h"
#include "progfile.h"
#include "run.h"
#include "tchart.h"
#include "wholeprogram.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextStream>

#include <cstdio>

namespace {

QString g_out;
int g_failures = 0;

void Fail(const QString &what)
{
    std::fprintf(stderr, "ardemo-shots: %s\n", qPrintable(what));
    ++g_failures;
}

// Lets the tick, the serial events and the repaints run before a picture is taken.
void Settle(int ms = 300)
{
    WholeProgram::Run(ms);
}

void Save(QWidget *w, const QString &name)
{
    Settle();
    const QString file = g_out + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!w->grab().save(file))
        Fail(QStringLiteral("cannot write ") + file);
    else
        std::printf("%s\n", qPrintable(file));
}

// Types a voltage into the source's entry and presses SET, as on the panel.
void SetVoltage(int slot, int volts)
{
    TDevice &d = Devices[slot];
    d.Edit1->setText(QString::number(volts));
    ButtSetUClick(d.ButtSetU);
}

void SetTolerance(int slot, int volts)
{
    TDevice &d = Devices[slot];
    d.Edit2->setText(QString::number(volts));
    ButtSetTolClick(d.ButtSetTol);
}

// A source is live once it has answered the identity query.
bool WaitLive(const QList<int> &slotList, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        bool all = true;
        for (int s : slotList)
            all = all && !Devices[s].TypeText.isEmpty() && Devices[s].U > 0;
        if (all)
            return true;
        WholeProgram::Run(100);
    }
    return false;
}

// A small looping program: rise, hold high, fall back to a middle level.
void MakeProgram(const QString &file)
{
    for (ProgramStep &p : EditSteps)
        p = ProgramStep{};
    EditSteps[1] = {4, 40, 2};
    EditSteps[2] = {6, 160, 3};
    EditSteps[3] = {4, 90, 4};
    EditSteps[4] = {4, 220, 1};
    SaveProgramFile(file);
    LoadProgramFile(file);
}

void ShootAll(WholeProgram &wp, const QString &lang, int programSlot)
{
    TFormMain *form = wp.Form();
    QTabWidget *pages = form->PageCont;
    const QString p = lang + QLatin1Char('-');

    pages->setCurrentWidget(form->ScrollMain);
    Save(form, p + QStringLiteral("main"));

    pages->setCurrentWidget(form->Page2);
    if (form->CB_3d->isChecked())
        form->CB_3d->click();
    Save(form, p + QStringLiteral("chart-2d"));
    form->CB_3d->click();
    Save(form, p + QStringLiteral("chart-3d"));
    form->CB_3d->click();

    pages->setCurrentWidget(form->Page3);
    // The tab of line A, whose log shows the silent source.
    form->ControlLines->setCurrentIndex(0);
    Save(form, p + QStringLiteral("communication"));

    pages->setCurrentWidget(form->Page8);
    Save(form, p + QStringLiteral("about"));
    pages->setCurrentWidget(form->ScrollMain);

    // The connection dialog with a third line about to be opened on its own port.
    FormPripoj->show();
    Settle();
    auto *radio = FormPripoj->findChild<QRadioButton *>(QStringLiteral("RadioButton3"));
    auto *ports = FormPripoj->findChild<QComboBox *>(QStringLiteral("ComboBox3"));
    if (radio && ports) {
        radio->click();
        const int i = ports->findText(QStringLiteral("Com 03"));
        ports->setCurrentIndex(i);
        emit ports->activated(i);
    } else {
        Fail(QStringLiteral("no line C in the connection dialog"));
    }
    Save(FormPripoj, p + QStringLiteral("connect"));
    FormPripoj->hide();

    // The program editor of the source that runs the program; it is modal, so the picture
    // is taken from inside its own event loop and the dialog cancelled.
    QTimer::singleShot(600, FormProg, [p] {
        Save(FormProg, p + QStringLiteral("program"));
        FormProg->reject();
    });
    EditProgram(programSlot);
    Settle();
}

bool CopyOut(const QString &from, const QString &dir, const QString &to)
{
    QFile::remove(dir + QLatin1Char('/') + to);
    if (QFile::copy(from, dir + QLatin1Char('/') + to))
        return true;
    Fail(QStringLiteral("cannot copy ") + from);
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4 ||
        (args[1] != QLatin1String("cz") && args[1] != QLatin1String("en"))) {
        std::fprintf(stderr, "usage: ardemo-shots cz|en OUTDIR [EXAMPLESDIR]\n");
        return 2;
    }
    const QString lang = args[1];
    g_out = QDir(args[2]).absolutePath();
    const QString examples = args.size() > 3 ? QDir(args[3]).absolutePath() : QString();
    if (!QDir().mkpath(g_out) || (!examples.isEmpty() && !QDir().mkpath(examples))) {
        std::fprintf(stderr, "ardemo-shots: cannot create the output folders\n");
        return 1;
    }
    // The pictures show the forms at the size the operator first sees them.
    app.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));

    WholeProgram wp;
    // Line A: a source that can stabilise, a noisy one, one that cannot stabilise and one
    // that never answers; line B: a source already at 100 V and one that runs a program.
    const QString err = wp.Start(
        {{QStringLiteral("addr=1,type=ZDR300-S,serial=4711,u=0,tol=2,slew=40"),
          QStringLiteral("addr=5,type=ZDR300-S,serial=4712,u=12,tol=1,out=1,slew=40,noise=3"),
          QStringLiteral("addr=12,type=ZDR150,serial=815,u=0,slew=25"),
          QStringLiteral("addr=20,type=ZDR300-S,serial=4714,silent")},
         {QStringLiteral("addr=0,type=ZDR600-S,serial=90210,u=100,out=1,tol=5,slew=60"),
          QStringLiteral("addr=3,type=ZDR300-S,serial=4713,u=0,slew=80")}},
        {}, QByteArrayLiteral("[Setup]\r\nLang=cz\r\nMaxX=40\r\nMaxY=300\r\n"));
    if (!err.isEmpty()) {
        std::fprintf(stderr, "ardemo-shots: %s\n", qPrintable(err));
        return 1;
    }
    // The program itself formats numbers in the system's locale, as it does outside tests.
    QLocale::setDefault(QLocale::system());
    TFormMain *form = wp.Form();
    form->resize(1024, 700);

    const int a1 = wp.Connect(1, 1), a5 = wp.Connect(1, 5), a12 = wp.Connect(1, 12);
    const int a20 = wp.Connect(1, 20), b0 = wp.Connect(2, 0), b3 = wp.Connect(2, 3);
    if (!a1 || !a5 || !a12 || !a20 || !b0 || !b3) {
        std::fprintf(stderr, "ardemo-shots: a source did not connect\n");
        return 1;
    }
    if (!WaitLive({a5, b0}, 15000))
        Fail(QStringLiteral("no live values from the simulator"));

    // The operator's first steps: 48 V with output and stabilisation on the first source,
    // 24 V on the third, a program on the last, recording on the noisy one.
    SetVoltage(a1, 48);
    SetTolerance(a1, 2);
    Label2Click(Devices[a1].Label2);
    Label3Click(Devices[a1].Label3);
    SetVoltage(a12, 24);
    Label2Click(Devices[a12].Label2);
    Label2Click(Devices[b3].Label2);
    const QString prg = QDir::current().filePath(QStringLiteral("ramp.prg"));
    MakeProgram(prg);
    ProgramPath = prg;
    std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(Devices[b3].Steps));
    StartProgram(b3);
    Devices[a5].CheckBox1->click();

    // Every source on the chart.
    for (int i = 0; i < form->CheckZaz->count(); ++i)
        form->CheckZaz->item(i)->setCheckState(Qt::Checked);
    form->SBar_Rot->setValue(300);

    if (lang == QLatin1String("en"))
        form->Bu_en->OnClick(form->Bu_en);

    // Long enough for the program to go round and the chart to fill most of its window
    // (ARDEMO_SHOTS_RUN_MS shortens it for the test of this tool).
    bool given = false;
    const int runMs = qEnvironmentVariableIntValue("ARDEMO_SHOTS_RUN_MS", &given);
    WholeProgram::Run(given ? runMs : 30000);
    ShootAll(wp, lang, b3);

    // The chart's values as the Save button writes them.
    ButtSaveGrafClick();
    Settle();
    const QString recording = Devices[a5].RecFile;
    const QString exportFile = ExportFileName;
    wp.Stop();

    if (!examples.isEmpty()) {
        CopyOut(prg, examples, QStringLiteral("ramp.prg"));
        CopyOut(QDir::current().filePath(recording), examples, recording);
        CopyOut(QDir::current().filePath(exportFile), examples, exportFile);
    }
    for (const QString &e : wp.Errors())
        Fail(QStringLiteral("program error: ") + e);
    return g_failures ? 1 : 0;
}
