// The virtual-memory store (see QORVirtualMemory.h).
//
// Index:
//   [State]      block and file records, the store's tables and locks
//   [Files]      temporary files, the write procedure, the writer thread
//   [Blocks]     Push, Pop, Delete
//   [Pause]      pause, resume, checkup
//   [Lifecycle]  Initialize, Optimize, Cleanup
//   [Inspection] the hooks of QORVirtualMemory_Internal.h
#include "QORVirtualMemory.h"
#include "QORVirtualMemory_Internal.h"

#include "OS.h"
#include "QORMemory.h"

#include <cassert>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// =====================================================================
// [State]
// =====================================================================

constexpr uint64_t kDefaultFileSizeLimit = 0x3FFFFFFF;
constexpr size_t kHeaderSize = 256;
const char kHeaderText[] = "KSN-VIRTUAL-MEMORY-FILE";

struct TQORVirtualMemoryFile {
    FILE* Stream = nullptr;
    std::string Path;
};

// One per block ever pushed; its mutex pins it while it is queued, written, read or recycled.
struct TQORVirtualMemory_Node {
    std::mutex Mutex;
    void* Data = nullptr;       // the bytes while in memory, else null
    uint64_t Size = 0;          // bytes stored under this record (0 once taken back)
    uint32_t ID = 0;
    uint64_t Capacity = 0;      // length of the owned file slot; 0 while never written
    off_t Position = 0;         // slot start; 0 while no slot (the header fills 0..255)
    TQORVirtualMemoryFile* File = nullptr;
    bool Cancelled = false;
};

using NodePtr = std::unique_ptr<TQORVirtualMemory_Node>;

// Lives on the heap and is never destroyed: a fatal exit may end the process
// while the writer runs, and static destructors must not meet a live thread.
struct TVirtualMemoryStore {
    bool Initialized = false;                              // "VirtualMemoryMap is not null"
    std::map<uint32_t, NodePtr> VirtualMemoryMap;          // live blocks by ID
    std::map<uint64_t, std::vector<NodePtr>> VirtualMemoryMapHoles;   // free slots by capacity, oldest first
    std::deque<TQORVirtualMemory_Node*> push_queue;        // waiting for the writer, oldest first
    std::vector<std::unique_ptr<TQORVirtualMemoryFile>> VirtualMemoryFiles;
    TQORVirtualMemoryFile* CurrentVMFile = nullptr;
    uint64_t VirtualMemoryFileCurrentSize = 0;
    uint64_t FileSizeLimit = kDefaultFileSizeLimit;
    uint32_t QORVirtualMemory_UniqueID = 1;

    bool vmIsPaused = false;
    bool vmIsHardPaused = false;
    bool vmThreadRunning = false;
    bool WriterHeld = false;
    bool WriterBusy = false;
    std::thread vmThread;

    std::mutex vmMutex;              // tables and flags
    std::mutex vmReadWriteMutex;     // every seek, read and write on the files, and file creation
    // The pause gate: whoever pauses closes it, whoever resumes or pushes opens
    // it, so it is a flag under vmMutex with a condition, not an owned lock.
    std::condition_variable vmPauseGate;
    std::condition_variable WriterIdle;
};

TVirtualMemoryStore& Store()
{
    static TVirtualMemoryStore* store = new TVirtualMemoryStore;
    return *store;
}

[[noreturn]] void NotInitialized()
{
    OS.Message("Virtual Memory Manager has not been initialized!");
    OS.Exit(1);
}

// =====================================================================
// [Files]
// =====================================================================

// Under vmReadWriteMutex (and vmMutex). False when no file could be made; then
// nothing changed and `failedPath` names the last attempt.
bool CreateNewVirtualMemoryFile(std::string& failedPath)
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock rw(s.vmReadWriteMutex);
    auto file = std::make_unique<TQORVirtualMemoryFile>();
    // "x" makes the open fail instead of clobbering a file that appeared after the name was checked.
    for (int attempt = 0; attempt < 100 && !file->Stream; ++attempt) {
        if (!TOS::GetTemporaryFileNameInSystemTemp(file->Path, "tmp")) break;
        file->Stream = std::fopen(file->Path.c_str(), "w+bx");
        if (!file->Stream && errno != EEXIST) break;
    }
    if (!file->Stream) {
        failedPath = file->Path;
        return false;
    }
    char header[kHeaderSize] = {};
    std::copy(kHeaderText, kHeaderText + sizeof(kHeaderText) - 1, header);
    if (std::fwrite(header, 1, kHeaderSize, file->Stream) != kHeaderSize || std::fflush(file->Stream) != 0) {
        std::fclose(file->Stream);
        TOS::OS_DeleteFile(file->Path.c_str());
        failedPath = file->Path;
        return false;
    }
    s.CurrentVMFile = file.get();
    s.VirtualMemoryFiles.push_back(std::move(file));
    s.VirtualMemoryFileCurrentSize = kHeaderSize;
    return true;
}

