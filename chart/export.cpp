#include "export.h"

#include "cp1250.h"
#include "forms.h"
#include "global.h"
#include "strtable.h"
#include "sysutils.h"
#include "tchart.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString ExportFileName;

namespace {
const bool Registered = [] {
    AtTableReset([] { ExportFileName.clear(); });
    return true;
}();
} // namespace

std::function<void(const QString &Message)> ExportErrorReporter;

namespace {

QString ChooseExportName(int activeSeries)
{
    const QString plain = QStringLiteral("Graf_Dev.csv");
    if (!QFileInfo::exists(plain))
        return plain;
    // The counter starts above the number of series shown.
    int n = activeSeries;
    QString name;
    do {
        ++n;
        name = QStringLiteral("GrafHodn%1.csv").arg(FormatWhole(n, 3));
    } while (QFileInfo::exists(name));
    return name;
}

QStringList ExportLines(const TChart &g)
{
    QStringList lines{TextChartValues};
    for (int k = 0; k < g.SeriesCount(); ++k) {
        const TChartSeries *s = g.Series(k);
        if (!s->Active())
            continue;
        QString xs = TextAxisX, ys = TextAxisY;
        for (int i = 0; i < s->Count(); ++i) {
            xs += u';' + FloatToStrGeneral(s->XValue(i));
            ys += u';' + FloatToStrGeneral(s->YValue(i));
        }
        lines << TextValuesOf + QString::number(k + 1) << xs << ys;
    }
    return lines;
}

void ReportExportError(const QString &message)
{
    if (ExportErrorReporter) {
        ExportErrorReporter(message);
        return;
    }
    QMessageBox::warning(FormMain, QStringLiteral("Ardemo"), message);
}

} // namespace

void ButtSaveGrafClick()
{
    if (!FormMain || !FormMain->Graf)
        return;
    const TChart &g = *FormMain->Graf;
    ExportFileName = ChooseExportName(g.CountActiveSeries());
    const QByteArray body = Cp1250Lines(ExportLines(g));

    QFile f(ExportFileName);
    QString why;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        why = f.errorString();
    } else {
        const bool written = f.write(body) == body.size() && f.flush();
        if (!written)
            why = f.errorString();
        f.close();
    }
    if (!why.isEmpty())
        ReportExportError(
            LoadMessage(sExportFailed).arg(QFileInfo(ExportFileName).absoluteFilePath(), why));
}

void ButtPrintClick()
{
    if (!FormMain || !FormMain->Graf)
        return;
    TChart *g = FormMain->Graf;
    // Set anew each time: what the operator changes in the preview does not carry over.
    g->SetPrintMargins(3, 3, 3, 3);
    g->SetPrintProportional(false);
    g->PrintPreview(FormMain);
    g->update();
}
