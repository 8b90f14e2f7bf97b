// What the application shell costs on the interface thread:
//   1. one tick pass (clock, date, buttons and the units' steps) with no source connected;
//   2. one language switch of the whole window;
//   3. saving the settings at the end of a run (four keys, each straight to the file).
// Usage: QT_QPA_PLATFORM=offscreen bench_app [repetitions, default 2000]

#include "application.h"
#include "data.h"
#include "formprog.h"
#include "global.h"
#include "language.h"
#include "mainform.h"
#include "pripoj.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {
template <typename F> void Measure(const char *what, int n, F &&f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        f(i);
    std::printf("%-44s %9.1f us\n", what, t.nsecsElapsed() / 1000.0 / n);
}
} // namespace

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;

    QTemporaryDir dir;
    SetSettingsFileName(dir.filePath(QStringLiteral("ardemo.INI")));
    auto *dm = new TDM;
    DM = dm;
    auto *form = new TFormMain;
    FormPripoj = new TFormPripoj(form);
    FormProg = new TFormProg(form);
    form->show();
    app.processEvents();
    dm->TSystem->stop();

    Measure("tick pass, no source", n, [&](int) {
        dm->TSystemTimer();
        dm->TSystem->stop();
        app.processEvents(); // the repaint of what changed
    });
    Measure("language switch (cz/en), whole window", n / 10 + 1, [&](int i) {
        LangCode = i % 2 ? QStringLiteral("cz") : QStringLiteral("en");
        ApplyLanguage();
        app.processEvents();
    });
    Measure("settings save (four keys)", n / 10 + 1, [&](int) { SaveSettings(); });

    delete form;
    delete dm;
    return 0;
}
