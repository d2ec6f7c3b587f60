// Making subdivision levels: the uniform and the texel-driven subdivider, the
// smoothing pass and the carrying of per-vertex triples up the levels; see
// KSN_SubDMesh.h.
//
// The scheme is the plain-average one: face point = centroid of the corners,
// edge point = midpoint, then every vertex moves to the average of the
// centroids of the polygons around it (no crease or boundary rule). New
// vertices of a parent polygon are numbered in the order they are first met:
// for Subdivide the face point, then the closing edge's point, then the edge
// points around the polygon; for DynamicSubdivide the edge points around the
// polygon, then the face point.
#include "KSN_SubDMesh.h"

#include "KSN_Mesh.h"
#include "KSN_ParallelBlocks.h"
#include "OS.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORThingy.h"

#include <algorithm>
#include <cassert>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr const char* kParentLookupKey = "VertexParentLookup";

// Edge points keyed by the unordered endpoint pair: one chain per smaller
// endpoint, items in one pool, so a level is built without an allocation per
// vertex and each lookup walks only the few edges leaving that vertex.
class TEdgeTable {
public:
    void Reset(int slots, size_t expectedItems)
    {
        Head.assign(size_t(std::max(slots, 0)), -1);
        Items.clear();
        Items.reserve(expectedItems);
    }
    int32_t Find(int32_t a, int32_t b) const
    {
        const int32_t lo = std::min(a, b), hi = std::max(a, b);
        for (int32_t i = Head[size_t(lo)]; i >= 0; i = Items[size_t(i)].Next)
            if (Items[size_t(i)].Larger == hi) return Items[size_t(i)].Point;
        return -1;
    }
    void Add(int32_t a, int32_t b, int32_t point)
    {
        const int32_t lo = std::min(a, b), hi = std::max(a, b);
        Items.push_back({hi, point, Head[size_t(lo)]});
        Head[size_t(lo)] = int32_t(Items.size() - 1);
    }

private:
    struct TItem {
        int32_t Larger, Point, Next;
    };
    std::vector<int32_t> Head;
    std::vector<TItem> Items;
};

} // namespace

// Parent records, 4 int32 per vertex, filled only for the vertices in use:
// the room reserved for edge points is mostly never touched.
struct TKSN_SubDRecords {
    std::unique_ptr<int32_t[]> Data;
    size_t Vertices = 0;
    void Reserve(size_t vertices)
    {
        if (vertices <= Vertices) return;
        auto grown = std::make_unique_for_overwrite<int32_t[]>(4 * vertices);
        if (Data) std::memcpy(grown.get(), Data.get(), 16 * Vertices);
        Data = std::move(grown);
        Vertices = vertices;
    }
    int32_t* operator[](size_t vertex) { return Data.get() + 4 * vertex; }
    void SetCarried(int32_t vertex)
    {
        int32_t* r = (*this)[size_t(vertex)];
        r[0] = r[1] = r[2] = r[3] = vertex;
    }
};

namespace {

// The running state of one level being filled from its parent.
class TLevelBuilder {
public:
    // With positionsLater the builder only numbers the new vertices and
    // fills their parent records; the level's vertex arrays are sized and
    // the positions worked out from the records afterwards (PlaceNewVertices).
    TLevelBuilder(TKSN_SubDMesh& level, TKSN_SubDRecords& records, bool positionsLater = false)
        : NextV(level.ParentVertexCount), NextT(level.ParentTVertexCount), L(level), Records(records),
          PositionsLater(positionsLater)
    {
        Edges.Reset(level.ParentVertexCount, size_t(level.EdgePointAllowance));
        TEdges.Reset(level.ParentTVertexCount, size_t(level.EdgePointAllowance));
    }

    int32_t EdgePoint(int32_t a, int32_t b)
    {
        const int32_t found = Edges.Find(a, b);
        if (found >= 0) return found;
        const int32_t e = NewVertex();
        if (!PositionsLater) {
            const float* pa = L.baseVertices + 3 * a;
            const float* pb = L.baseVertices + 3 * b;
            for (int i = 0; i < 3; ++i) L.baseVertices[3 * e + i] = 0.5f * (pa[i] + pb[i]);
        }
        int32_t* r = Records[size_t(e)];
        r[0] = a;
        r[1] = b;
        r[2] = r[3] = e;
        Edges.Add(a, b, e);
        return e;
    }

    int32_t TexEdgePoint(int32_t a, int32_t b)
    {
        const int32_t found = TEdges.Find(a, b);
        if (found >= 0) return found;
        const int32_t e = NewTVertex();
        for (int i = 0; i < 2; ++i) L.tVertices[2 * e + i] = 0.5f * (L.tVertices[2 * a + i] + L.tVertices[2 * b + i]);
        TEdges.Add(a, b, e);
        return e;
    }

