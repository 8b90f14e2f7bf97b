#include "afcomport.h"
#include "afsafesync.h"
#include "serialtestsupport.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Recorder
{
    std::vector<TAfSyncData> Calls;
    std::vector<bool> OnInterfaceThread;
    TAfSyncCallback Callback()
    {
        return [this](const TAfSyncData &d) {
            Calls.push_back(d);
            OnInterfaceThread.push_back(QThread::currentThread() ==
                                        QCoreApplication::instance()->thread());
        };
    }
};

} // namespace

class TestAfSafeSync : public QObject
{
    Q_OBJECT

private slots:
    void idsStartAtOneAndSkipZero()
    {
        const uint32_t a = AfSafeSync::Register({});
        const uint32_t b = AfSafeSync::Register({});
        QCOMPARE(a, 1u);
        QCOMPARE(b, 2u);
        AfSafeSync::Unregister(a);
        AfSafeSync::Unregister(b);

        AfSafeSync::SetNextId(0xFFFFFFFFu);
        const uint32_t last = AfSafeSync::Register({});
        const uint32_t wrapped = AfSafeSync::Register({});
        QCOMPARE(last, 0xFFFFFFFFu);
        QCOMPARE(wrapped, 1u);
        AfSafeSync::Unregister(last);
        AfSafeSync::Unregister(wrapped);
        QCOMPARE(AfSafeSync::UsedSlots(), 0);
    }

    void tableOf64()
    {
        std::vector<uint32_t> ids;
        while (AfSafeSync::UsedSlots() < AfSafeSync::SlotCount)
            ids.push_back(AfSafeSync::Register({}));
        QCOMPARE(int(ids.size()), 64);
        QVERIFY_THROWS_EXCEPTION(EAfSafeSyncError, AfSafeSync::Register({}));
        QVERIFY_THROWS_EXCEPTION(EAfSafeSyncError, TAfComPort port);
        QCOMPARE(AfSafeSync::UsedSlots(), 64);

        AfSafeSync::Unregister(ids.back());
        ids.pop_back();
        {
            TAfComPort port; // a freed slot serves again
            QCOMPARE(AfSafeSync::UsedSlots(), 64);
        }
        for (uint32_t id : ids)
            AfSafeSync::Unregister(id);
        QCOMPARE(AfSafeSync::UsedSlots(), 0);
    }

    void deliveredOnInterfaceThread()
    {
        Recorder rec;
        const uint32_t id = AfSafeSync::Register(rec.Callback());
        QVERIFY(!AfSafeSync::IsEnabled(id)); // registered disabled
        AfSafeSync::SetEnabled(id, true);

        std::atomic<int> result{-1};
        std::thread port([&] {
            result = int(AfSafeSync::HandOver(id, TAfSyncData{1, 0x1, nullptr}, 2000));
        });
        QTRY_COMPARE(result.load(), int(TAfHandOverResult::Delivered));
        port.join();
        QCOMPARE(rec.Calls.size(), size_t(1));
        QCOMPARE(rec.Calls[0].Kind, 1);
        QCOMPARE(rec.Calls[0].Data, 0x1u);
        QVERIFY(rec.OnInterfaceThread[0]);

        // On the interface thread itself the callback runs at once.
        QCOMPARE(AfSafeSync::HandOver(id, TAfSyncData{2, 7, nullptr}, 2000),
                 TAfHandOverResult::Delivered);
        QCOMPARE(rec.Calls.size(), size_t(2));
        AfSafeSync::Unregister(id);
    }

    void disabledSlotDropsAtOnce()
    {
        Recorder rec;
        const uint32_t id = AfSafeSync::Register(rec.Callback());
        TAfHandOverResult result = TAfHandOverResult::Delivered;
        std::thread port([&] { result = AfSafeSync::HandOver(id, TAfSyncData{}, 2000); });
        port.join(); // returns without the interface thread doing anything
        QCOMPARE(result, TAfHandOverResult::Dropped);
        QCoreApplication::processEvents();
        QVERIFY(rec.Calls.empty());
        AfSafeSync::Unregister(id);
    }

    void busyInterfaceThreadTimesOut()
    {
        Recorder rec;
        const uint32_t id = AfSafeSync::Register(rec.Callback());
        AfSafeSync::SetEnabled(id, true);
        TAfHandOverResult result = TAfHandOverResult::Dropped;
        std::chrono::milliseconds waited{};
        std::thread port([&] {
            const auto t0 = std::chrono::steady_clock::now();
            result = AfSafeSync::HandOver(id, TAfSyncData{2, 42, nullptr}, 2000);
            waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - t0);
        });
        std::this_thread::sleep_for(2400ms); // the interface thread is busy elsewhere
        port.join();
        QCOMPARE(result, TAfHandOverResult::TimedOut);
        QVERIFY2(waited >= 1900ms, "the port thread gave up before its limit");
        QVERIFY(rec.Calls.empty());

