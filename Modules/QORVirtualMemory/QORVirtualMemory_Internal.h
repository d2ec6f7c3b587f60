// Inspection and control of the store's insides for this module's own tests.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Paths of the current store's temporary files, in creation order.
std::vector<std::string> QORVirtualMemory_GetFilePaths();
// Where block id lives: its file (index into the paths), slot position and
// capacity (0 while never written), and whether its bytes are still in memory.
bool QORVirtualMemory_GetPlacement(unsigned int id, int* fileIndex, off_t* position, uint64_t* capacity,
                                   bool* inMemory);
// While held, the writer takes nothing from its queue, paused or not.
void QORVirtualMemory_HoldWriter(bool hold);
// Returns once the writer has written its whole queue (or is paused or held).
void QORVirtualMemory_WaitForWriter();
// Bytes a file may book before the next one is started (0 restores 0x3FFFFFFF).
void QORVirtualMemory_SetFileSizeLimit(uint64_t limit);