    // The face point and its texture vertex of corners c / t (m of them).
    void FacePoint(const int32_t* c, const int32_t* t, int m, int32_t& f, int32_t& uf)
    {
        f = NewVertex();
        uf = NewTVertex();
        const float inv = 1.0f / float(m);
        float sum[3] = {0, 0, 0}, uv[2] = {0, 0};
        for (int k = 0; k < m; ++k) {
            if (!PositionsLater)
                for (int i = 0; i < 3; ++i) sum[i] += L.baseVertices[3 * c[k] + i];
            for (int i = 0; i < 2; ++i) uv[i] += L.tVertices[2 * t[k] + i];
        }
        if (!PositionsLater)
            for (int i = 0; i < 3; ++i) L.baseVertices[3 * f + i] = sum[i] * inv;
        for (int i = 0; i < 2; ++i) L.tVertices[2 * uf + i] = uv[i] * inv;
        int32_t* r = Records[size_t(f)];
        for (int k = 0; k < 4; ++k) r[k] = k < m ? c[k] : f;
    }

    // The face point's record alone, for a builder placing positions later.
    int32_t FaceRecord(const int32_t* c, int m)
    {
        assert(PositionsLater && "the face point's position is not placed here");
        const int32_t f = NewVertex();
        int32_t* r = Records[size_t(f)];
        for (int k = 0; k < 4; ++k) r[k] = k < m ? c[k] : f;
        return f;
    }

    // The texture face point of texture corners t (m of them), as FacePoint makes it.
    int32_t TexFacePoint(const int32_t* t, int m)
    {
        const int32_t uf = NewTVertex();
        const float inv = 1.0f / float(m);
        float uv[2] = {0, 0};
        for (int k = 0; k < m; ++k)
            for (int i = 0; i < 2; ++i) uv[i] += L.tVertices[2 * t[k] + i];
        for (int i = 0; i < 2; ++i) L.tVertices[2 * uf + i] = uv[i] * inv;
        return uf;
    }

    void AddPolygon(int32_t c0, int32_t c1, int32_t c2, int32_t c3, const int32_t* uvs, int32_t owner)
    {
        if (Out >= L.polygonCount) L.SetPolygonCount(L.polygonCount + std::max(10000, L.polygonCount / 2));
        L.Polygons[Out] = {c0, c1, c2, c3, owner};
        if (L.PolygonUVs) std::memcpy(L.PolygonUVs + 4 * size_t(Out), uvs, 16);
        ++Out;
    }

    // The position and the texture walks may run on two threads at once:
    // what each writes sits on cache lines of its own.
    int32_t NextV;
    alignas(64) int32_t NextT;
    alignas(64) int32_t Out = 0;

private:
    int32_t NewVertex()
    {
        if (PositionsLater) {
            if (size_t(NextV) >= Records.Vertices) Records.Reserve(size_t(NextV) + std::max<size_t>(10000, size_t(NextV) / 2));
            return NextV++;
        }
        if (NextV >= L.vertexCount) {
            const int old = L.vertexCount;
            L.SetVertexCount(old + std::max(10000, old / 2));
            Records.Reserve(size_t(L.vertexCount));
        }
        return NextV++;
    }
    int32_t NewTVertex()
    {
        if (NextT >= L.tVertexCount) L.SetTVertexCount(L.tVertexCount + std::max(10000, L.tVertexCount / 2));
        return NextT++;
    }

    TKSN_SubDMesh& L;
    TKSN_SubDRecords& Records;
    bool PositionsLater = false;
    alignas(64) TEdgeTable Edges;
    alignas(64) TEdgeTable TEdges;
};

// The corners of parent polygon p into c and its texture corners into t (a missing one reads as 0); the count.
int ReadParentCorners(TKSN_SubDMesh* parent, int p, int32_t* c, int32_t* t)
{
    // The level's own records, read as its accessors read them (vGetPolyN,
    // vGetPolyV, vGetPolyVT), without a call per corner.
    const TKSN_SubDPolygon& poly = parent->Polygons[p];
    const int m = poly.Corner2 == poly.Corner3 ? 3 : 4;
    const int32_t* corners = &poly.Corner0;
    const int32_t* uvs = parent->PolygonUVs ? parent->PolygonUVs + 4 * size_t(p) : nullptr;
    for (int k = 0; k < m; ++k) {
        c[k] = corners[k];
        t[k] = uvs ? std::max(uvs[k], 0) : 0;
    }
    return m;
}

// The larger side of the map of a channel, 0 without one.
int ChannelResolution(TQORMaterialChannel* channel)
{
    if (!channel || channel->GetMapID() == 0) return 0;
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()));
    TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
    return source ? std::max(source->GetWidth(), source->GetHeight()) : 0;
}

