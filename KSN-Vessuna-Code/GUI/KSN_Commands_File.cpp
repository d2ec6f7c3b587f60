// Project file commands (365-409).
#include "KestruneEvents.h"

#include "QOREvents.h"

bool Kestrune_Events_FileIOCB(TQOREvent* event)
{
    if (!event) return false;
    switch (event->GetCommand()) {
    case 369: return true;
    default: return false;
    }
}
