#include "application.h"

#include "guarded.h"

#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

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
    SetHandlerErrorSink(ReportError);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    // The last safety net only: every handler of the program catches its own errors.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportError(CurrentErrorMessage());
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

namespace {
int TerminationPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char c = 1;
    // Only async-signal-safe work here: the interface thread does the rest.
    [[maybe_unused]] const auto n = ::write(TerminationPipe[1], &c, 1);
}
} // namespace

void InstallTerminationHandler()
{
    if (TerminationPipe[0] >= 0 || ::pipe2(TerminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(TerminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buf[16];
        while (::read(TerminationPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
        // Once the run's loop has ended, all that can still wait is the message box about
        // settings that could not be written: the request ends that wait as well.
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

void IgnoreFileSizeSignal()
{
    // The write then fails with EFBIG and is handled where every failed write is.
    ::signal(SIGXFSZ, SIG_IGN);
}
