// The widget tests' view of the event queue.
#pragma once

#include "QOREvents.h"

#include <vector>

// The commands of the queued events, oldest first; the queue is emptied.
inline std::vector<int> DrainCommands()
{
    std::vector<int> out;
    while (TQOREvent* e = QOREvents_PopEvent()) {
        out.push_back(e->GetCommand());
        delete e;
    }
    return out;
}