// Under vmReadWriteMutex and the record's mutex. Retries a short write at the
// same position for as long as the user answers OK.
void WriteNode(TQORVirtualMemory_Node* n)
{
    if (!n->Data) return;
    FILE* f = n->File->Stream;
    if (n->Position == 0) {
        fseeko(f, 0, SEEK_END);
        n->Position = ftello(f);
    }
    for (;;) {
        fseeko(f, n->Position, SEEK_SET);
        const size_t written = std::fwrite(n->Data, 1, size_t(n->Size), f);
        // A full disk may show only when the buffer goes out.
        if (std::fflush(f) == 0 && written == n->Size) break;
        std::clearerr(f);
        if (!OS.MessageOkCancel("You have run out temporary file space. Please free some space on your main hard "
                                "drive and try again.\n\nPress Cancel to exit this program now."))
            OS.Exit(1);
    }
    if (n->Capacity == 0) n->Capacity = n->Size;
    QORfree(n->Data, n->Size);
    n->Data = nullptr;   // the size stays: the reader needs it
}

void QORVirtualMemory_ThreadFunc()
{
    TVirtualMemoryStore& s = Store();
    std::unique_lock lock(s.vmMutex);
    for (;;) {
        // Waits instead of spinning when there is nothing to write.
        s.vmPauseGate.wait(lock, [&] {
            return !s.vmThreadRunning || (!s.vmIsPaused && !s.WriterHeld && !s.push_queue.empty());
        });
        if (!s.vmThreadRunning) return;
        TQORVirtualMemory_Node* n = s.push_queue.front();
        std::unique_lock nodeLock(n->Mutex);
        s.push_queue.pop_front();
        s.WriterBusy = true;
        lock.unlock();
        if (!n->Cancelled) {
            std::scoped_lock rw(s.vmReadWriteMutex);
            WriteNode(n);
        }
        nodeLock.unlock();
        lock.lock();
        s.WriterBusy = false;
        s.WriterIdle.notify_all();
    }
}

// Best fit: the smallest capacity not below size, most recently freed first.
NodePtr FindHole(uint64_t size)
{
    TVirtualMemoryStore& s = Store();
    auto it = s.VirtualMemoryMapHoles.lower_bound(size);
    if (it == s.VirtualMemoryMapHoles.end()) return nullptr;
    NodePtr n = std::move(it->second.back());
    it->second.pop_back();
    if (it->second.empty()) s.VirtualMemoryMapHoles.erase(it);
    return n;
}

bool RemoveNodeFromPushQueue(TQORVirtualMemory_Node* n)
{
    auto& q = Store().push_queue;
    for (auto it = q.begin(); it != q.end(); ++it)
        if (*it == n) {
            q.erase(it);
            return true;
        }
    return false;
}

void MoveToHoles(std::map<uint32_t, NodePtr>::iterator it)
{
    TVirtualMemoryStore& s = Store();
    const uint64_t capacity = it->second->Capacity;
    s.VirtualMemoryMapHoles[capacity].push_back(std::move(it->second));
    s.VirtualMemoryMap.erase(it);
}

// Under vmMutex, with the record no longer queued. A record that got a file
// slot becomes a hole for later pushes; one that was never written owns no
// slot: it gives back the space its push booked and is dropped, instead of
// becoming a hole of capacity 0 that no push could ever reuse.
void RetireNode(std::map<uint32_t, NodePtr>::iterator it, uint64_t bookedSize)
{
    TVirtualMemoryStore& s = Store();
    TQORVirtualMemory_Node* n = it->second.get();
    if (n->Capacity > 0) {
        MoveToHoles(it);
        return;
    }
    if (n->File == s.CurrentVMFile && s.VirtualMemoryFileCurrentSize >= kHeaderSize + bookedSize)
        s.VirtualMemoryFileCurrentSize -= bookedSize;
    s.VirtualMemoryMap.erase(it);
}

void FreeNode(NodePtr& n)
{
    if (n && n->Data) QORfree(n->Data, n->Size);
    n.reset();
}

} // namespace

// =====================================================================
// [Blocks]
// =====================================================================