// The resolution an edge must be fine enough for: the Color map's, replaced
// by the Bump map's, then by the Displacement map's when they have one.
int MaterialResolution(TKSN_MeshRoot& level, int materialIndex)
{
    TQORMaterial* material = level.GetMaterial(materialIndex);
    if (!material) return 0;
    material->CacheChannels();
    int r = ChannelResolution(material->ColorChannel);
    if (int b = ChannelResolution(material->BumpChannel)) r = b;
    if (int d = ChannelResolution(material->DisplacementChannel)) r = d;
    return r;
}

// The edge points of one kind of corner (positions or texture vertices) of a
// uniform subdivision, numbered as the serial walk numbers them, worked out
// polygon by polygon in parallel. The serial walk gives each parent polygon
// its face point, then a new edge point for every side whose endpoint pair
// no earlier side had, meeting the sides in the order closing side (last
// corner to first), then side 0, 1, ...; the pair's first side in that walk
// order owns the point. That side is found among the polygons around one
// endpoint (a row of polygons in ascending order), and the numbers follow
// from a running count of owned sides.
class TParallelEdgeNumbering {
public:
    static constexpr int kLongestRow = 64;   // longer rows: the serial walk is cheaper

    // corners(p, c) fills c with polygon p's corners and answers their count
    // (3 or 4); row(v) answers {items, count} of the polygons around v.
    // False when a row is too long; nothing is numbered then.
    template <class Corners, class Row>
    bool Number(int polygons, int32_t firstNumber, const Corners& corners, const Row& row)
    {
        Owner.assign(4 * size_t(polygons), -1);
        Owned.assign(4 * size_t(polygons), 0);
        FaceNumber.assign(size_t(polygons), 0);
        std::atomic<bool> tooLong{false};
        auto findOwners = [&](size_t first, size_t end) {
            for (size_t p = first; p < end && !tooLong.load(std::memory_order_relaxed); ++p) {
                int32_t c[4];
                const int m = corners(int(p), c);
                for (int j = 0; j < m; ++j) {
                    const int32_t a = c[j], b = c[(j + 1) % m];
                    const auto [items, count] = row(a);
                    if (count > kLongestRow) {
                        tooLong.store(true, std::memory_order_relaxed);
                        break;
                    }
                    int32_t owner = -1;
                    for (int i = 0; i < count && owner < 0; ++i) {
                        const int q = items[i];
                        if (size_t(q) > p) break;
                        int32_t cq[4];
                        const int mq = corners(q, cq);
                        for (int e = 0; e < mq && owner < 0; ++e) {
                            const int sq = e == 0 ? mq - 1 : e - 1;
                            const int32_t x = cq[sq], y = cq[(sq + 1) % mq];
                            if ((x == a && y == b) || (x == b && y == a)) owner = 4 * q + sq;
                        }
                    }
                    if (owner < 0) owner = int32_t(4 * p + size_t(j));   // the row lacks p: its own point
                    Owner[4 * p + size_t(j)] = owner;
                    Owned[4 * p + size_t(j)] = owner == int32_t(4 * p + size_t(j));
                }
            }
        };
        KSN_RunInBlocks(size_t(polygons), 4096, findOwners);
        if (tooLong.load()) return false;
        int32_t next = firstNumber;
        for (int p = 0; p < polygons; ++p) {
            FaceNumber[size_t(p)] = next;
            next += 1 + Owned[4 * size_t(p)] + Owned[4 * size_t(p) + 1] + Owned[4 * size_t(p) + 2] +
                    Owned[4 * size_t(p) + 3];
        }
        Next = next;
        return true;
    }

    // The number of the edge point of side k of polygon p (m corners).
    template <class Corners>
    int32_t SideNumber(int p, int k, const Corners& corners) const
    {
        const int32_t owner = Owner[4 * size_t(p) + size_t(k)];
        const int q = owner / 4, s = owner % 4;
        int32_t cq[4];
        const int mq = corners(q, cq);
        auto walkPlace = [mq](int side) { return side == mq - 1 ? 0 : side + 1; };
        int32_t number = FaceNumber[size_t(q)] + 1;
        for (int side = 0; side < mq; ++side)
            if (Owned[4 * size_t(q) + size_t(side)] && walkPlace(side) < walkPlace(s)) ++number;
        return number;
    }

