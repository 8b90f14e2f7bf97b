// Characters that arrive one by one at the line's speed are gathered into fewer events for
// the interface thread: nothing may be lost or reordered by it, a long stream must still be
// reported as it comes, and closing the port in the middle of a burst must work.

#include "afcomport.h"
#include "serialtestsupport.h"

#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// The far end sending bytes one at a time, a character time (about 1 ms at 9600 bit/s)
// apart, on a thread of its own.
class Trickle
{
public:
    Trickle(PtyPair &pty, QByteArray bytes)
        : m_thread([this, &pty, bytes] {
              for (char c : bytes) {
                  if (m_stop)
                      break;
                  pty.Write(QByteArray(1, c));
                  std::this_thread::sleep_for(std::chrono::microseconds(1042));
              }
              m_done = true;
          })
    {
    }
    ~Trickle()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Done() const { return m_done; }

private:
    std::atomic<bool> m_stop{false}, m_done{false};
    std::thread m_thread;
};

} // namespace

class TestAfBurst : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<TAfComPort> m_port;
    QByteArray m_got;
    QList<int> m_counts;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir::setCurrent(m_dir->path());
        m_ini = m_dir->filePath(QStringLiteral("ardemo.INI"));
        AfSetPortMapFile(m_ini);
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->Valid());
        QVERIFY(WritePortMap(m_ini, {{1, m_pty->SlavePath()}}));
        m_port = std::make_unique<TAfComPort>();
        m_port->SetBaudRate(br9600);
        m_port->SetComNumber(1);
        m_got.clear();
        m_counts.clear();
        m_port->OnDataRecived = [this](QObject *, int32_t count) {
            m_counts << count;
            for (int i = 0; i < count; ++i)
                m_got += m_port->ReadChar();
        };
        m_port->Open();
        QVERIFY(m_port->Active());
    }
    void cleanup()
    {
        m_port.reset();
        m_pty.reset();
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }

    void replyComesWholeInFewerEvents()
    {
        const QByteArray reply("#05TYPZDR300-SVC1005\r");
        {
            Trickle t(*m_pty, reply);
            QTRY_VERIFY(t.Done());
        }
        QTRY_COMPARE(m_got, reply);
        // One event per character is what the gathering is there to avoid.
        QVERIFY2(m_counts.size() < reply.size(), qPrintable(QString::number(m_counts.size())));
    }

    void longStreamReportedAsItComes()
    {
        // 400 characters take about 400 ms at the line's speed: their events must not wait
        // for the end of the stream.
        const QByteArray stream = Pattern(400, 7);
        {
            Trickle t(*m_pty, stream);
            QTRY_VERIFY(t.Done());
        }
        QTRY_COMPARE(m_got, stream);
        // How many events a busy machine makes of it varies; what must not happen is one
        // event holding the whole stream, reported only once it had ended.
        QVERIFY2(m_counts.size() >= 2 && m_counts.first() < stream.size(),
                 qPrintable(QString::number(m_counts.size())));
    }

    void outBufFreeHandlerSetBetweenWrites()
    {
        // No listener at the first write: the notice may be left out. A listener set
        // afterwards hears the emptying after the next write.
        m_port->WriteString("@01ID?\r");
        QVERIFY(m_pty->Read(7, 3000).endsWith("@01ID?\r"));
        int free = 0;
        m_port->OnOutBufFree = [&free](QObject *) { ++free; };
        m_port->WriteString("@01NAP???\r");
        QTRY_VERIFY(free >= 1);
        m_port->OnOutBufFree = nullptr;
    }

    void closedInTheMiddleOfABurst()
    {
        Trickle t(*m_pty, Pattern(300, 3));
        QTRY_VERIFY(!m_got.isEmpty());
        m_port->Close();
        QVERIFY(!m_port->Active());
        // Open again, and a new reply still arrives whole.
        m_port->Open();
        QVERIFY(m_port->Active());
        QTRY_VERIFY(t.Done());
        m_got.clear();
        QVERIFY(m_pty->Write("#01OK\r"));
        QTRY_VERIFY(m_got.endsWith("#01OK\r"));
    }
};

QTEST_MAIN(TestAfBurst)
#include "tst_afburst.moc"
