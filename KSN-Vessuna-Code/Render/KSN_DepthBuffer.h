// TKSN_DepthBuffer: a typed two-dimensional per-pixel buffer.
//
// Element type 0 holds 32-bit floats (the software renderer's depth, 0 far and
// larger nearer; the painting snapshots), type 1 unsigned bytes (painting
// masks). Elements are row after row, indexed row × width + column. A typed
// getter guards each access: asking for the other type is a programming error
// and raises. The buffer owns its data (QORalloc) and frees it whenever it is
// resized, retyped or destroyed; sizes are computed in 64 bits, a negative or
// zero size holds no data, and a size that cannot be had raises instead of
// wrapping.
//
// No lock: resize and retype on the main thread while no worker uses it.
#pragma once

#include <cstdint>

#include "KSN_Thingy.h"
#include "QORTimer.h"

enum eDepthBufferType : int32_t {
    DEPTH_BUFFER_TYPE_FLOAT = 0,
    DEPTH_BUFFER_TYPE_UC = 1,
};

class TKSN_DepthBuffer : public virtual TKSN_Thingy {
public:
    TKSN_DepthBuffer();
    ~TKSN_DepthBuffer() override;
    TKSN_DepthBuffer(const TKSN_DepthBuffer&) = delete;
    TKSN_DepthBuffer& operator=(const TKSN_DepthBuffer&) = delete;

    // Each raises "Wrong type in TKSN_DepthBuffer::<name>()" for the other
    // element type and restarts the last-use timer.
    float* GetData();
    float* GetDataFloat();
    unsigned char* GetDataUC();

    // Drops the contents and reallocates for the new type (nothing when the
    // type is unchanged or the size is 0); raises "Unknown depth buffer type"
    // for a type other than 0 or 1 when it must allocate.
    void SetType(eDepthBufferType t);
    // Reallocates only when the size changed; the new contents are undefined.
    void Resize(int w, int h);
    void ResizeWithType(int w, int h, eDepthBufferType t);
    // Zeroes every element; raises "Unknown depth buffer type" for other types.
    void Clear();

    // Bytes held now (0 without data).
    uint64_t GetAllocatedBytes() const { return allocatedBytes; }

    int32_t width = 0;
    int32_t height = 0;
    eDepthBufferType type = DEPTH_BUFFER_TYPE_FLOAT;
    TQORTimer LastUse;

private:
    void Release();
    void Allocate();

    void* data = nullptr;
    uint64_t allocatedBytes = 0;
};
