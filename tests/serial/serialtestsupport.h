#pragma once

// Shared pieces of the serial tests: a pseudo-terminal pair standing in for a serial line,
// a settings file naming the ports, a byte pattern, a wait that keeps the interface thread busy,
// and the application that catches what a handler throws (as the program's default error handler
// does).

#include "catchingapp.h"
#include "testfiles.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTest>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <map>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) {
            m_slavePath = name;
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool Valid() const { return m_master >= 0; }
    const QByteArray &SlavePath() const { return m_slavePath; }
    int Slave() const { return m_slave; } // the test's own handle, for reading the settings

    // The far end of the line.
    bool Write(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything that arrives within timeoutMs, stopping early once `want` bytes are in.
    QByteArray Read(int want, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < want && t.elapsed() < timeoutMs) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, int(n));
            }
        }
        return got;
    }
    // Unplugs the line: the port's side sees a hang-up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_slavePath;
};

// Writes a settings file with a "Ports" section naming COM numbers' devices (CR LF, like
// the program's own settings file, with a CP1250 text in another section).
inline bool WritePortMap(const QString &path, const std::map<int, QByteArray> &ports)
{
    QByteArray text = "[Setup]\r\nLang=cz\r\nPath=/home/\xE8\x9Atina\r\n\r\n[Ports]\r\n";
    for (const auto &[number, device] : ports)
        text += "COM" + QByteArray::number(number) + "=" + device + "\r\n";
    return WriteFile(path, text);
}

inline int OpenFdCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}

// n bytes that run through every value, starting at offset: data a lost, doubled or
// reordered byte shows up in.
inline QByteArray Pattern(int n, int offset = 0)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char((i * 13 + offset) & 0xFF);
    return b;
}

// Waits without serving the interface thread's events, as a busy interface thread would.
inline bool WaitBlocked(const std::function<bool()> &condition, int timeoutMs = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