void QORVirtualMemory_Push(void** data, unsigned long size, unsigned int* id, unsigned long)
{
    TVirtualMemoryStore& s = Store();
    std::unique_lock lock(s.vmMutex);
    *id = 0;
    if (!s.Initialized) NotInitialized();
    if (size == 0) return;
    assert(*data && "QORVirtualMemory_Push needs a buffer for a non-empty block");

    NodePtr n = FindHole(size);
    if (!n) {
        if (!s.CurrentVMFile || size + s.VirtualMemoryFileCurrentSize > s.FileSizeLimit) {
            std::string path;
            if (!CreateNewVirtualMemoryFile(path)) {
                lock.unlock();
                QORThrowException("Cannot create the temporary file \"%s\" for the virtual memory.", path.c_str());
            }
        }
        s.VirtualMemoryFileCurrentSize += size;
        n = std::make_unique<TQORVirtualMemory_Node>();
        n->ID = s.QORVirtualMemory_UniqueID++;
        n->File = s.CurrentVMFile;
    }
    n->Data = *data;
    n->Size = size;
    n->Cancelled = false;
    *data = nullptr;
    TQORVirtualMemory_Node* node = n.get();
    *id = node->ID;
    s.VirtualMemoryMap[node->ID] = std::move(n);

    std::scoped_lock nodeLock(node->Mutex);
    if (s.vmIsHardPaused) {
        std::scoped_lock rw(s.vmReadWriteMutex);
        WriteNode(node);
        return;
    }
    s.push_queue.push_back(node);
    if (s.vmIsPaused) {
        s.vmIsPaused = false;
        s.vmIsHardPaused = false;
    }
    s.vmPauseGate.notify_all();
}

bool QORVirtualMemory_Pop(void** data, unsigned long* size, unsigned int* id)
{
    TVirtualMemoryStore& s = Store();
    std::unique_lock lock(s.vmMutex);
    *data = nullptr;
    *size = 0;
    if (!s.Initialized) NotInitialized();
    const unsigned int wanted = *id;
    auto it = s.VirtualMemoryMap.find(wanted);
    if (it == s.VirtualMemoryMap.end()) {
        lock.unlock();
        QORThrowException("Cannot find the virtual memory item with ID = %d", int(wanted));
    }
    TQORVirtualMemory_Node* n = it->second.get();
    std::unique_lock nodeLock(n->Mutex);
    RemoveNodeFromPushQueue(n);
    n->Cancelled = true;
    const uint64_t bookedSize = n->Size;
    if (n->Data) {
        *data = n->Data;
        *size = (unsigned long)n->Size;
    } else {
        void* buffer = QORalloc(n->Size, false);
        bool ok;
        {
            std::scoped_lock rw(s.vmReadWriteMutex);
            FILE* f = n->File->Stream;
            ok = fseeko(f, n->Position, SEEK_SET) == 0 && std::fread(buffer, 1, size_t(n->Size), f) == n->Size;
            if (!ok) std::clearerr(f);
        }
        if (!ok) {
            // Keep the block stored: the caller keeps a valid ID and loses nothing it had.
            QORfree(buffer, n->Size);
            nodeLock.unlock();
            lock.unlock();
            QORThrowException("Cannot read the virtual memory item with ID = %d", int(wanted));
        }
        *data = buffer;
        *size = (unsigned long)n->Size;
    }
    n->Data = nullptr;
    n->Size = 0;
    nodeLock.unlock();
    RetireNode(it, bookedSize);
    *id = 0;
    return true;
}

void QORVirtualMemory_Delete(unsigned int id)
{
    if (id == 0) return;
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    if (!s.Initialized) return;
    auto it = s.VirtualMemoryMap.find(id);
    if (it == s.VirtualMemoryMap.end()) return;
    TQORVirtualMemory_Node* n = it->second.get();
    uint64_t bookedSize = 0;
    {
        std::scoped_lock nodeLock(n->Mutex);
        RemoveNodeFromPushQueue(n);
        n->Cancelled = true;
        bookedSize = n->Size;
        if (n->Data) QORfree(n->Data, n->Size);
        n->Data = nullptr;
        n->Size = 0;
    }
    RetireNode(it, bookedSize);
}

// =====================================================================
// [Pause]
// =====================================================================

void QORVirtualMemory_PauseThread(bool hard)
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    s.vmIsHardPaused = hard;
    s.vmIsPaused = true;
}

void QORVirtualMemory_ResumeThread()
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    if (!s.vmIsPaused) return;
    s.vmIsPaused = false;
    s.vmIsHardPaused = false;
    s.vmPauseGate.notify_all();
}

void QORVirtualMemory_Checkup()
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    if (s.push_queue.empty() && !s.vmIsPaused) {
        s.vmIsPaused = true;
        s.vmIsHardPaused = false;
    }
}

