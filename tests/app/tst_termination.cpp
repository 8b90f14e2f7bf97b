// The program asked to end from outside (Ctrl+C, SIGTERM, a closed session) ends the orderly
// way: its settings are written as at the end button.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TstTermination : public QObject
{
    Q_OBJECT
private slots:
    void signalEndsTheRunAndSavesSettings_data();
    void signalEndsTheRunAndSavesSettings();
};

void TstTermination::signalEndsTheRunAndSavesSettings_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TstTermination::signalEndsTheRunAndSavesSettings()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A copy of the program keeps its settings file beside it, in the temporary folder.
    const QString exe = dir.filePath(QStringLiteral("ardemo"));
    QVERIFY(QFile::copy(QStringLiteral(ARDEMO_EXE), exe));
    const QString ini = dir.filePath(QStringLiteral("ardemo.INI"));
    {
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Setup]\r\nLang=en\r\nMaxX=77\r\n[Ports]\r\nCOM1=/dev/null\r\n");
    }

    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(exe, {});
    QVERIFY(p.waitForStarted());
    // Give the main window time to come up and tick.
    QTest::qWait(1500);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY2(text.contains("Lang=en\r\n"), text.constData());
    QVERIFY2(text.contains("MaxX=77\r\n"), text.constData());
    QVERIFY2(text.contains("MaxY=300\r\n"), text.constData()); // written at the end
    QVERIFY2(text.contains("[Ports]\r\nCOM1=/dev/null\r\n"), text.constData());
}

QTEST_GUILESS_MAIN(TstTermination)
#include "tst_termination.moc"
