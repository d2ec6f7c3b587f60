// The locked allocator, the global new/delete that go through it, and the
// error exits. The global operator new lives in this file so that linking
// anything that calls QORalloc also links the replacement.
#include "QORMemory.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include <sys/mman.h>

#include "OS.h"
#include "OS_Internal.h"
#include "QORString.h"

// Constant-initialised, so allocations from any static initialiser find it
// ready, and never destroyed (its destructor is trivial).
constinit std::recursive_mutex MemoryAllocationMutex;
bool MemoryAllocationMutexInitialized = true;

TQOROnThrowException fOnThrowException = nullptr;
bool bQORDebug_IsOn = false;
FILE* QORDebug_OutFile = nullptr;

namespace {

// Blocks from this size on are asked to sit on huge pages: a mesh level's
// arrays run to tens of megabytes, and on 4 KB pages filling them is mostly
// page faults and walking them mostly TLB misses.
constexpr size_t kHugePageBlock = size_t(4) << 20;
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

void* MallocAllocator(size_t size)
{
    void* block = std::malloc(size);
    if (block && size >= kHugePageBlock) {
        // Only whole huge pages inside the block may be advised; the ragged
        // ends stay on small pages.
        const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHugePage - 1);
        if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
    return block;
}

TQORPlatformAllocator PlatformAllocator = MallocAllocator;

std::string OutOfMemoryPrompt(uint64_t size)
{
    std::string text = QORFormat("The system is out of memory (%d MB requested).\n\n", int(size >> 20));
    text += "This is most likely caused by having too little system RAM. Please check the current memory usage on "
            "your system.\n\n";
    text += "Would you like to retry? Click 'No' to exit the program immediately.";
    return text;
}

} // namespace

void QORSetPlatformAllocator(TQORPlatformAllocator allocator)
{
    std::scoped_lock lock(MemoryAllocationMutex);
    PlatformAllocator = allocator ? allocator : MallocAllocator;
}

void* QORalloc(uint64_t size, bool mayFail)
{
    std::scoped_lock lock(MemoryAllocationMutex);
    if (size == 0) return nullptr;
    void* block = PlatformAllocator(size_t(size));
    if (block && (reinterpret_cast<uintptr_t>(block) & 7) != 0) {
        OS.ErrorMessage("memory allocated is not aligned by 8");
        OS.Exit(1);
    }
    if (block || mayFail) return block;

    // The first failure is retried at once; every later one asks the user.
    for (;;) {
        block = PlatformAllocator(size_t(size));
        if (block) return block;
        std::string prompt = OutOfMemoryPrompt(size);
        if (!OS.MessageYesNo("%s", prompt.c_str())) OS.Exit(1);
    }
}

void QORfree(void* block, uint64_t)
{
    if (!block) return;
    std::scoped_lock lock(MemoryAllocationMutex);
    std::free(block);
}

void* QORrealloc(void* block, uint32_t oldSize, uint32_t newSize, bool mayFail)
{
    if (newSize == 0) {
        QORfree(block, oldSize);
        return nullptr;
    }
    void* fresh = QORalloc(newSize, mayFail);
    if (!fresh) return nullptr;
    if (block) std::memcpy(fresh, block, oldSize < newSize ? oldSize : newSize);
    QORfree(block, oldSize);
    return fresh;
}

// [SECTION] Global object allocation

// Size 0 still yields a distinct block, as the language requires.
void* operator new(size_t size) { return QORalloc(size ? size : 1, false); }
void* operator new[](size_t size) { return QORalloc(size ? size : 1, false); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return QORalloc(size ? size : 1, true); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return QORalloc(size ? size : 1, true); }
void operator delete(void* block) noexcept { QORfree(block, 0); }
void operator delete[](void* block) noexcept { QORfree(block, 0); }
void operator delete(void* block, size_t) noexcept { QORfree(block, 0); }
void operator delete[](void* block, size_t) noexcept { QORfree(block, 0); }
void operator delete(void* block, const std::nothrow_t&) noexcept { QORfree(block, 0); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { QORfree(block, 0); }

// [SECTION] Error exits

void QORThrowException(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    TOSInternal::CutToBuffer(text, TOS_MESSAGE_BUFFER);
    OS.ErrorMessage("%s", text.c_str());
    QORDebug_TurnOff();
    throw std::logic_error(text);
}

void QORFatalError(const char* format, ...)
{
    // The text is not shown anywhere; formatting it keeps a bad format from
    // going unnoticed under a debugger.
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    TOSInternal::CutToBuffer(text, TOS_MESSAGE_BUFFER);
    OS.Exit(1);
}

void AssignOnThrowException(TQOROnThrowException handler) { fOnThrowException = handler; }

void QORDebug_CreateDebugFile(const char*) {}

void QORDebug_TurnOn()
{
    if (QORDebug_OutFile) bQORDebug_IsOn = true;
}

void QORDebug_TurnOff() { bQORDebug_IsOn = false; }
