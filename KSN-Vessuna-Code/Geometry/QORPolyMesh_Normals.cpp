// TQORPolyMesh: polygon and vertex normals, one at a time or whole-mesh passes
// on the worker pool.
//
// A polygon normal is the fan sum of cross products around corner 0 (twice the
// area vector of a planar polygon, pointing to the side from which the corners
// run counter-clockwise), scaled by a bit-level reciprocal square root with one
// Newton step: within 0.2% of unit length and deliberately not renormalised,
// so that normals stored in files and undo stay bit-for-bit reproducible.
// A vertex normal is the same scaling of the unweighted sum of the normals of
// the polygons around it (a polygon with two corners at the vertex counts
// twice).
//
// Whole-mesh passes write only the normal of their own element and read data
// that nobody writes during the pass, so the result does not depend on how the
// pool splits the range: 1 slot and N slots give the same bytes. The slots take
// blocks of elements from a shared counter as they finish, so a slot slowed
// down by other work on the machine holds up nobody.
//
// Index
//   [SECTION] Scaling
//   [SECTION] Single polygon and vertex
//   [SECTION] Whole-mesh passes
#include "QORPolyMesh.h"
#include "QORPolyMesh_Normals.h"

#include "QORThreads.h"

#include <algorithm>
#include <bit>
#include <cstdint>

// ---------------------------------------------------------------------------
// [SECTION] Scaling
// ---------------------------------------------------------------------------

namespace {

void StoreScaled(float* out, float x, float y, float z)
{
    const float s = x * x + y * y + z * z;
    const float r = QORPolyMesh_FastInverseSqrt(s);
    out[0] = x * r;
    out[1] = y * r;
    out[2] = z * r;
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Single polygon and vertex
// ---------------------------------------------------------------------------

void TQORPolyMesh::RecalculatePolyNormal(int polygon) { QORPolyMesh_WritePolygonNormal(*this, polygon); }

void TQORPolyMesh::RecalculateVertexNormal(int vertex)
{
    // A vertex outside a stale table has no polygons as far as the table knows.
    if (vertex >= vertexPolygons.GetRowCount()) return;
    const int* row = vertexPolygons[vertex];
    const int n = row[0];
    if (n <= 0) return;   // unused vertex or welded duplicate: keeps its normal
    float x = 0.0f, y = 0.0f, z = 0.0f;
    for (int i = 1; i <= n; ++i) {
        const float* pn = polygonNormals + 3 * row[i];
        x += pn[0];
        y += pn[1];
        z += pn[2];
    }
    StoreScaled(vertexNormals + 3 * vertex, x, y, z);
}

// ---------------------------------------------------------------------------
// [SECTION] Whole-mesh passes
// ---------------------------------------------------------------------------

void* Calculate_Poly_Normals_ThreadFunc(void* chunkData)
{
    const auto* chunk = static_cast<const TThreadCruncher_ArrayChunk*>(chunkData);
    auto* mesh = static_cast<TQORPolyMesh*>(chunk->User);
    const bool visibleOnly = chunk->FillInt != 0;
    for (int i = chunk->First; i < chunk->End; ++i)
        mesh->RecalculatePolyNormal(visibleOnly ? mesh->visiblePolygons[i] : i);
    return nullptr;
}

void* Calculate_Vertex_Normals_ThreadFunc(void* chunkData)
{
    const auto* chunk = static_cast<const TThreadCruncher_ArrayChunk*>(chunkData);
    auto* mesh = static_cast<TQORPolyMesh*>(chunk->User);
    const bool visibleOnly = chunk->FillInt != 0;
    for (int i = chunk->First; i < chunk->End; ++i)
        mesh->RecalculateVertexNormal(visibleOnly ? mesh->visibleVertices[i] : i);
    return nullptr;
}

namespace {

// Elements per block: about eight blocks a slot, so that the slots share the
// work out evenly (a slot that was descheduled takes fewer blocks), at least
// the pool's smallest chunk, and at most 4096 so that the atomic counter is
// touched once per several microseconds of work.
size_t NormalBlock(int count, int slots)
{
    return std::clamp<size_t>(size_t(count) / (size_t(slots) * 8), QOR_THREADCRUNCHER_MIN_CHUNK, 4096);
}

struct TNormalPass {
    TQORPolyMesh* Mesh;
    TQORThreadFunc Job;
    bool VisibleOnly;
};

void RunNormalBlock(size_t first, size_t end, void* p)
{
    auto* pass = static_cast<TNormalPass*>(p);
    TThreadCruncher_ArrayChunk chunk;
    chunk.First = int(first);
    chunk.End = int(end);
    chunk.Count = int(end - first);
    chunk.User = pass->Mesh;
    chunk.FillInt = pass->VisibleOnly ? 1 : 0;
    pass->Job(&chunk);
}

void RunNormalPass(TQORPolyMesh* mesh, int count, TQORThreadFunc job, bool visibleOnly)
{
    if (count <= 0) return;
    ThreadCruncher_Initialize();   // does nothing once the program's pool exists
    TThreadCruncher_Releaser releaser;
    ThreadCruncher->StartUsing(releaser);
    TNormalPass pass{mesh, job, visibleOnly};
    ThreadCruncher->ProcessBlocks(size_t(count), NormalBlock(count, ThreadCruncher->GetSlotCount()), RunNormalBlock,
                                 &pass);
}

}  // namespace

void TQORPolyMesh::RecalculatePolyNormals(bool visibleOnly)
{
    // Asking for the visible count rebuilds stale lists first.
    const int count = visibleOnly ? GetVisiblePolygonCount() : polygonCount;
    RunNormalPass(this, count, Calculate_Poly_Normals_ThreadFunc, visibleOnly);
}

void TQORPolyMesh::RecalculateVertexNormals(bool visibleOnly)
{
    const int count = visibleOnly ? GetVisibleVertexCount() : vertexCount;
    RunNormalPass(this, count, Calculate_Vertex_Normals_ThreadFunc, visibleOnly);
}

void TQORPolyMesh::RecalculateNormals(bool visibleOnly)
{
    // The polygon pass finishes before the vertex pass starts, so every vertex
    // normal is built from finished polygon normals: the same bytes as the
    // two passes one after the other (RecalculatePolyNormals, then
    // RecalculateVertexNormals), in one hand-out of the pool.
    const int polygons = visibleOnly ? GetVisiblePolygonCount() : polygonCount;
    const int vertices = visibleOnly ? GetVisibleVertexCount() : vertexCount;
    ThreadCruncher_Initialize();   // does nothing once the program's pool exists
    const int slots = ThreadCruncher->GetSlotCount();
    if (slots <= 1 || polygons <= 0 || vertices <= 0) {
        RunNormalPass(this, polygons, Calculate_Poly_Normals_ThreadFunc, visibleOnly);
        RunNormalPass(this, vertices, Calculate_Vertex_Normals_ThreadFunc, visibleOnly);
        return;
    }
    TNormalPass polygonPass{this, Calculate_Poly_Normals_ThreadFunc, visibleOnly};
    TNormalPass vertexPass{this, Calculate_Vertex_Normals_ThreadFunc, visibleOnly};
    const TThreadCruncher::Phase phases[2] = {
        {size_t(polygons), NormalBlock(polygons, slots), RunNormalBlock, &polygonPass},
        {size_t(vertices), NormalBlock(vertices, slots), RunNormalBlock, &vertexPass}};
    TThreadCruncher_Releaser releaser;
    ThreadCruncher->StartUsing(releaser);
    ThreadCruncher->ProcessPhases(phases, 2);
}
