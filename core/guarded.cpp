#include "guarded.h"

#include <QtGlobal>

namespace {
TErrorSink &Sink()
{
    static TErrorSink sink;
    return sink;
}
} // namespace

void SetHandlerErrorSink(TErrorSink sink)
{
    Sink() = std::move(sink);
}

void ReportHandlerError(const QString &message)
{
    if (Sink())
        Sink()(message);
    else
        qWarning("%s", qPrintable(message));
}

QString CurrentErrorMessage()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
