#include "afsafesync.h"

#include "guarded.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

const QEvent::Type HandOverEvent = QEvent::Type(QEvent::registerEventType());

// One event on its way to the interface thread. All fields are guarded by the table mutex.
struct HandOverRecord
{
    uint32_t Id = 0;
    TAfSyncData Data;
    bool Done = false;
    bool Cancelled = false;
    std::condition_variable Finished;
};

struct SyncSlot
{
    bool Used = false;
    bool Enabled = false;
    uint32_t Id = 0;
    TAfSyncCallback Callback;
};

class SafeSyncReceiver;

struct SyncTable
{
    std::mutex Mutex;
    SyncSlot Slots[AfSafeSync::SlotCount];
    uint32_t NextId = 1;
    // Records in the order their events were posted; each posted event takes the oldest.
    // Kept here rather than in the event so that only our mutex orders the threads' access.
    std::deque<std::shared_ptr<HandOverRecord>> Pending;
    int Waiting = 0;
    uint64_t Unknown = 0;
    AfSafeSync::TAfHandOverCounts Counts;
    SafeSyncReceiver *Receiver = nullptr;

    SyncSlot *Find(uint32_t id)
    {
        if (id == 0)
            return nullptr;
        for (SyncSlot &s : Slots)
            if (s.Used && s.Id == id)
                return &s;
        return nullptr;
    }

    // Releases every port thread waiting on the slot and makes its queued events void.
    void CancelAll(uint32_t id)
    {
        for (const auto &r : Pending)
            if (r->Id == id && !r->Done) {
                r->Cancelled = true;
                r->Finished.notify_all();
            }
    }
};

SyncTable &Table()
{
    static SyncTable table;
    return table;
}

// The interface thread's end of the hand-over.
class SafeSyncReceiver : public QObject
{
public:
    explicit SafeSyncReceiver(QObject *parent) : QObject(parent)
    {
        setObjectName(QStringLiteral("AfSafeSyncObjWnd"));
    }
    ~SafeSyncReceiver() override
    {
        SyncTable &t = Table();
        std::lock_guard lock(t.Mutex);
        if (t.Receiver == this)
            t.Receiver = nullptr;
        for (const auto &r : t.Pending) {
            r->Cancelled = true;
            r->Finished.notify_all();
        }
        t.Pending.clear();
    }

protected:
    bool event(QEvent *e) override
    {
        // The event was made and posted under the table mutex; taking it before looking at
        // the event orders this thread after the poster for the thread checker too, which
        // cannot see the locks inside the event queue.
        SyncTable &t = Table();
        std::unique_lock lock(t.Mutex);
        if (e->type() != HandOverEvent) {
            lock.unlock();
            return QObject::event(e);
        }
        if (t.Pending.empty())
            return true;
        const std::shared_ptr<HandOverRecord> rec = t.Pending.front();
        t.Pending.pop_front();
        SyncSlot *slot = t.Find(rec->Id);
        if (!slot)
            ++t.Unknown;
        if (!slot || !slot->Enabled || rec->Cancelled || !slot->Callback) {
            rec->Done = true;
            rec->Finished.notify_all();
            return true;
        }
        const TAfSyncCallback callback = slot->Callback;
        const TAfSyncData data = rec->Data;
        lock.unlock();

        // The waiting thread is released however the handler ends, before an error of the
        // handler is reported: the report may wait for the operator.
        std::exception_ptr error;
        try {
            callback(data);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard l(t.Mutex);
            rec->Done = true;
            rec->Finished.notify_all();
        }
        if (error)
            Guarded([&] { std::rethrow_exception(error); });
        return true;
    }
};

} // namespace

namespace AfSafeSync {

uint32_t Register(TAfSyncCallback callback)
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    SyncSlot *free = nullptr;
    for (SyncSlot &s : t.Slots)
        if (!s.Used) {
            free = &s;
            break;
        }
    if (!free)
        throw EAfSafeSyncError("Too many port components (at most 64)");
    if (!t.Receiver) {
        QCoreApplication *app = QCoreApplication::instance();
        if (app && app->thread() == QThread::currentThread())
            t.Receiver = new SafeSyncReceiver(app); // dies with the application
        else
            t.Receiver = new SafeSyncReceiver(nullptr); // lives for the process
    }
    uint32_t id = t.NextId;
    while (id == 0 || t.Find(id))
        ++id;
    t.NextId = id + 1;
    free->Used = true;
    free->Enabled = false;
    free->Id = id;
    free->Callback = std::move(callback);
    return id;
}

void Unregister(uint32_t id)
{
    TAfSyncCallback old;
    {
        SyncTable &t = Table();
        std::lock_guard lock(t.Mutex);
        SyncSlot *s = t.Find(id);
        if (!s)
            return;
        t.CancelAll(id);
        old = std::move(s->Callback);
        *s = SyncSlot();
    }
}

void SetEnabled(uint32_t id, bool enabled)
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    SyncSlot *s = t.Find(id);
    if (!s)
        return;
    s->Enabled = enabled;
    if (!enabled)
        t.CancelAll(id);
}

bool IsEnabled(uint32_t id)
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    const SyncSlot *s = t.Find(id);
    return s && s->Enabled;
}

namespace {

TAfHandOverResult Counted(SyncTable &t, TAfHandOverResult r)
{
    switch (r) {
    case TAfHandOverResult::Delivered:
        ++t.Counts.Delivered;
        break;
    case TAfHandOverResult::TimedOut:
        ++t.Counts.TimedOut;
        break;
    case TAfHandOverResult::Dropped:
        ++t.Counts.Dropped;
        break;
    }
    return r;
}

} // namespace

TAfHandOverResult HandOver(uint32_t id, const TAfSyncData &data, int timeoutMs)
{
    SyncTable &t = Table();
    std::unique_lock lock(t.Mutex);
    SyncSlot *slot = t.Find(id);
    if (!slot || !slot->Enabled || !t.Receiver)
        return Counted(t, TAfHandOverResult::Dropped);

    if (t.Receiver->thread() == QThread::currentThread()) {
        const TAfSyncCallback callback = slot->Callback;
        lock.unlock();
        if (callback)
            callback(data);
        lock.lock();
        slot = t.Find(id);
        return Counted(t, slot && slot->Enabled ? TAfHandOverResult::Delivered
                                                : TAfHandOverResult::Dropped);
    }

    auto rec = std::make_shared<HandOverRecord>();
    rec->Id = id;
    rec->Data = data;
    t.Pending.push_back(rec);
    QCoreApplication::postEvent(t.Receiver, new QEvent(HandOverEvent));
    ++t.Waiting;
    rec->Finished.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                           [&] { return rec->Done || rec->Cancelled; });
    --t.Waiting;
    slot = t.Find(id);
    if (rec->Cancelled || !slot || !slot->Enabled)
        return Counted(t, TAfHandOverResult::Dropped);
    return Counted(t, rec->Done ? TAfHandOverResult::Delivered : TAfHandOverResult::TimedOut);
}

TAfHandOverCounts HandOverCounts()
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    return t.Counts;
}

int UsedSlots()
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    int n = 0;
    for (const SyncSlot &s : t.Slots)
        n += s.Used ? 1 : 0;
    return n;
}

int WaitingHandOvers()
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    return t.Waiting;
}

uint64_t UnknownIdCount()
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    return t.Unknown;
}

void SetNextId(uint32_t id)
{
    SyncTable &t = Table();
    std::lock_guard lock(t.Mutex);
    t.NextId = id;
}

} // namespace AfSafeSync