    std::vector<int32_t> Owner;       // 4 per polygon: 4 q + side of the side that owns the pair
    std::vector<uint8_t> Owned;       // 4 per polygon: the side owns its point
    std::vector<int32_t> FaceNumber;  // per polygon: its face point
    int32_t Next = 0;                 // one past the last number given
};

} // namespace

// ============================================================================
// [SECTION] Shared steps
// ============================================================================

void TKSN_SubDMesh::BeginFromParent(TKSN_SubDMesh* parent)
{
    CopyOwnerExtent(parent->ownerMesh);
    ParentPolygonCount = parent->polygonCount;
    ParentVertexCount = parent->vertexCount;
    ParentTVertexCount = parent->tVertexCount;
    FacePointCount = ChildPolygonCount = EdgePointAllowance = 0;
}

void TKSN_SubDMesh::SizeFromParentAndCopyVertices(TKSN_SubDMesh* parent, TKSN_SubDRecords& records,
                                                  bool verticesLater)
{
    Level = parent->Level + 1;
    const int room = ParentVertexCount + FacePointCount + EdgePointAllowance;
    if (!verticesLater) SetVertexCount(room);
    SetTVertexCount(ParentTVertexCount + FacePointCount + EdgePointAllowance);
    SetPolygonCount(ChildPolygonCount);
    if (!verticesLater && ParentVertexCount > 0 && parent->baseVertices)
        std::memcpy(baseVertices, parent->baseVertices, size_t(ParentVertexCount) * 12);
    if (ParentTVertexCount > 0 && parent->tVertices)
        std::memcpy(tVertices, parent->tVertices, size_t(ParentTVertexCount) * 8);
    records.Reserve(size_t(room));
    for (int i = 0; i < ParentVertexCount; ++i) records.SetCarried(i);
}

void TKSN_SubDMesh::PlaceNewVertices(TKSN_SubDMesh* parent, int usedVertices, TKSN_SubDRecords& records)
{
    SetVertexCount(usedVertices);
    if (ParentVertexCount > 0 && parent->baseVertices)
        std::memcpy(baseVertices, parent->baseVertices, size_t(ParentVertexCount) * 12);
    // A new vertex is the plain average of the parents its record names (two
    // for an edge point, the corners for a face point), in the record's
    // order and with the same operations as when it was made: halving the
    // sum, or the sum times the reciprocal of the count.
    auto place = [&](size_t first, size_t end) {
        for (size_t v = first; v < end; ++v) {
            const int32_t* r = records[v];
            int m = 0;
            while (m < 4 && r[m] != int32_t(v)) ++m;
            float* out = baseVertices + 3 * v;
            if (m == 2) {
                const float* pa = baseVertices + 3 * size_t(r[0]);
                const float* pb = baseVertices + 3 * size_t(r[1]);
                for (int i = 0; i < 3; ++i) out[i] = 0.5f * (pa[i] + pb[i]);
                continue;
            }
            const float inv = 1.0f / float(m);
            float sum[3] = {0, 0, 0};
            for (int k = 0; k < m; ++k)
                for (int i = 0; i < 3; ++i) sum[i] += baseVertices[3 * size_t(r[k]) + size_t(i)];
            for (int i = 0; i < 3; ++i) out[i] = sum[i] * inv;
        }
    };
    const size_t firstNew = size_t(std::max(ParentVertexCount, 0));
    const size_t count = size_t(std::max(usedVertices, 0)) > firstNew ? size_t(usedVertices) - firstNew : 0;
    auto placeNew = [&](size_t first, size_t end) { place(firstNew + first, firstNew + end); };
    KSN_RunInBlocks(count, 16384, placeNew);
}

void TKSN_SubDMesh::FinishFromParent(int usedVertices, int usedTVertices, TKSN_SubDRecords& records)
{
    SetVertexCount(usedVertices);
    SetTVertexCount(usedTVertices);
    auto* block = static_cast<int32_t*>(QORalloc(uint64_t(std::max(usedVertices, 1)) * 16));
    if (usedVertices > 0) std::memcpy(block, records.Data.get(), size_t(usedVertices) * 16);
    QORfree(GetCustomPointerProperty(kParentLookupKey));
    SetCustomPointerProperty(kParentLookupKey, block);
}

// ============================================================================
// [SECTION] Uniform subdivision
// ============================================================================

