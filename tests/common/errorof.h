#pragma once

// The message of the error of type E that a call raises, or "<no error>" when it raises
// none (any other error goes on to fail the test).

#include <QString>

template <class E, class F> QString ErrorOf(F f)
{
    try {
        f();
    } catch (const E &e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no error>");
}
