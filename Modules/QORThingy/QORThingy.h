// Identified objects and the ID registry.
//
// Every object that others must be able to name later derives from TQORThingy
// and so carries a process-unique 32-bit ID. Objects refer to each other by ID,
// never by owning pointer, and turn an ID back into an object through
// __GetThingyFromID each time they need it: once the object is destroyed the
// lookup yields null, so a stale reference is harmless.
//
// Invariants:
// - IDs start at 1, rise by one for every thingy constructed (registered or
//   not) and are never reused within a run; ID 0 means "no object".
// - An object is in the registry from RegisterForLookup until its destructor;
//   the registry never holds a destroyed object.
// - The ID counter and the registry are guarded by one mutex, so construction,
//   registration, lookup and destruction may happen on any thread. Names and
//   hints are not guarded: they belong to the thread that owns the object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The one limit for names, in bytes, everywhere a name is stored or generated:
// names must fit the 1000-byte fields of messages and legacy chunks.
inline constexpr size_t QORMaxNameLength = 999;

// The longest prefix of text of at most maxBytes bytes that ends on a whole
// UTF-8 character, so a cut name never holds half of one.
std::string_view QORUtf8Prefix(std::string_view text, size_t maxBytes);

// The empty common root of every identified object.
class TQOR_Atom {
public:
    TQOR_Atom() = default;
    ~TQOR_Atom() = default;
};

class TQORThingy : public virtual TQOR_Atom {
public:
    TQORThingy();
    virtual ~TQORThingy();

    TQORThingy(const TQORThingy&) = delete;
    TQORThingy& operator=(const TQORThingy&) = delete;

    // Never null; valid until the next SetName/SetHint or the object's end.
    virtual const char* GetName() const { return name.c_str(); }
    // printf-style; a null format changes nothing. Names longer than
    // QORMaxNameLength bytes are cut there, never inside a UTF-8 character.
    __attribute__((format(printf, 2, 3))) virtual void SetName(const char* format, ...);
    // printf-style; a null format changes nothing. Hints are stored whole.
    __attribute__((format(printf, 2, 3))) virtual void SetHint(const char* format, ...);
    virtual const char* GetHint() const { return hint.c_str(); }
    virtual void Enable() { enabled = true; }
    virtual void Disable() { enabled = false; }
    virtual bool IsEnabled() const { return enabled; }
    virtual void SetEnabled(bool value) { enabled = value; }

    uint32_t GetID() const { return ID; }
    bool IsRegisteredForLookup() const { return registeredForLookup; }
    // Puts the object into the registry under its ID; a second call does nothing.
    void RegisterForLookup();

    // Whether the object's folder or entry is shown collapsed in the manager
    // trees; the manager's collapse toggle flips it directly.
    bool collapsed = true;

protected:
    // Stores an already formatted name (cut as SetName does); unchanged texts are kept.
    void StoreName(std::string text);

private:
    bool enabled = true;
    std::string name;
    std::string hint;
    uint32_t ID = 0;
    bool registeredForLookup = false;
};

// The registered object with that ID, or null for ID 0, an ID never
// registered, or the ID of a destroyed object. The registry does not check
// classes; callers cast to what they expect. The pointer is valid only while
// the object lives: use it at once, on the thread that owns the object.
TQORThingy* __GetThingyFromID(uint32_t ID);