void TKSN_SubDMesh::Subdivide(TKSN_SubDMesh* parent)
{
    assert(parent && "Subdivide needs the level below");
    BeginFromParent(parent);
    for (int p = 0; p < ParentPolygonCount; ++p) {
        ++FacePointCount;
        ChildPolygonCount += parent->vGetPolyN(p);
    }
    EdgePointAllowance = 2 * ChildPolygonCount;
    TKSN_SubDRecords records;
    // The vertex arrays are sized once the new vertices are counted: sized
    // for the allowance they would have to be cut down and copied again.
    SizeFromParentAndCopyVertices(parent, records, true);

    if (SubdivideInParallel(parent, records)) {
        AfterRawBuild();
        SmoothVerticesFromRows();
        return;
    }

    // Positions and texture vertices are numbered apart (each kind meets its
    // own sides in the one walk order), so the two walks run side by side on
    // the pool: one fills the parent records and the children's corners, the
    // other the texture vertices and the children's texture corners. Either
    // writes only its own arrays; the child polygons were counted exactly.
    TLevelBuilder b(*this, records, true);
    const std::thread::id caller = std::this_thread::get_id();
    auto walkPositions = [&] {
        int32_t out = 0;
        for (int p = 0; p < ParentPolygonCount; ++p) {
            if (p % 1000 == 0 && std::this_thread::get_id() == caller) OS.DoProgress();
            const TKSN_SubDPolygon& poly = parent->Polygons[p];
            const int m = poly.Corner2 == poly.Corner3 ? 3 : 4;
            const int32_t* c = &poly.Corner0;
            const int32_t f = b.FaceRecord(c, m);
            const int32_t closing = b.EdgePoint(c[m - 1], c[0]);
            int32_t prevE = closing;
            for (int k = 0; k < m; ++k) {
                // The last side is the closing side again: its point is known
                // (and no division by m is needed to find the next corner).
                const int32_t e = k + 1 == m ? closing : b.EdgePoint(c[k], c[k + 1]);
                Polygons[out++] = {c[k], e, f, prevE, poly.Owner};
                prevE = e;
            }
        }
        b.Out = out;
    };
    auto walkTextures = [&] {
        int32_t out = 0;
        for (int p = 0; p < ParentPolygonCount; ++p) {
            if (p % 1000 == 0 && std::this_thread::get_id() == caller) OS.DoProgress();
            int32_t c[4], t[4];
            const int m = ReadParentCorners(parent, p, c, t);
            const int32_t uf = b.TexFacePoint(t, m);
            const int32_t closingUV = b.TexEdgePoint(t[m - 1], t[0]);
            int32_t prevUE = closingUV;
            for (int k = 0; k < m; ++k) {
                const int32_t ue = k + 1 == m ? closingUV : b.TexEdgePoint(t[k], t[k + 1]);
                if (PolygonUVs) {
                    const int32_t uvs[4] = {t[k], ue, uf, prevUE};
                    std::memcpy(PolygonUVs + 4 * size_t(out), uvs, 16);
                }
                ++out;
                prevUE = ue;
            }
        }
    };
    if (ChildPolygonCount > polygonCount) SetPolygonCount(ChildPolygonCount);
    auto walks = [&](size_t first, size_t end) {
        for (size_t w = first; w < end; ++w) w == 0 ? walkPositions() : walkTextures();
    };
    KSN_RunInBlocks(2, 1, walks);
    if (b.Out != polygonCount) SetPolygonCount(b.Out);
    PlaceNewVertices(parent, b.NextV, records);
    FinishFromParent(b.NextV, b.NextT, records);
    AfterRawBuild();
    SmoothVerticesFromRows();
}

