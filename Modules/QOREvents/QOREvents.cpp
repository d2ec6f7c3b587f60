// The event record, the global queue and its pump.
//
// [SECTION] Index
//   Event record   - construction, copies, owned string slots
//   Queue          - the two lists, push, pop, pass brackets
//   Running        - QORProcessEventNow and the pump
#include "QOREvents.h"

#include "OS.h"
#include "QORMemory.h"
#include "QORNewStaticList.h"
#include "QORThingy.h"

#include <cassert>
#include <cstring>

namespace {

char* CopyText(const char* text)
{
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(QORalloc(length + 1, false));
    std::memcpy(copy, text, length + 1);
    return copy;
}

// [SECTION] Queue

// A queue list owns the events it holds.
struct TEventListDeleter {
    void operator()(TQORNewStaticList<TQOREvent*>* list) const
    {
        for (TQOREvent* event : *list) delete event;
        delete list;
    }
};
using TEventList = std::unique_ptr<TQORNewStaticList<TQOREvent*>, TEventListDeleter>;

TEventList Events;       // waiting events, oldest first
TEventList TempEvents;   // events pushed during the current pump pass
bool CurrentlyProcessngEvents = false;
TQOREventFunction fOnPushEvent = nullptr;
// Start-up installs the central command handler; until then an event without a
// callback is left unhandled.
TQOREventFunction MainFunction = nullptr;
// The window layer's request for another frame; null: nobody to tell.
void (*RedisplayFunction)() = nullptr;

void CreateListsIfMissing()
{
    if (!Events) Events.reset(new TQORNewStaticList<TQOREvent*>(1));
    if (!TempEvents) TempEvents.reset(new TQORNewStaticList<TQOREvent*>(1));
}

bool RunEvent(TQOREvent* event)
{
    if (event->callback) return event->callback(event);
    if (MainFunction) return MainFunction(event);
    return false;
}

}  // namespace

// [SECTION] Event record

void TQOREvent::TStringDeleter::operator()(char* text) const { QORfree(text, 0); }

TQOREvent::TQOREvent(TQOREventFunction callback_, uint32_t ownerID_, int32_t command_)
    : command(command_), ownerID(ownerID_), callback(callback_)
{
}

TQOREvent::TQOREvent(int32_t command_) : TQOREvent(nullptr, 0, command_) {}

TQOREvent::TQOREvent(TQOREvent* source) : TQOREvent(nullptr, 0, -1) { Copy(source); }

void TQOREvent::Copy(TQOREvent* source)
{
    assert(source && "TQOREvent::Copy needs a source event");
    if (source == this) return;
    operationMode = source->operationMode;
    command = source->command;
    for (int i = 0; i < ParameterCount; ++i) {
        stringParameters[size_t(i)].reset(CopyText(source->stringParameters[size_t(i)].get()));
        intParameters[size_t(i)] = source->intParameters[size_t(i)];
        floatParameters[size_t(i)] = source->floatParameters[size_t(i)];
        idParameters[size_t(i)] = source->idParameters[size_t(i)];
    }
    callback = source->callback;
    index = source->index;
    ownerID = source->ownerID;
    x = source->x;
    y = source->y;
    mouseButton = source->mouseButton;
    mouseState = source->mouseState;
    dispatcherID = source->dispatcherID;
}

void TQOREvent::SetOwner(TQORThingy* owner)
{
    if (owner && !owner->IsRegisteredForLookup()) owner->RegisterForLookup();
    ownerID = owner ? owner->GetID() : 0;
}

void TQOREvent::SetDispatcher(TQORThingy* dispatcher)
{
    if (dispatcher && !dispatcher->IsRegisteredForLookup()) dispatcher->RegisterForLookup();
    dispatcherID = dispatcher ? dispatcher->GetID() : 0;
}

const char* TQOREvent::GetStringParameter(int i) const
{
    if (i < 0 || i >= ParameterCount) QORThrowException("i is out of range in TQOREvent::GetStringParameter(%d)", i);
    return stringParameters[size_t(i)].get();
}

void TQOREvent::AssignStringParameter(const char* text, int i)
{
    if (i < 0 || i >= ParameterCount) QORThrowException("i is out of range in TQOREvent::AddStringParameter()");
    stringParameters[size_t(i)].reset(CopyText(text));
}

// [SECTION] Queue

void QOREvents_PushEvent(TQOREvent* event)
{
    assert(event && "QOREvents_PushEvent needs an event");
    if (!event) return;
    CreateListsIfMissing();
    if (fOnPushEvent) fOnPushEvent(event);
    (CurrentlyProcessngEvents ? TempEvents : Events)->Add(event);
}

void QOREvents_PushEvent(int32_t command) { QOREvents_PushEvent(new TQOREvent(command)); }

TQOREvent* QOREvents_PopEvent()
{
    CreateListsIfMissing();
    if (Events->IsEmpty()) return nullptr;
    TQOREvent* event = (*Events)[0];
    Events->Delete(0);
    return event;
}

TQOREvent* QOREvents_PeekEvent(int i)
{
    CreateListsIfMissing();
    if (i < 0 || i >= Events->Count()) return nullptr;
    return (*Events)[i];
}

int QOREvents_GetEventCount()
{
    CreateListsIfMissing();
    return Events->Count();
}

void QOREvents_BeforeProcessEvents()
{
    CreateListsIfMissing();
    CurrentlyProcessngEvents = true;
}

void QOREvents_AfterProcessEvents()
{
    CreateListsIfMissing();
    CurrentlyProcessngEvents = false;
    for (TQOREvent* event : *TempEvents) Events->Add(event);
    TempEvents->Clear();
}

void QOREvents_Clean()
{
    Events.reset();
    TempEvents.reset();
}

void QOREvents_AssignOnPushEvent(TQOREventFunction hook) { fOnPushEvent = hook; }

void QOREvents_SetMainFunction(TQOREventFunction function) { MainFunction = function; }

void QOREvents_SetRedisplayFunction(void (*function)()) { RedisplayFunction = function; }

int EventsProcessedThisTime = 0;

// [SECTION] Running

bool QORProcessEventNow(TQOREvent* event)
{
    assert(event && "QORProcessEventNow needs an event");
    return RunEvent(event);
}

bool QORProcessEventNow(TQOREventFunction callback, uint32_t ownerID, int32_t command)
{
    TQOREvent event(callback, ownerID, command);
    return RunEvent(&event);
}

void KestruneEvents_ProcessEvents()
{
    // Closes the pass however the handlers leave it, so later pushes reach the
    // queue again and the OS layer is not left busy.
    struct TPassBracket {
        TPassBracket()
        {
            OS.InProgress();
            QOREvents_BeforeProcessEvents();
        }
        ~TPassBracket()
        {
            QOREvents_AfterProcessEvents();
            OS.NotInProgress();
        }
    } bracket;

    EventsProcessedThisTime = 0;
    while (std::unique_ptr<TQOREvent> event{QOREvents_PopEvent()}) {
        RunEvent(event.get());
        ++EventsProcessedThisTime;
    }
    if (EventsProcessedThisTime > 0 && RedisplayFunction) RedisplayFunction();
}
