// What the source panels cost on the interface thread, with 50 sources on a shown window:
//   1. building a panel from the template (CreateDevicePanel);
//   2. one tick's ArrangePanels when nothing changed (it runs every 25 ms);
//   3. a removal that re-packs the panels after it;
//   4. switching the language of all 50 panels.
// Usage: QT_QPA_PLATFORM=offscreen bench_devices [tick repetitions, default 20000]

#include "controls.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "strtable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;

    TFormMainBase main;
    auto *central = new QWidget;
    main.setCentralWidget(central);
    main.PanelLeft = new QWidget(central);
    main.PanelLeft->setGeometry(0, 48, 129, 552);
    main.PanelTop = new QWidget(central);
    main.PanelTop->setGeometry(0, 0, 1200, 48);
    main.PanelMain = new QWidget(central);
    main.PanelMain->setGeometry(129, 48, 1071, 552);
    auto *tabs = new QTabWidget(main.PanelMain);
    tabs->setGeometry(main.PanelMain->rect());
    main.Page1 = new QWidget;
    tabs->addTab(main.Page1, QStringLiteral(" F1 - Hlavní "));
    main.PanDev = BuildTemplatePanel(main.Page1);
    FormMain = &main;
    InitTables();
    main.resize(1200, 600);
    main.show();
    app.processEvents();

    QElapsedTimer t;
    t.start();
    for (int s = 1; s <= MaxDevices; ++s) {
        CreateDevicePanel(s);
        Devices[s].Used = true;
        Devices[s].Line = 1 + (s - 1) / 32;
        Devices[s].Address = (s - 1) % 32;
    }
    ArrangePanels();
    app.processEvents();
    const double build = t.nsecsElapsed() / 1e6;

    t.restart();
    for (int i = 0; i < ticks; ++i)
        ArrangePanels();
    const double tick = t.nsecsElapsed() / 1e3 / ticks;

    t.restart();
    RemoveDevice(1);
    app.processEvents();
    const double removal = t.nsecsElapsed() / 1e6;

    t.restart();
    for (int s = 1; s <= MaxDevices; ++s)
        ApplyPanelLanguage(s, lsEnglish);
    app.processEvents();
    const double language = t.nsecsElapsed() / 1e6;

    std::printf("50 panels built and placed:        %8.1f ms (%.2f ms each)\n", build,
                build / MaxDevices);
    std::printf("ArrangePanels, nothing changed:    %8.2f us per tick (%d ticks)\n", tick, ticks);
    std::printf("removal of slot 1, 49 re-packed:   %8.1f ms\n", removal);
    std::printf("language of 49 panels switched:    %8.1f ms\n", language);
    std::printf("window grown to                    %d x %d\n", main.width(), main.height());
    for (TDevice &d : Devices)
        ClearPanelReferences(d);
    FormMain = nullptr;
    return 0;
}
