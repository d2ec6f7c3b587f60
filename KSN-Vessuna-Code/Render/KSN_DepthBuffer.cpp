#include "KSN_DepthBuffer.h"

#include <climits>
#include <cstring>

#include "QORMemory.h"
#include "QORThreads.h"

namespace {

// 0 for a type that has no element size.
uint64_t ElementBytes(eDepthBufferType t) { return t == DEPTH_BUFFER_TYPE_FLOAT ? 4u : t == DEPTH_BUFFER_TYPE_UC ? 1u : 0u; }

} // namespace

TKSN_DepthBuffer::TKSN_DepthBuffer() = default;

TKSN_DepthBuffer::~TKSN_DepthBuffer() { Release(); }

float* TKSN_DepthBuffer::GetData()
{
    if (type != DEPTH_BUFFER_TYPE_FLOAT) QORThrowException("Wrong type in TKSN_DepthBuffer::GetData()");
    LastUse.Start();
    return static_cast<float*>(data);
}

float* TKSN_DepthBuffer::GetDataFloat()
{
    if (type != DEPTH_BUFFER_TYPE_FLOAT) QORThrowException("Wrong type in TKSN_DepthBuffer::GetDataFloat()");
    LastUse.Start();
    return static_cast<float*>(data);
}

unsigned char* TKSN_DepthBuffer::GetDataUC()
{
    if (type != DEPTH_BUFFER_TYPE_UC) QORThrowException("Wrong type in TKSN_DepthBuffer::GetDataUC()");
    LastUse.Start();
    return static_cast<unsigned char*>(data);
}

void TKSN_DepthBuffer::Release()
{
    QORfree(data, allocatedBytes);
    data = nullptr;
    allocatedBytes = 0;
}

void TKSN_DepthBuffer::Allocate()
{
    // A negative or zero dimension holds no data, whatever the type.
    if (width <= 0 || height <= 0) return;
    uint64_t element = ElementBytes(type);
    if (element == 0) QORThrowException("Unknown depth buffer type");
    uint64_t bytes = uint64_t(width) * uint64_t(height) * element;
    data = QORalloc(bytes, true);
    if (!data)
        QORThrowException("Not enough memory for a %d x %d depth buffer (%llu bytes)", width, height,
                          static_cast<unsigned long long>(bytes));
    allocatedBytes = bytes;
}

void TKSN_DepthBuffer::SetType(eDepthBufferType t)
{
    if (t == type) return;
    type = t;
    Release();
    if (width != 0 && height != 0) Allocate();
}

void TKSN_DepthBuffer::Resize(int w, int h)
{
    if (w == width && h == height) return;
    width = w;
    height = h;
    Release();
    Allocate();
}

void TKSN_DepthBuffer::ResizeWithType(int w, int h, eDepthBufferType t)
{
    if (w == width && h == height && t == type) return;
    width = w;
    height = h;
    type = t;
    Release();
    if (ElementBytes(t) == 0) QORThrowException("Unknown depth buffer type");
    Allocate();
}

void TKSN_DepthBuffer::Clear()
{
    if (ElementBytes(type) == 0) QORThrowException("Unknown depth buffer type");
    if (!data) return;
    if (allocatedBytes <= uint64_t(INT_MAX))
        memset_Multithread(data, 0, int(allocatedBytes));
    else
        std::memset(data, 0, allocatedBytes);
}
