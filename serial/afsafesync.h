#pragma once

// Hand-over of port events to the interface thread.
//
// One process-wide table of 64 slots, one per port component. A port thread hands an event
// of its slot over and waits (at most the given time) until the interface thread has run the
// slot's callback; a disabled slot drops its events at once, which is what lets a port close
// while its event thread is waiting here.

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>

class EAfSafeSyncError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What travels with one hand-over: the event kind, its data word and, for a failure raised
// on a port thread, the exception to raise again on the interface thread.
struct TAfSyncData
{
    int32_t Kind = 0;
    uint32_t Data = 0;
    std::exception_ptr Error;
};

using TAfSyncCallback = std::function<void(const TAfSyncData &)>;

enum class TAfHandOverResult {
    Delivered, // the interface thread ran the callback
    TimedOut,  // still queued: it runs when the interface thread gets to it
    Dropped    // slot disabled or gone: the event is lost
};

namespace AfSafeSync {

constexpr int SlotCount = 64;

// Registers a disabled slot on the interface thread (the calling thread, or the
// application's thread when there is one). Throws EAfSafeSyncError when all slots are taken.
uint32_t Register(TAfSyncCallback callback);
void Unregister(uint32_t id);
void SetEnabled(uint32_t id, bool enabled);
bool IsEnabled(uint32_t id);

// Runs the slot's callback on the interface thread and waits for it at most timeoutMs.
// Called on the interface thread itself, it runs the callback directly.
TAfHandOverResult HandOver(uint32_t id, const TAfSyncData &data, int timeoutMs);

struct TAfHandOverCounts
{
    uint64_t Delivered = 0;
    uint64_t TimedOut = 0;
    uint64_t Dropped = 0;
};

int UsedSlots();
TAfHandOverCounts HandOverCounts(); // outcomes of HandOver since the process started
int WaitingHandOvers();             // port threads blocked in HandOver right now
uint64_t UnknownIdCount();          // hand-overs that arrived for a slot no longer registered
void SetNextId(uint32_t id);        // where the id counter goes on (0 is skipped)

} // namespace AfSafeSync
