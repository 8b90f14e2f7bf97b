#pragma once

// A main window with only what the chart units reach: the chart page built for real, the
// device table reset, the wall clock under the test's control, a fixed locale and a
// temporary working folder.

#include "chartpage.h"
#include "controls.h"
#include "forms.h"
#include "global.h"
#include "recordbox.h"
#include "sysutils.h"
#include "tchart.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct ChartFixture
{
    std::unique_ptr<TFormMainBase> form;
    std::unique_ptr<QTemporaryDir> dir;
    QString oldCwd;
    QDateTime clock;

    ChartFixture()
    {
        QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        oldCwd = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(dir->path());

        InitTables();
        ChartWindow = 120;
        LastChartSecond = -1;
        LangCode = QStringLiteral("cz");
        clock = QDateTime(QDate(2026, 12, 6), QTime(22, 8, 56, 123));
        SetClockSource([this] { return clock; });

        form = std::make_unique<TFormMainBase>();
        form->Page2 = new QWidget(form.get());
        form->setCentralWidget(form->Page2);
        FormMain = form.get();
        BuildChartPage(form.get());
    }

    ~ChartFixture()
    {
        SetClockSource({});
        FormMain = nullptr;
        form.reset();
        InitTables();
        QDir::setCurrent(oldCwd);
        QLocale::setDefault(QLocale::c());
    }

    TChart *graf() const { return form->Graf; }

    // A connected source in a slot, with its colour panel.
    void connect(int slot, int address, uint32_t rgb = 0x00FF00, bool inChart = true)
    {
        TDevice &d = Devices[slot];
        d.Used = true;
        d.InChart = inChart;
        d.Address = address;
        d.PanelCol = new TPanel(form.get());
        d.PanelCol->SetColor(ColorFromRgb(rgb));
        d.Color = rgb;
        d.CheckBox1 = NewRecordBox(slot, form.get());
        ++DeviceCount;
    }

    void advance(int ms) { clock = clock.addMSecs(ms); }
};