// =====================================================================
// [Lifecycle]
// =====================================================================

void QORVirtualMemory_Initialize()
{
    TVirtualMemoryStore& s = Store();
    std::unique_lock lock(s.vmMutex);
    if (s.Initialized) return;
    s.vmIsPaused = true;
    s.vmIsHardPaused = false;
    // Set before the thread exists, so that a Cleanup right after start-up cannot miss it.
    s.vmThreadRunning = true;
    s.vmThread = std::thread(QORVirtualMemory_ThreadFunc);
    s.QORVirtualMemory_UniqueID = 1;
    s.VirtualMemoryMap.clear();
    s.VirtualMemoryMapHoles.clear();
    s.push_queue.clear();
    s.Initialized = true;
    std::string path;
    if (!CreateNewVirtualMemoryFile(path)) {
        // The store still works: the first push tries again to make a file.
        lock.unlock();
        QORThrowException("Cannot create the temporary file \"%s\" for the virtual memory.", path.c_str());
    }
}

void QORVirtualMemory_Optimize()
{
    bool empty;
    {
        TVirtualMemoryStore& s = Store();
        std::scoped_lock lock(s.vmMutex);
        empty = s.Initialized && s.VirtualMemoryMap.empty();
    }
    if (empty) QORVirtualMemory_CleanupEmptyVirtualMemory();
}

void QORVirtualMemory_CleanupEmptyVirtualMemory()
{
    // Cleanup frees every record, live or hole, before the fresh start.
    QORVirtualMemory_Cleanup();
    QORVirtualMemory_Initialize();
}

void QORVirtualMemory_Cleanup()
{
    TVirtualMemoryStore& s = Store();
    {
        std::scoped_lock lock(s.vmMutex);
        s.vmIsPaused = false;
        s.vmThreadRunning = false;
        s.vmPauseGate.notify_all();
        s.WriterIdle.notify_all();
    }
    if (s.vmThread.joinable()) s.vmThread.join();

    std::scoped_lock lock(s.vmMutex);
    {
        std::scoped_lock rw(s.vmReadWriteMutex);
        for (auto& file : s.VirtualMemoryFiles) {
            if (file->Stream) std::fclose(file->Stream);
            TOS::OS_DeleteFile(file->Path.c_str());
        }
        s.VirtualMemoryFiles.clear();
        s.CurrentVMFile = nullptr;
        s.VirtualMemoryFileCurrentSize = 0;
    }
    s.push_queue.clear();
    for (auto& [id, node] : s.VirtualMemoryMap) FreeNode(node);
    for (auto& [capacity, nodes] : s.VirtualMemoryMapHoles)
        for (auto& node : nodes) FreeNode(node);
    s.VirtualMemoryMap.clear();
    s.VirtualMemoryMapHoles.clear();
    s.Initialized = false;
    s.WriterHeld = false;
}

// =====================================================================
// [Inspection]
// =====================================================================

std::vector<std::string> QORVirtualMemory_GetFilePaths()
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    std::vector<std::string> paths;
    for (auto& file : s.VirtualMemoryFiles) paths.push_back(file->Path);
    return paths;
}

bool QORVirtualMemory_GetPlacement(unsigned int id, int* fileIndex, off_t* position, uint64_t* capacity,
                                   bool* inMemory)
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    auto it = s.VirtualMemoryMap.find(id);
    if (it == s.VirtualMemoryMap.end()) return false;
    TQORVirtualMemory_Node* n = it->second.get();
    std::scoped_lock nodeLock(n->Mutex);
    *fileIndex = -1;
    for (size_t i = 0; i < s.VirtualMemoryFiles.size(); ++i)
        if (s.VirtualMemoryFiles[i].get() == n->File) *fileIndex = int(i);
    *position = n->Position;
    *capacity = n->Capacity;
    *inMemory = n->Data != nullptr;
    return true;
}

void QORVirtualMemory_HoldWriter(bool hold)
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    s.WriterHeld = hold;
    s.vmPauseGate.notify_all();
}

void QORVirtualMemory_WaitForWriter()
{
    TVirtualMemoryStore& s = Store();
    std::unique_lock lock(s.vmMutex);
    s.WriterIdle.wait(lock, [&] {
        return !s.WriterBusy && (!s.vmThreadRunning || s.push_queue.empty() || s.vmIsPaused || s.WriterHeld);
    });
}

void QORVirtualMemory_SetFileSizeLimit(uint64_t limit)
{
    TVirtualMemoryStore& s = Store();
    std::scoped_lock lock(s.vmMutex);
    s.FileSizeLimit = limit ? limit : kDefaultFileSizeLimit;
}
