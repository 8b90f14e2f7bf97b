#pragma once

// Runs the source simulator for a test or a benchmark and reads its frame log.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

struct SimFrame
{
    qint64 ms = 0;   // since the simulator started
    int line = 0;    // 1..
    QByteArray kind; // RX, TX, BAD
    QByteArray text; // with the carriage return as a real CR again
};

class SimProcess
{
public:
    ~SimProcess() { Stop(); }

    static QString Program()
    {
        const QString env = qEnvironmentVariable("ARDEMO_SIM");
        if (!env.isEmpty())
            return env;
        // Beside the build tree's tests and benchmarks.
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../../tools/ardemo-sim");
    }

    // Starts the simulator and waits for its "ready" line; the error text on failure.
    QString Start(const QString &logFile, const QStringList &args)
    {
        m_log = logFile;
        m_args = args;
        if (!QFileInfo::exists(Program()))
            return QStringLiteral("no simulator at ") + Program();
        m_proc.setProgram(Program());
        m_proc.setArguments(QStringList{QStringLiteral("--log"), logFile} + args);
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.start();
        if (!m_proc.waitForStarted(5000))
            return QStringLiteral("simulator did not start");
        QByteArray out;
        QDeadlineTimer deadline(10000);
        while (!out.contains("ready\n")) {
            if (deadline.hasExpired() || m_proc.state() != QProcess::Running)
                return QStringLiteral("simulator not ready: ") + QString::fromLocal8Bit(out) +
                       QString::fromLocal8Bit(m_proc.readAllStandardError());
            m_proc.waitForReadyRead(100);
            out += m_proc.readAllStandardOutput();
        }
        return {};
    }

    // Starts the simulator again with the same lines and sources (the same link paths),
    // logging to a new file; as after a device was unplugged and plugged in again.
    QString Restart(const QString &logFile)
    {
        Stop();
        return Start(logFile, m_args);
    }

    bool Running() const { return m_proc.state() == QProcess::Running; }
    qint64 Pid() const { return m_proc.processId(); }

    void Stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(5000)) {
            m_proc.kill();
            m_proc.waitForFinished(2000);
        }
    }

    QList<SimFrame> Frames() const
    {
        QList<SimFrame> r;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return r;
        for (const QByteArray &raw : f.readAll().split('\n')) {
            const QList<QByteArray> parts = raw.split(' ');
            if (parts.size() < 4)
                continue;
            SimFrame fr;
            fr.ms = parts[0].toLongLong();
            fr.line = parts[1].toInt();
            fr.kind = parts[2];
            fr.text = raw.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3);
            fr.text.replace("\\r", "\r");
            r << fr;
        }
        return r;
    }

    // The frames the sources of a line received, in order.
    QList<QByteArray> Received(int line) const
    {
        QList<QByteArray> r;
        for (const SimFrame &f : Frames())
            if (f.line == line && f.kind == "RX")
                r << f.text;
        return r;
    }

private:
    QProcess m_proc;
    QString m_log;
    QStringList m_args;
};
