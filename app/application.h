#pragma once

// The application object. Handlers report their own errors (guarded.h) to the error box set
// up here; an error that escapes one all the same is caught as the event ends, shown the
// same way, and the program goes on.

#include <QApplication>
#include <QString>
#include <functional>

class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows an error message in a message box. While one box is up, further messages are
// written to the error output instead of stacking boxes (an error repeated by every tick
// would otherwise open one more box each 25 ms).
void ReportError(const QString &message);

using TErrorReporter = std::function<void(const QString &message)>;
// Replaces the message box (tests); an empty reporter restores it.
void SetErrorReporter(TErrorReporter reporter);

// A termination request from outside (Ctrl+C in the terminal, SIGTERM, a closed session)
// ends the run the orderly way, as the end button does, so the settings are written and the
// ports closed.
void InstallTerminationHandler();

// A file that grows past the process's file size limit (a quota, "ulimit -f") must fail
// its write like a full disk, not end the program by the signal the system sends for it.
void IgnoreFileSizeSignal();
