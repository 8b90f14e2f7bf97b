#include "services.h"

#include <QtGlobal>

TServices &Services()
{
    static TServices services;
    return services;
}

void ResetServices()
{
    Services() = TServices{};
}

TAfComPort *LinePort(int Line)
{
    return Services().Port ? Services().Port(Line) : nullptr;
}

uint32_t TickPeriod()
{
    const uint32_t ms = Services().TickPeriod ? Services().TickPeriod() : 25;
    return ms > 0 ? ms : 1;
}

void NoteChange(int Slot)
{
    if (Services().Changed)
        Services().Changed(Slot);
}
