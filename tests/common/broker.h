#pragma once

// A real Mosquitto broker on a free local port for the network tests and benchmarks, and the
// Mosquitto command-line clients as the far end.

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace broker {

// True when something accepts connections on the local port.
inline bool Listening(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A port nobody listens on now: the system's pick for a socket bound to port 0.
inline int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

class Broker
{
public:
    ~Broker() { Stop(); }
    int Port() const { return m_port; }

    // Starts the broker (again on the same port after Stop); with a user, only that user
    // with that password may connect; more: further lines for its listener (TLS). False
    // when it did not come up.
    bool Start(const QString &user = {}, const QString &password = {}, const QString &more = {})
    {
        if (!m_port)
            m_port = FreePort();
        QString conf = QStringLiteral("listener %1 127.0.0.1\n").arg(m_port);
        // Started as root, the broker would become another user who cannot read our files.
        if (geteuid() == 0)
            conf += QStringLiteral("user root\n");
        conf += more;
        if (user.isEmpty()) {
            conf += QStringLiteral("allow_anonymous true\n");
        } else {
            const QString file = m_dir.filePath(QStringLiteral("passwd"));
            QFile::remove(file);
            if (QProcess::execute(
                    QStringLiteral("mosquitto_passwd"),
                    {QStringLiteral("-c"), QStringLiteral("-b"), file, user, password}) != 0)
                return false;
            conf += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(file);
        }
        QFile f(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0)
            return false;
        f.close();
        m_proc.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), f.fileName()});
        return m_proc.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return Listening(m_port); }, 5000);
    }

    void Stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }

    // A self-signed certificate for 127.0.0.1 with its key, made in the broker's folder under
    // the given name; false when openssl failed.
    bool MakeCertificate(const QString &name)
    {
        return QProcess::execute(
                   QStringLiteral("openssl"),
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                    QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1"),
                    QStringLiteral("-keyout"), File(name + QStringLiteral(".key")),
                    QStringLiteral("-out"), File(name + QStringLiteral(".pem"))}) == 0;
    }
    QString File(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    int m_port = 0;
};

// mosquitto_sub -v on a topic filter: "topic payload" lines as they come.
class Subscriber
{
public:
    Subscriber(int port, const QString &filter, const QStringList &more = {})
    {
        m_proc.start(QStringLiteral("mosquitto_sub"),
                     QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("-p"), QString::number(port), QStringLiteral("-v"),
                                 QStringLiteral("-t"), filter} +
                         more);
        m_proc.waitForStarted(5000);
    }
    ~Subscriber()
    {
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }

    QStringList Lines()
    {
        m_text += QString::fromUtf8(m_proc.readAllStandardOutput());
        return m_text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Waits for a line that holds every one of the parts; true when it came.
    bool WaitFor(const QStringList &parts, int ms = 8000)
    {
        return QTest::qWaitFor([&] { return Find(parts) >= 0; }, ms);
    }
    int Find(const QStringList &parts)
    {
        const QStringList lines = Lines();
        for (int i = 0; i < lines.size(); ++i)
            if (std::all_of(parts.begin(), parts.end(),
                            [&](const QString &p) { return lines[i].contains(p); }))
                return i;
        return -1;
    }

private:
    QProcess m_proc;
    QString m_text;
};

// mosquitto_pub of one message; true when it was delivered to the broker.
inline bool Publish(int port, const QString &topic, const QByteArray &message, bool retain = false)
{
    QStringList args{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-p"), QString::number(port),
                     QStringLiteral("-q"), QStringLiteral("1"),
                     QStringLiteral("-t"), topic,
                     QStringLiteral("-m"), QString::fromUtf8(message)};
    if (retain)
        args << QStringLiteral("-r");
    return QProcess::execute(QStringLiteral("mosquitto_pub"), args) == 0;
}

} // namespace broker