        // Handled late, still with its own data.
        QTRY_COMPARE(rec.Calls.size(), size_t(1));
        QCOMPARE(rec.Calls[0].Kind, 2);
        QCOMPARE(rec.Calls[0].Data, 42u);
        AfSafeSync::Unregister(id);
    }

    void disablingReleasesAWaitingThread()
    {
        Recorder rec;
        const uint32_t id = AfSafeSync::Register(rec.Callback());
        AfSafeSync::SetEnabled(id, true);
        const auto before = AfSafeSync::HandOverCounts();
        TAfHandOverResult result = TAfHandOverResult::Delivered;
        std::thread port([&] { result = AfSafeSync::HandOver(id, TAfSyncData{1, 1, {}}, 2000); });
        QVERIFY(WaitBlocked([] { return AfSafeSync::WaitingHandOvers() == 1; }));
        AfSafeSync::SetEnabled(id, false); // what closing the port does first
        port.join();
        QCOMPARE(result, TAfHandOverResult::Dropped);
        const auto after = AfSafeSync::HandOverCounts();
        QCOMPARE(after.TimedOut, before.TimedOut);
        QCOMPARE(after.Dropped, before.Dropped + 1);

        // The dropped event stays dropped, also once the slot is enabled again.
        AfSafeSync::SetEnabled(id, true);
        QCoreApplication::processEvents();
        QVERIFY(rec.Calls.empty());
        AfSafeSync::Unregister(id);
    }

    void unknownIdIsCountedAndIgnored()
    {
        Recorder rec;
        const uint32_t id = AfSafeSync::Register(rec.Callback());
        AfSafeSync::SetEnabled(id, true);
        const uint64_t unknown = AfSafeSync::UnknownIdCount();
        std::thread port([&] { AfSafeSync::HandOver(id, TAfSyncData{}, 50); });
        port.join(); // timed out: still queued for the interface thread
        AfSafeSync::Unregister(id);
        QCoreApplication::processEvents();
        QVERIFY(rec.Calls.empty());
        QCOMPARE(AfSafeSync::UnknownIdCount(), unknown + 1);
    }

    void handlerExceptionGoesToTheApplication()
    {
        const uint32_t id = AfSafeSync::Register(
            [](const TAfSyncData &) { throw std::runtime_error("handler failed"); });
        AfSafeSync::SetEnabled(id, true);
        CaughtErrors.clear();
        std::atomic<int> result{-1};
        std::thread port([&] { result = int(AfSafeSync::HandOver(id, TAfSyncData{}, 2000)); });
        QTRY_COMPARE(result.load(), int(TAfHandOverResult::Delivered)); // released all the same
        port.join();
        QCOMPARE(CaughtErrors, QStringList{QStringLiteral("handler failed")});
        AfSafeSync::Unregister(id);
    }

    // Several port threads at once: every event arrives once, in order per slot.
    void manyPortsAtOnce()
    {
        constexpr int Ports = 4, Events = 200;
        Recorder rec[Ports];
        uint32_t ids[Ports];
        for (int p = 0; p < Ports; ++p) {
            ids[p] = AfSafeSync::Register(rec[p].Callback());
            AfSafeSync::SetEnabled(ids[p], true);
        }
        std::atomic<int> finished{0};
        std::vector<std::thread> threads;
        for (int p = 0; p < Ports; ++p)
            threads.emplace_back([&, p] {
                for (int i = 0; i < Events; ++i)
                    AfSafeSync::HandOver(ids[p], TAfSyncData{p, uint32_t(i), nullptr}, 2000);
                ++finished;
            });
        QTRY_COMPARE(finished.load(), Ports);
        for (auto &t : threads)
            t.join();
        for (int p = 0; p < Ports; ++p) {
            QCOMPARE(int(rec[p].Calls.size()), Events);
            for (int i = 0; i < Events; ++i) {
                QCOMPARE(rec[p].Calls[size_t(i)].Kind, p);
                QCOMPARE(rec[p].Calls[size_t(i)].Data, uint32_t(i));
            }
            AfSafeSync::Unregister(ids[p]);
        }
    }
};

CATCHING_TEST_MAIN(QCoreApplication, TestAfSafeSync)
#include "tst_afsafesync.moc"
