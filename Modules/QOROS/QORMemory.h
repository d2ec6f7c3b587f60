// The one allocator of the process and the two error exits of the base modules.
//
// Every raw block (QORalloc/QORfree/QORrealloc) and every object made with the
// global new comes from the platform allocator under MemoryAllocationMutex.
// A block carries no header of ours: it is exactly what the platform gave, at
// least 8-byte aligned, and its size is the caller's business. A failed
// request is never returned silently unless the caller passes mayFail: the
// user is asked to retry or to end the program (the mutex stays held, so
// other threads wait for the answer).
//
// QORThrowException shows its text as an error box and throws
// std::logic_error; QORFatalError ends the process with status 1 at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

// Serialises every allocation and release. Recursive so that the retry
// prompt, which itself allocates, can run on the thread that holds it.
extern std::recursive_mutex MemoryAllocationMutex;
extern bool MemoryAllocationMutexInitialized;

// `size` bytes, 8-byte aligned, contents undefined; null for size 0. On
// failure: null at once with `mayFail`, otherwise retry / exit prompt.
void* QORalloc(uint64_t size, bool mayFail = false);
// Null is accepted; `size` is ignored.
void QORfree(void* block, uint64_t size = 0);
// New block of newSize bytes holding the first min(oldSize, newSize) bytes of
// `block`, which is released. newSize 0 releases and returns null. When the
// new block cannot be had (only with mayFail) null is returned and `block`
// stays valid and owned by the caller.
void* QORrealloc(void* block, uint32_t oldSize, uint32_t newSize, bool mayFail = false);

// Formats into 1000 bytes (999 kept), shows it through OS.ErrorMessage and
// throws std::logic_error carrying the text.
[[noreturn]] void QORThrowException(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Ends the process with status 1; the text only documents the cause.
[[noreturn]] void QORFatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

typedef void (*TQOROnThrowException)(const char* text);
extern TQOROnThrowException fOnThrowException;   // stored, never called
void AssignOnThrowException(TQOROnThrowException handler);

// The system writes no debug file: these keep the switch off.
extern bool bQORDebug_IsOn;
extern FILE* QORDebug_OutFile;
void QORDebug_CreateDebugFile(const char* path);
void QORDebug_TurnOn();
void QORDebug_TurnOff();

// The platform allocator behind QORalloc (std::malloc by default). Tests
// install a failing one to reach the out-of-memory paths; null restores
// std::malloc. The matching release is always std::free.
typedef void* (*TQORPlatformAllocator)(size_t size);
void QORSetPlatformAllocator(TQORPlatformAllocator allocator);

// A std::vector allocator under which resize leaves new elements of trivially
// copyable and destructible types unwritten instead of zeroing them: for large
// arrays that are written in full right after sizing, often on several
// threads, so that their pages are first touched where they are filled. Every
// other construction behaves as usual.
template <class T>
struct TQORUninitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = TQORUninitAllocator<U>;
    };
    TQORUninitAllocator() = default;
    template <class U>
    TQORUninitAllocator(const TQORUninitAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        if constexpr (!(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>))
            ::new (static_cast<void*>(p)) U();
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
