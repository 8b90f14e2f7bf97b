#pragma once

// An application that treats a handler's error as the program does (the handler ends, the
// program goes on), keeping the message for the test instead of showing it: the handlers'
// error reporter and, as the last safety net, the event dispatch both add to CaughtErrors.
// Base is QCoreApplication or QApplication.

#include "guarded.h"

#include <QLocale>
#include <QStringList>
#include <QTest>

#include <exception>

// The messages caught so far, in order.
inline QStringList CaughtErrors;

template <class Base> class TCatchingApp : public Base
{
public:
    TCatchingApp(int &argc, char **argv) : Base(argc, argv)
    {
        SetHandlerErrorSink([](const QString &m) { CaughtErrors << m; });
    }
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return Base::notify(receiver, event);
        } catch (const std::exception &e) {
            CaughtErrors << QString::fromUtf8(e.what());
            return false;
        }
    }
};

// main() for a test whose handlers may throw: the catching application, the C locale.
#define CATCHING_TEST_MAIN(AppBase, TestClass)                                                     \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TCatchingApp<AppBase> app(argc, argv);                                                     \
        QLocale::setDefault(QLocale::c());                                                         \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
