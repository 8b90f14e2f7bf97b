#include "afcircularbuffer.h"
#include "serialtestsupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <deque>

namespace {

// Takes everything out the way the write thread does: contiguous part, then remove it.
QByteArray Drain(TAfCircularBuffer &r, int *pieces = nullptr)
{
    QByteArray out;
    int n = 0;
    while (r.Used() > 0) {
        const int len = r.ContiguousUsed();
        out.append(r.ContiguousStart(), len);
        if (!r.Remove(len))
            break;
        ++n;
    }
    if (pieces)
        *pieces = n;
    return out;
}

} // namespace

class TestAfCircularBuffer : public QObject
{
    Q_OBJECT

private slots:
    void exactFillAndRefusal()
    {
        TAfCircularBuffer r(2048);
        QCOMPARE(r.Used(), 0);
        QCOMPARE(r.Free(), 2048);

        QVERIFY(!r.Put(Pattern(2049).constData(), 2049));
        QCOMPARE(r.Used(), 0); // nothing of a refused block is kept

        const QByteArray all = Pattern(2048);
        QVERIFY(r.Put(all.constData(), 2048));
        QCOMPARE(r.Used(), 2048); // full although the indexes are equal
        QCOMPARE(r.Free(), 0);
        QCOMPARE(r.ContiguousUsed(), 2048);
        QVERIFY(!r.Put("x", 1));
        QCOMPARE(Drain(r), all);
        QCOMPARE(r.Used(), 0);
    }

    void refusals_data()
    {
        QTest::addColumn<int>("prefill");
        QTest::addColumn<int>("put");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("nothing") << 0 << 0 << false;
        QTest::newRow("negative") << 10 << -1 << false;
        QTest::newRow("one too many") << 100 << 1949 << false;
        QTest::newRow("fills exactly") << 100 << 1948 << true;
        QTest::newRow("full, one byte") << 2048 << 1 << false;
    }
    void refusals()
    {
        QFETCH(int, prefill);
        QFETCH(int, put);
        QFETCH(bool, accepted);
        TAfCircularBuffer r(2048);
        if (prefill)
            QVERIFY(r.Put(Pattern(prefill).constData(), prefill));
        const QByteArray block = Pattern(put > 0 ? put : 1, 3);
        QCOMPARE(r.Put(block.constData(), put), accepted);
        QCOMPARE(r.Used(), accepted ? prefill + put : prefill);
        const QByteArray expected = accepted ? Pattern(prefill) + block : Pattern(prefill);
        QCOMPARE(Drain(r), expected);
    }

    void removeBounds()
    {
        TAfCircularBuffer r(16);
        QVERIFY(r.Put("abcdefgh", 8));
        QVERIFY(!r.Remove(9));
        QCOMPARE(r.Used(), 8);
        QVERIFY(r.Remove(0));
        QCOMPARE(r.Used(), 8);
        QVERIFY(r.Remove(3));
        QCOMPARE(QByteArray(r.ContiguousStart(), r.ContiguousUsed()), QByteArray("defgh"));

        // Removing nothing from a full ring leaves it full.
        TAfCircularBuffer f(4);
        QVERIFY(f.Put("wxyz", 4));
        QVERIFY(f.Remove(0));
        QCOMPARE(f.Used(), 4);
        QVERIFY(f.Remove(4));
        QCOMPARE(f.Used(), 0);
        QCOMPARE(f.Free(), 4);
    }

    void wrapAroundComesOutInTwoPiecesInOrder()
    {
        TAfCircularBuffer r(2048);
        const QByteArray first = Pattern(2000);
        QVERIFY(r.Put(first.constData(), 2000));
        QCOMPARE(Drain(r), first);

        const QByteArray text = Pattern(100, 5);
        QVERIFY(r.Put(text.constData(), 100));
        QCOMPARE(r.Used(), 100);
        QCOMPARE(r.ContiguousUsed(), 48); // up to the end of the block
        int pieces = 0;
        QCOMPARE(Drain(r, &pieces), text);
        QCOMPARE(pieces, 2);
    }

    void wrapToFull()
    {
        // The write index wraps onto the read index: full, not empty.
        TAfCircularBuffer r(10);
        QVERIFY(r.Put("0123456", 7));
        QVERIFY(r.Remove(4));
        QVERIFY(r.Put("789ABCD", 7));
        QCOMPARE(r.Used(), 10);
        QCOMPARE(r.Free(), 0);
        QCOMPARE(r.ContiguousUsed(), 6);
        QCOMPARE(Drain(r), QByteArray("456789ABCD"));
    }

    void clear()
    {
        TAfCircularBuffer r(8);
        QVERIFY(r.Put("abcdefgh", 8));
        r.Clear();
        QCOMPARE(r.Used(), 0);
        QCOMPARE(r.Free(), 8);
        QVERIFY(r.Put("ij", 2));
        QCOMPARE(QByteArray(r.ContiguousStart(), r.ContiguousUsed()), QByteArray("ij"));
    }

    // Random puts and partial removals against a plain queue.
    void agreesWithAQueue()
    {
        QRandomGenerator rng(20240607);
        TAfCircularBuffer r(37);
        std::deque<char> model;
        char next = 0;
        for (int step = 0; step < 20000; ++step) {
            if (rng.bounded(2) == 0) {
                const int n = int(rng.bounded(45));
                QByteArray block(n, '\0');
                for (char &c : block)
                    c = next++;
                const bool ok = r.Put(block.constData(), n);
                QCOMPARE(ok, n >= 1 && n <= 37 - int(model.size()));
                if (ok)
                    model.insert(model.end(), block.begin(), block.end());
            } else {
                const int len = r.ContiguousUsed();
                QVERIFY(len <= int(model.size()));
                QVERIFY(model.empty() || len > 0);
                for (int i = 0; i < len; ++i)
                    QCOMPARE(r.ContiguousStart()[i], model[size_t(i)]);
                const int n = len ? int(rng.bounded(len + 1)) : 0;
                QVERIFY(r.Remove(n));
                model.erase(model.begin(), model.begin() + n);
            }
            QCOMPARE(r.Used(), int(model.size()));
            QCOMPARE(r.Free(), 37 - int(model.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestAfCircularBuffer)
#include "tst_afcircularbuffer.moc"
