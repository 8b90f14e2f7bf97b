// The program run as its own process, for what can only be seen from outside (processor
// time, resident memory, start-up). Started by bench_wholeprogram; not for people.
//   bench_driver startup INI
//       the start of the program's entry point, on the settings file INI; prints
//       "main <ns>" at the first line of main and "tick <ns>" at the end of the first tick
//       pass (monotonic clock), then ends.
//   bench_driver run main|chart2d|chart3d [SECONDS_OF_CHART]
//       the whole program with 50 sources on four simulated lines (paced at 9600 bit/s),
//       connected through the dialog; the page shown, and on the chart page every source
//       plotted with its series filled for the chart window (default 300 s); prints
//       "ready" and runs until it is terminated.

#include "fiftysources.h"
#include "wholeprogram.h"

#include "chartpage.h"
#include "controls.h"
#include "sysutils.h"
#include "tchart.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

long long MonoNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int Startup(int argc, char **argv, long long mainNs)
{
    TApplication app(argc, argv);
    SetSettingsFileName(QString::fromLocal8Bit(argv[2]));
    DM = new TDM;
    new TFormMain;
    FormPripoj = new TFormPripoj(FormMain);
    FormProg = new TFormProg(FormMain);
    // After the program's own handler, so at the end of the first pass.
    QObject::connect(DM->TSystem, &QTimer::timeout, DM, [mainNs] {
        std::printf("main %lld\ntick %lld\n", mainNs, MonoNs());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    FormMain->show();
    const int rc = app.exec();
    delete FormMain;
    FormPripoj = nullptr;
    FormProg = nullptr;
    delete DM;
    DM = nullptr;
    return rc;
}

int RunProgram(int argc, char **argv)
{
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const int window = argc > 3 ? atoi(argv[3]) : 300;
    QApplication app(argc, argv);
    WholeProgram prog;
    if (!StartFiftySources(prog))
        return 1;
    TFormMain *form = prog.Form();
    if (mode != QLatin1String("main")) {
        form->PageCont->setCurrentIndex(1);
        for (int i = 0; i < form->CheckZaz->count(); ++i)
            form->CheckZaz->SetChecked(i, true);
        CheckZazClickCheck(form->CheckZaz, 0);
        if (mode == QLatin1String("chart3d"))
            form->CB_3d->click();
        // The chart window typed in, and filled as after running that long.
        form->MaxX->setText(QString::number(window));
        QTest::keyClick(form->MaxX, Qt::Key_Return);
        const QDateTime now = QDateTime::currentDateTime();
        for (int s = 1; s <= MaxDevices; ++s) {
            TChartSeries *series = form->Graf->Series(s - 1);
            series->Clear();
            for (int k = window; k >= 1; --k)
                series->AddXY(DateTimeToNumber(now.addSecs(-k)), 20 + 5 * s + (k % 5), QString(),
                              Devices[s].PanelCol->Color());
        }
    }
    InstallTerminationHandler(); // SIGTERM ends the run the orderly way, simulator too
    QTimer::singleShot(0, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    const long long mainNs = MonoNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2 && !std::strcmp(argv[1], "startup"))
        return Startup(argc, argv, mainNs);
    if (argc > 2 && !std::strcmp(argv[1], "run"))
        return RunProgram(argc, argv);
    std::fprintf(stderr, "usage: bench_driver startup INI | run main|chart2d|chart3d [SECONDS]\n");
    return 2;
}