bool TKSN_SubDMesh::SubdivideInParallel(TKSN_SubDMesh* parent, TKSN_SubDRecords& records)
{
    const int P = ParentPolygonCount, PV = ParentVertexCount, PT = ParentTVertexCount;
    if (P <= 0 || PV <= 0 || PT <= 0 || !parent->tVertices || !tVertices) return false;
    // The searches cost several times the serial walk's table look-ups: they
    // pay only when many threads share them (on eight the walk was faster).
    if (!ThreadCruncher || ThreadCruncher->GetSlotCount() < ParallelNumberingSlots || ThreadCruncher->IsBusy())
        return false;
    // The parent's vertex-to-polygon rows must be those of its polygons now:
    // one row per vertex, one entry per corner, every corner in range.
    const TQORLookupTable& rows = parent->vertexPolygons;
    if (rows.GetRowCount() != PV) return false;
    int64_t corners = 0;
    for (int p = 0; p < P; ++p) {
        int32_t c[4], t[4];
        const int m = ReadParentCorners(parent, p, c, t);
        for (int k = 0; k < m; ++k)
            if (c[k] < 0 || c[k] >= PV || t[k] >= PT) return false;
        corners += m;
    }
    if (int64_t(rows.GetStorageLength()) != int64_t(PV) + corners) return false;

    auto positionCorners = [parent](int p, int32_t* c) {
        int32_t t[4];
        return ReadParentCorners(parent, p, c, t);
    };
    auto textureCorners = [parent](int p, int32_t* t) {
        int32_t c[4];
        return ReadParentCorners(parent, p, c, t);
    };
    struct TRowSpan {
        const int* Items;
        int Count;
    };
    auto positionRow = [&rows](int32_t v) {
        const int* r = rows[int(v)];
        return TRowSpan{r + 1, r[0]};
    };
    // The polygons around each texture vertex, in ascending order.
    std::vector<int32_t> textureStart(size_t(PT) + 1, 0);
    std::vector<int32_t> textureItems(static_cast<size_t>(corners));
    for (int p = 0; p < P; ++p) {
        int32_t t[4];
        const int m = textureCorners(p, t);
        for (int k = 0; k < m; ++k) ++textureStart[size_t(t[k]) + 1];
    }
    for (int t = 0; t < PT; ++t) textureStart[size_t(t) + 1] += textureStart[size_t(t)];
    {
        std::vector<int32_t> fill(textureStart.begin(), textureStart.end() - 1);
        for (int p = 0; p < P; ++p) {
            int32_t t[4];
            const int m = textureCorners(p, t);
            for (int k = 0; k < m; ++k) textureItems[size_t(fill[size_t(t[k])]++)] = p;
        }
    }
    auto textureRow = [&](int32_t t) {
        const int32_t first = textureStart[size_t(t)];
        return TRowSpan{textureItems.data() + first, textureStart[size_t(t) + 1] - first};
    };

    OS.DoProgress();
    TParallelEdgeNumbering points, texturePoints;
    if (!points.Number(P, PV, positionCorners, positionRow)) return false;
    if (!texturePoints.Number(P, PT, textureCorners, textureRow)) return false;
    OS.DoProgress();

    // The child polygons of parent polygon p start at the corners of the polygons before it.
    std::vector<int32_t> firstChild(size_t(P), 0);
    int32_t children = 0;
    for (int p = 0; p < P; ++p) {
        firstChild[size_t(p)] = children;
        const TKSN_SubDPolygon& poly = parent->Polygons[p];
        children += poly.Corner2 == poly.Corner3 ? 3 : 4;
    }
    if (children != polygonCount) SetPolygonCount(children);
    records.Reserve(size_t(points.Next));

    auto build = [&](size_t first, size_t end) {
        for (size_t p = first; p < end; ++p) {
            int32_t c[4], t[4];
            const int m = ReadParentCorners(parent, int(p), c, t);
            const int32_t f = points.FaceNumber[p], uf = texturePoints.FaceNumber[p];
            // Face point record and texture vertex: the sums in corner order, times 1/m.
            int32_t* r = records[size_t(f)];
            for (int k = 0; k < 4; ++k) r[k] = k < m ? c[k] : f;
            const float inv = 1.0f / float(m);
            float uv[2] = {0, 0};
            for (int k = 0; k < m; ++k)
                for (int i = 0; i < 2; ++i) uv[i] += tVertices[2 * t[k] + i];
            for (int i = 0; i < 2; ++i) tVertices[2 * uf + i] = uv[i] * inv;
            int32_t e[4], ue[4];
            for (int k = 0; k < m; ++k) {
                const int k1 = (k + 1) % m;
                e[k] = points.SideNumber(int(p), k, positionCorners);
                ue[k] = texturePoints.SideNumber(int(p), k, textureCorners);
                if (points.Owned[4 * p + size_t(k)]) {
                    int32_t* er = records[size_t(e[k])];
                    er[0] = c[k];
                    er[1] = c[k1];
                    er[2] = er[3] = e[k];
                }
                if (texturePoints.Owned[4 * p + size_t(k)])
                    for (int i = 0; i < 2; ++i)
                        tVertices[2 * ue[k] + i] = 0.5f * (tVertices[2 * t[k] + i] + tVertices[2 * t[k1] + i]);
            }
            const int32_t owner = parent->Polygons[p].Owner;
            for (int k = 0; k < m; ++k) {
                const int before = (k + m - 1) % m;
                const int32_t out = firstChild[p] + k;
                Polygons[out] = {c[k], e[k], f, e[before], owner};
                if (PolygonUVs) {
                    const int32_t uvs[4] = {t[k], ue[k], uf, ue[before]};
                    std::memcpy(PolygonUVs + 4 * size_t(out), uvs, 16);
                }
            }
        }
    };
    KSN_RunInBlocks(size_t(P), 4096, build);
    PlaceNewVertices(parent, points.Next, records);
    FinishFromParent(points.Next, texturePoints.Next, records);
    return true;
}

