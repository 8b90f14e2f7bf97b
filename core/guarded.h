#pragma once

// An error must never unwind through Qt's event or signal dispatch. Wherever Qt calls the
// program's own code (a click, a key, a signal, the tick, the data a port received), that
// code runs through Guarded: an error it raises ends there, and its message goes to the
// error reporter, which the application points at its error box.

#include <QString>
#include <exception>
#include <functional>
#include <utility>

using TErrorSink = std::function<void(const QString &message)>;

// The application sets its error box here at start-up; without one the message goes to the
// warning output.
void SetHandlerErrorSink(TErrorSink sink);
void ReportHandlerError(const QString &message);

// Inside a catch block: the message of the error being handled, as the operator sees it.
QString CurrentErrorMessage();

// Runs the handler; an error it raises is reported and goes no further. True when the
// handler ended without one.
template <class F> bool Guarded(F &&handler)
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        ReportHandlerError(CurrentErrorMessage());
    }
    return false;
}
