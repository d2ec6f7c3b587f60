// Paging one array of an undo record out to the virtual-memory store and
// back. Pushed, the store takes the block and `data` is what it leaves in
// its place; popped, the block is in memory again and the handle is what the
// store answers (0 once it holds nothing).
#pragma once

#include "QORVirtualMemory.h"

#include <cstdint>

namespace ksn_undo_paging {

// Pushes `count` elements, unless there are none or they are out already.
template <class T>
void PushArray(T*& data, uint32_t& handle, int count)
{
    if (!data || handle != 0) return;
    void* block = data;
    unsigned int id = 0;
    QORVirtualMemory_Push(&block, static_cast<unsigned long>(count) * sizeof(T), &id);
    data = static_cast<T*>(block);
    handle = id;
}

// Brings the array back, unless it is in memory already.
template <class T>
void PopArray(T*& data, uint32_t& handle)
{
    if (handle == 0) return;
    void* block = nullptr;
    unsigned long size = 0;
    unsigned int id = handle;
    QORVirtualMemory_Pop(&block, &size, &id);
    handle = id;
    data = static_cast<T*>(block);
}

} // namespace ksn_undo_paging