// ============================================================================
// [SECTION] Texel-driven subdivision
// ============================================================================

bool TKSN_SubDMesh::DynamicSubdivide(TKSN_SubDMesh* parent, int allowance)
{
    assert(parent && "DynamicSubdivide needs the level below");
    BeginFromParent(parent);

    // Needed resolution: the texels an edge leaving each vertex spans.
    std::vector<int32_t> need(size_t(std::max(ParentVertexCount, 0)), 0);
    int previousMaterial = 0, resolution = 0;
    for (int p = 0; p < ParentPolygonCount; ++p) {
        const int material = parent->vGetPolyM(p);
        if (p == 0 || material != previousMaterial) resolution = MaterialResolution(*parent, material);
        previousMaterial = material;
        if (resolution <= 0) continue;
        const int m = parent->vGetPolyN(p);
        for (int k = 0; k < m; ++k) {
            const int t0 = parent->vGetPolyVT(p, k), t1 = parent->vGetPolyVT(p, (k + 1) % m);
            if (t0 < 0 || t1 < 0) continue;
            const float* a = parent->tVertices + 2 * t0;
            const float* c = parent->tVertices + 2 * t1;
            const int value = std::max(int(std::fabs(c[0] - a[0]) * float(resolution)),
                                       int(std::fabs(c[1] - a[1]) * float(resolution)));
            int32_t& slot = need[size_t(parent->vGetPolyV(p, k))];
            slot = std::max(slot, value);
        }
    }
    // Depends only on the two ends, so both polygons of a side agree on it.
    auto split = [&](int a, int b) { return std::max(need[size_t(a)], need[size_t(b)]) > 0; };

    for (int p = 0; p < ParentPolygonCount; ++p) {
        const int m = parent->vGetPolyN(p);
        int sides = 0;
        for (int k = 0; k < m; ++k) sides += split(parent->vGetPolyV(p, k), parent->vGetPolyV(p, (k + 1) % m));
        EdgePointAllowance += sides;
        if (sides > 0) {
            ++FacePointCount;
            ChildPolygonCount += 4;
        } else {
            ++ChildPolygonCount;
        }
    }
    if (ChildPolygonCount > allowance || FacePointCount == 0) {
        FacePointCount = ChildPolygonCount = EdgePointAllowance = 0;
        return false;
    }

    TKSN_SubDRecords records;
    SizeFromParentAndCopyVertices(parent, records);

    TLevelBuilder b(*this, records);
    for (int p = 0; p < ParentPolygonCount; ++p) {
        if (p % 1000 == 0) OS.DoProgress();
        int32_t c[4], t[4];
        const int m = ReadParentCorners(parent, p, c, t);
        const int32_t owner = parent->Polygons[p].Owner;
        int32_t ring[8], uring[8];
        int n = 0, sides = 0;
        for (int k = 0; k < m; ++k) {
            const int k1 = (k + 1) % m;
            ring[n] = c[k];
            uring[n++] = t[k];
            if (split(c[k], c[k1])) {
                ring[n] = b.EdgePoint(c[k], c[k1]);
                uring[n++] = b.TexEdgePoint(t[k], t[k1]);
                ++sides;
            }
        }
        if (sides == 0) {
            const int32_t uvs[4] = {t[0], t[1], t[2], t[m - 1]};
            b.AddPolygon(c[0], c[1], c[2], c[m - 1], uvs, owner);
            continue;
        }
        int32_t f, uf;
        b.FacePoint(c, t, m, f, uf);
        auto child = [&](int i0, int i1, int i2) {
            const int32_t uvs[4] = {uf, uring[i0], uring[i1], uring[i2]};
            b.AddPolygon(f, ring[i0], ring[i1], ring[i2], uvs, owner);
        };
        child(n - 1, 0, 1);
        for (int j = 1; j + 1 < n; j += 2) child(j, j + 1, j + 2 < n ? j + 2 : j + 1);
    }
    if (b.Out != polygonCount) SetPolygonCount(b.Out);
    FinishFromParent(b.NextV, b.NextT, records);
    AfterRawBuild();
    SmoothVertices();
    return true;
}

// ============================================================================
// [SECTION] Smoothing
// ============================================================================

