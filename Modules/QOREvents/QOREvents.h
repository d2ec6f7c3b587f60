// Events and the command queue.
//
// Everything the user asks for becomes a TQOREvent: a command id, optionally a
// callback that handles it, the IDs of the object it acts on and of the widget
// that sent it, a mouse position and sixteen string, integer, float and object-ID
// parameters. An event is either run at once (QORProcessEventNow) or pushed on
// the one global first-in first-out queue, which the pump
// (KestruneEvents_ProcessEvents) empties once per painted frame.
//
// Invariants:
// - The queue owns the events in it; QOREvents_PopEvent hands one to the caller,
//   who deletes it. Widget templates are never pushed themselves, only copies.
// - Events run in the order they were pushed. Events pushed while the pump runs
//   wait in a side list and join the end of the queue when the pass ends, so a
//   handler can ask for more work without re-entering the handlers.
// - An event owns its string parameters: each is its own copy, released with
//   the event or when the slot is reassigned; copying an event copies them.
// - The queue takes no lock: it is used on the main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

class TQORThingy;
class TQOREvent;

// A command callback: true when it handled the event.
typedef bool (*TQOREventFunction)(TQOREvent* event);

class TQOREvent {
public:
    static constexpr int ParameterCount = 16;

    TQOREvent(TQOREventFunction callback, uint32_t ownerID, int32_t command);
    explicit TQOREvent(int32_t command);
    // A copy of source as Copy() makes it.
    explicit TQOREvent(TQOREvent* source);
    ~TQOREvent() = default;

    // Shallow copies would share the strings; copies go through Copy().
    TQOREvent(const TQOREvent&) = delete;
    TQOREvent& operator=(const TQOREvent&) = delete;

    // Copies the operation mode, command, every parameter slot (strings as fresh
    // copies, replacing the target's), callback, index, owner, position, mouse
    // button and state and dispatcher. The absolute position is not copied.
    void Copy(TQOREvent* source);

    // Store the object's ID (0 for null), registering it for lookup first so the
    // handler can find it again with __GetThingyFromID.
    void SetOwner(TQORThingy* owner);
    void SetDispatcher(TQORThingy* dispatcher);

    uint32_t GetOwnerID() const { return ownerID; }
    int32_t GetCommand() const { return command; }
    int32_t GetX() const { return x; }
    int32_t GetY() const { return y; }
    void SetX(int32_t value) { x = value; }
    void SetY(int32_t value) { y = value; }
    void SetXAbs(int32_t value) { xAbs = value; }
    void SetYAbs(int32_t value) { yAbs = value; }
    uint8_t GetMouseButton() const { return mouseButton; }
    void SetMouseButton(uint8_t value) { mouseButton = value; }
    uint8_t GetMouseState() const { return mouseState; }
    void SetMouseState(uint8_t value) { mouseState = value; }
    int32_t GetIndex() const { return index; }
    void SetIndex(int32_t value) { index = value; }
    void SetWidth(int32_t width) { intParameters[2] = width; }
    void SetHeight(int32_t height) { intParameters[3] = height; }

    // The text in slot i, or null. Throws (QORThrowException) for i outside 0..15.
    const char* GetStringParameter(int i) const;
    // Replaces slot i by a copy of text (null empties it). Throws (QORThrowException)
    // for i outside 0..15 and then changes nothing.
    void AssignStringParameter(const char* text, int i);

    // Fields in record order; the handlers read and write them directly.
    int32_t x = 0, y = 0;                  // mouse position, window pixels
    int32_t xAbs = 0, yAbs = 0;            // mouse position, screen pixels
    uint8_t mouseButton = 0, mouseState = 0;
    int32_t command = 0;                   // list callbacks: 0 name, 1 hint, 2 current index, 3 set index, 4 count
    int32_t index = -1;                    // list index for list callbacks

private:
    struct TStringDeleter {
        void operator()(char* text) const;
    };
    std::array<std::unique_ptr<char, TStringDeleter>, ParameterCount> stringParameters;

public:
    uint32_t dispatcherID = 0;             // widget or object that sent the event; 0 none
    uint32_t ownerID = 0;                  // object the event acts on; 0 none
    std::array<int32_t, ParameterCount> intParameters{};     // [0] answers, [2] width, [3] height
    std::array<float, ParameterCount> floatParameters{};     // [0] gauge and edit-field values
    std::array<uint32_t, ParameterCount> idParameters{};     // object IDs
    int32_t operationMode = 0;             // 0 report the current value into the event, 1 apply the event's value
    TQOREventFunction callback = nullptr;
};

// [Queue]

// Shows the event to the push hook, then queues it; the queue takes ownership.
// While the pump runs the event waits for the next pass.
void QOREvents_PushEvent(TQOREvent* event);
// Pushes a new event with only that command.
void QOREvents_PushEvent(int32_t command);
// Removes and returns the oldest waiting event (the caller deletes it), or null.
TQOREvent* QOREvents_PopEvent();
// The waiting event at place i (0 the oldest) without removing it, or null.
TQOREvent* QOREvents_PeekEvent(int i);
// Waiting events, not counting those pushed during the current pump pass.
int QOREvents_GetEventCount();
// Start and end of a pump pass; the end moves the events pushed during the
// pass, in their order, to the end of the queue.
void QOREvents_BeforeProcessEvents();
void QOREvents_AfterProcessEvents();
// Deletes every queued event, run or not (on the way out of the program).
void QOREvents_Clean();
// The hook is shown every pushed event; its answer changes nothing.
void QOREvents_AssignOnPushEvent(TQOREventFunction hook);
// Runs every event that has no callback of its own. Start-up installs the
// central command handler here; null leaves such events unhandled.
void QOREvents_SetMainFunction(TQOREventFunction function);
// Called after a pump pass that ran at least one event (the window layer posts
// a redisplay there); null: nothing is called.
void QOREvents_SetRedisplayFunction(void (*function)());

// [Running at once]

// The event's callback, else the main function; false when neither exists.
// The event stays the caller's.
bool QORProcessEventNow(TQOREvent* event);
// The same for a temporary event with that callback, owner and command.
bool QORProcessEventNow(TQOREventFunction callback, uint32_t ownerID, int32_t command);

// [Pump]

// Runs every waiting event once, oldest first (its callback, else the main
// function) and deletes it; events pushed meanwhile wait for the next call.
// Marks the OS layer busy while it runs. The queue is left consistent and the
// running event deleted when a handler throws.
void KestruneEvents_ProcessEvents();
// Events the current (or last) pump pass has run; nested QORProcessEventNow
// calls are not counted.
extern int EventsProcessedThisTime;
