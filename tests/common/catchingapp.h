#pragma once

// An application that treats an error escaping an event handler as the program's default
// error handler does (the handler ends, the program goes on), keeping the message for the
// test instead of showing it. Base is QCoreApplication or QApplication.

#include <QLocale>
#include <QStringList>
#include <QTest>

#include <exception>

// The messages caught so far, in order.
inline QStringList CaughtErrors;

template <class Base> class TCatchingApp : public Base
{
public:
    using Base::Base;
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
