// Identified objects: the ID counter and the registry behind __GetThingyFromID.
#include "QORThingy.h"

#include "QORString.h"

#include <cstdarg>
#include <map>
#include <mutex>

namespace {

struct TThingyRegistry {
    std::mutex AtomicMutex;
    uint32_t TQORThingy_UniqueID = 1;
    std::map<uint32_t, TQORThingy*> ThingyMap;
};

// Created on first use so that thingies built during static initialisation of
// other files find it, and never destroyed so that thingies destroyed at exit
// still can unregister.
TThingyRegistry& Registry()
{
    static TThingyRegistry* registry = new TThingyRegistry;
    return *registry;
}

} // namespace

TQORThingy::TQORThingy()
{
    TThingyRegistry& r = Registry();
    std::scoped_lock lock(r.AtomicMutex);
    ID = r.TQORThingy_UniqueID++;
}

TQORThingy::~TQORThingy()
{
    TThingyRegistry& r = Registry();
    std::scoped_lock lock(r.AtomicMutex);
    if (registeredForLookup) {
        auto it = r.ThingyMap.find(ID);
        if (it != r.ThingyMap.end() && it->second == this)
            r.ThingyMap.erase(it);
    }
}

void TQORThingy::RegisterForLookup()
{
    TThingyRegistry& r = Registry();
    std::scoped_lock lock(r.AtomicMutex);
    if (registeredForLookup)
        return;
    r.ThingyMap[ID] = this;
    registeredForLookup = true;
}

TQORThingy* __GetThingyFromID(uint32_t ID)
{
    if (ID == 0)
        return nullptr;
    TThingyRegistry& r = Registry();
    std::scoped_lock lock(r.AtomicMutex);
    auto it = r.ThingyMap.find(ID);
    return it == r.ThingyMap.end() ? nullptr : it->second;
}

std::string_view QORUtf8Prefix(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t n = maxBytes;
    // Step back over continuation bytes to the lead byte of the cut character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

void TQORThingy::StoreName(std::string text)
{
    if (text.size() > QORMaxNameLength)
        text.resize(QORUtf8Prefix(text, QORMaxNameLength).size());
    if (text != name)
        name = std::move(text);
}

void TQORThingy::SetName(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    StoreName(std::move(text));
}

void TQORThingy::SetHint(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    if (text != hint)
        hint = std::move(text);
}
