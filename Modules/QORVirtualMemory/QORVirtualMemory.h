// The virtual-memory store: parks large blocks in temporary files and gives
// them back by a numeric ID.
//
// A caller pushes a QORalloc buffer it owns, receives an ID and forgets the
// buffer; later it pops the ID and owns a buffer with the same bytes again
// (the very same buffer when the writer has not reached it yet), or deletes
// the block unread. Writing happens on one writer thread so that a push costs
// a table insert and a queue append; in a hard pause pushes are written by the
// caller before they return.
//
// Invariants:
//  - IDs start at 1 after each start-up; 0 means "no block". IDs are reused
//    when a freed slot is reused, so an ID is dead once popped or deleted.
//  - Freed file slots are kept as holes and reused best-fit by capacity; a
//    file only grows when no hole is large enough. A file never books more
//    than 0x3FFFFFFF bytes of new slots; then the next file is started.
//  - Every temporary file starts with a 256-byte header: "KSN-VIRTUAL-MEMORY-FILE"
//    and zero bytes. Slots follow back to back, raw, with no index: the files
//    are useless once the process ends, and cleanup deletes them.
//  - Lock order: store mutex, then a block's mutex, then the file mutex.
#pragma once

// Starts the store: the writer thread (paused) and the first temporary file.
// Throws (QORThrowException) when the temporary file cannot be created.
void QORVirtualMemory_Initialize();
// Takes ownership of size bytes at *data (a QORalloc block), sets *data to null
// and *id to the block's ID. A size of 0 leaves *data alone and *id at 0.
// The last argument is ignored. Ends the program when the store is not started.
// Throws, leaving *data with the caller, when a new temporary file cannot be made.
void QORVirtualMemory_Push(void** data, unsigned long size, unsigned int* id, unsigned long unused = 0);
// Gives block *id back: *data (owned by the caller, free with QORfree), *size,
// and *id set to 0. Throws (QORThrowException) for an ID that is not stored
// or when the temporary file cannot be read; the block then stays stored.
bool QORVirtualMemory_Pop(void** data, unsigned long* size, unsigned int* id);
// Drops a block unread; 0 and unknown IDs are ignored.
void QORVirtualMemory_Delete(unsigned int id);

// A soft pause holds the writer until the next push; a hard pause holds it
// until a resume and makes every push write before it returns. There is no
// nesting: the first resume opens the gate.
void QORVirtualMemory_PauseThread(bool hard);
void QORVirtualMemory_ResumeThread();
// Once per idle round: parks the writer when it has nothing to write.
void QORVirtualMemory_Checkup();
// With no live block: deletes the temporary files and starts afresh (IDs from 1).
void QORVirtualMemory_Optimize();
// Drops every block, then Cleanup and Initialize.
void QORVirtualMemory_CleanupEmptyVirtualMemory();
// Shuts the store down: joins the writer, closes and deletes every temporary
// file and frees every block still stored.
void QORVirtualMemory_Cleanup();

// Pauses for one scope (undo/redo hard, touch-up drawing soft).
class TQORVirtualMemory_AutoPauseResume {
public:
    explicit TQORVirtualMemory_AutoPauseResume(bool hard) { QORVirtualMemory_PauseThread(hard); }
    ~TQORVirtualMemory_AutoPauseResume() { QORVirtualMemory_ResumeThread(); }
    TQORVirtualMemory_AutoPauseResume(const TQORVirtualMemory_AutoPauseResume&) = delete;
    TQORVirtualMemory_AutoPauseResume& operator=(const TQORVirtualMemory_AutoPauseResume&) = delete;
};