void TKSN_SubDMesh::SmoothVertices()
{
    if (vertexCount <= 0 || !resolvedVertices || !baseVertices) return;
    // Sums of x, y, z and the weight in the lanes of one vector per vertex:
    // each lane adds and divides as the scalar steps would, in the same order.
    using TFloat4 = float __attribute__((vector_size(16)));
    std::vector<TFloat4> acc(size_t(vertexCount), TFloat4{0, 0, 0, 0});
    for (int p = 0; p < polygonCount; ++p) {
        const int32_t* corners = &Polygons[p].Corner0;
        float s[3] = {0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 3; ++i) s[i] += resolvedVertices[3 * corners[k] + i];
        const TFloat4 add = {s[0], s[1], s[2], 4.0f};
        for (int k = 0; k < 4; ++k) acc[size_t(corners[k])] += add;
    }
    for (int v = 0; v < vertexCount; ++v) {
        const TFloat4 a = acc[size_t(v)];
        if (!(a[3] > 0.1f)) continue;
        const TFloat4 mean = a / TFloat4{a[3], a[3], a[3], a[3]};
        for (int i = 0; i < 3; ++i) baseVertices[3 * v + i] = mean[i];
    }
}

void TKSN_SubDMesh::SmoothVerticesFromRows()
{
    if (vertexCount <= 0 || !resolvedVertices || !baseVertices) return;
    if (vertexPolygons.GetRowCount() != vertexCount || !KSN_PoolCanShare()) {
        SmoothVertices();
        return;
    }
    // Each polygon's corner sum once, then every vertex adds its polygons'
    // sums in polygon order, once per corner naming it, as SmoothVertices'
    // scatter does: the same sums, rounded the same way.
    std::vector<float> sums(3 * size_t(polygonCount));
    auto polygonPass = [&](size_t first, size_t end) {
        for (size_t p = first; p < end; ++p) {
            const int32_t* corners = &Polygons[p].Corner0;
            float s[3] = {0, 0, 0};
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < 3; ++i) s[i] += resolvedVertices[3 * corners[k] + i];
            for (int i = 0; i < 3; ++i) sums[3 * p + size_t(i)] = s[i];
        }
    };
    KSN_RunInBlocks(size_t(polygonCount), 8192, polygonPass);
    auto vertexPass = [&](size_t first, size_t end) {
        for (size_t v = first; v < end; ++v) {
            float a[4] = {0, 0, 0, 0};
            const int* row = vertexPolygons[int(v)];
            int previous = -1;
            for (int k = 1; k <= row[0]; ++k) {
                const int p = row[k];
                if (p == previous) continue;
                previous = p;
                const int32_t* c = &Polygons[p].Corner0;
                const float* s = &sums[3 * size_t(p)];
                for (int j = 0; j < 4; ++j)
                    if (c[j] == int32_t(v)) {
                        a[0] += s[0];
                        a[1] += s[1];
                        a[2] += s[2];
                        a[3] += 4.0f;
                    }
            }
            if (!(a[3] > 0.1f)) continue;
            using TFloat4 = float __attribute__((vector_size(16)));
            const TFloat4 mean = TFloat4{a[0], a[1], a[2], a[3]} / TFloat4{a[3], a[3], a[3], a[3]};
            for (int i = 0; i < 3; ++i) baseVertices[3 * v + size_t(i)] = mean[i];
        }
    };
    KSN_RunInBlocks(size_t(vertexCount), 8192, vertexPass);
}

// ============================================================================
// [SECTION] Carrying base-mesh triples up the levels
// ============================================================================

void Interpolate_VArray_From_Base(TKSN_Mesh* mesh, int level, const float* source, float* dest, int /*components*/,
                                  int startLevel)
{
    if (!mesh || !source || !dest || !mesh->GetSubD(level)) return;
    if (mesh->vertexCount > 0) std::memcpy(dest, source, size_t(mesh->vertexCount) * 12);
    for (int b = startLevel + 1; b <= level; ++b) {
        TKSN_SubDMesh* l = mesh->GetSubD(b);
        const int32_t* records = l ? l->GetVertexParentLookup() : nullptr;
        if (!records) return;
        // In place: parents always have smaller indices than a level's new
        // vertices, and carried-over vertices are not rewritten.
        for (int i = 0; i < l->vertexCount; ++i) {
            const int32_t* r = records + 4 * size_t(i);
            if (r[0] == i) continue;
            float sum[3] = {0, 0, 0};
            int terms = 0;
            for (int k = 0; k < 4 && r[k] != i; ++k, ++terms)
                for (int c = 0; c < 3; ++c) sum[c] += dest[3 * r[k] + c];
            for (int c = 0; c < 3; ++c) dest[3 * i + c] = sum[c] / float(terms);
        }
    }
}
