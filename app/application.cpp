#include "application.h"

#include <QMessageBox>
#include <exception>

namespace {
TErrorReporter &Reporter()
{
    static TErrorReporter r;
    return r;
}

bool g_boxShown = false;

void ShowErrorBox(const QString &message)
{
    if (g_boxShown) {
        qWarning("%s", qPrintable(message));
        return;
    }
    g_boxShown = true;
    struct TDone
    {
        ~TDone() { g_boxShown = false; }
    } done;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Ardemo"));
    setOrganizationName(QStringLiteral("Ardemo"));
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

void ReportError(const QString &message)
{
    if (Reporter())
        Reporter()(message);
    else
        ShowErrorBox(message);
}

void SetErrorReporter(TErrorReporter reporter)
{
    Reporter() = std::move(reporter);
}
