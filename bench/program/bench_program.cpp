// What the voltage programs cost on the interface thread:
//   1. one tick of RunPrograms with 50 sources running (it runs every 25 ms);
//   2. saving and loading a .prg file of 256 entries;
//   3. filling the editor's grid with all 255 steps.
// Usage: QT_QPA_PLATFORM=offscreen bench_program [tick repetitions, default 20000]

#include "controls.h"
#include "formprog.h"
#include "global.h"
#include "progfile.h"
#include "run.h"
#include "strtable.h"
#include "sysutils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;

    TextStepIs = LoadStr(sStepIs, lsCzech);
    TextTimeIs = LoadStr(sTimeIs, lsCzech);
    TextVoltageIs = LoadStr(sVoltageIs, lsCzech);
    uint32_t now = 0;
    SetTickSource([&now] { return now; });

    QWidget window;
    window.resize(1200, 800);
    InitTables();
    for (int s = 1; s <= MaxDevices; ++s) {
        TDevice &d = Devices[s];
        auto *panel = new QWidget(&window);
        panel->setGeometry(((s - 1) % 10) * 120, ((s - 1) / 10) * 150, 115, 145);
        d.Used = true;
        d.ButtSt = new TSpeedButton(panel);
        d.ButtEn = new TSpeedButton(panel);
        d.LabKrok = new TLabel(panel);
        d.LabCasP = new TLabel(panel);
        d.LabCasP->move(0, 20);
        d.LabUProg = new TLabel(panel);
        d.LabUProg->move(0, 40);
        d.Edit1 = new TEdit(panel);
        d.Edit1->move(0, 60);
        d.CheckBox1 = new TCheckBox(panel);
        d.CheckBox1->move(0, 90);
        for (int i = 1; i <= 10; ++i)
            d.Steps[i] = {s % 5, double(i * 10), i % 10 + 1};
        StartProgram(s);
    }
    window.show();
    app.processEvents();

    QElapsedTimer t, all;
    qint64 runNs = 0;
    all.start();
    for (int i = 0; i < ticks; ++i) {
        now += 25;
        t.start();
        RunPrograms();
        runNs += t.nsecsElapsed();
        if (i % 40 == 0)
            app.processEvents(); // the repaints of a second's label changes
    }
    std::printf("RunPrograms, 50 running sources: %.2f us per tick, %.2f us with the repaints"
                " (%d ticks, %.0f s run)\n",
                runNs / 1e3 / ticks, all.nsecsElapsed() / 1e3 / ticks, ticks, ticks * 0.025);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.prg"));
    for (int i = 0; i < ProgramSize; ++i)
        EditSteps[i] = {i * 7, double(i * 3 - 100), (i + 1) % ProgramSize};
    const int files = 500;
    t.start();
    for (int i = 0; i < files; ++i)
        SaveProgramFile(file);
    const double saveUs = t.nsecsElapsed() / 1e3 / files;
    t.restart();
    for (int i = 0; i < files; ++i)
        LoadProgramFile(file);
    const double loadUs = t.nsecsElapsed() / 1e3 / files;
    std::printf("SaveProgramFile: %.0f us, LoadProgramFile: %.0f us (256 entries)\n", saveUs,
                loadUs);

    TFormProg form;
    form.show();
    app.processEvents();
    const int fills = 50;
    t.restart();
    for (int i = 0; i < fills; ++i) {
        form.FillProgramGrid();
        app.processEvents();
    }
    std::printf("FillProgramGrid with 255 steps shown: %.2f ms\n", t.nsecsElapsed() / 1e6 / fills);
    return 0;
}
