// TQORPolyMesh: topology derived from the polygons — the texture-vertex table,
// the polygon-neighbour table, the edge list with its per-vertex buckets and
// its edge-polygon table, and the open-edge and texture-seam bits of the
// vertices.
//
// Throughout, the vertex of a corner is the vertex as the topology sees it:
// the weld master on a mesh that is Welded and not IgnoreWelding, else the
// corner's own vertex (GetEffectiveVertex); this is also the key of the mesh
// root's vertex-to-polygon table, which must be current before any builder
// here runs. A corner that names no vertex of the mesh (possible only in the
// middle of an edit) takes part in nothing.
//
// The texture-vertex and neighbour tables are built with the two-pass
// TQORLookupTable protocol: the count pass and the add pass walk the same
// items in the same order, so no row can overflow. Edges are found vertex by
// vertex from the polygons around each (its vertex-to-polygon row, gathered
// once per round with their corners' topology vertices): the sides whose
// smaller vertex it is, merged by their other vertex. The edges come out in a
// fixed order (ascending smaller vertex, then first appearance) without a
// global sort or hash, and no vertex has a heap block of its own. A first
// round over blocks of vertices counts each block's edges and edge-polygon
// entries (and sets the open-edge bits when asked); the second, with every
// block's place known, writes the edges and lays out the edge-polygon rows
// directly, so the result does not depend on how the pool splits the work.
//
// Index
//   [SECTION] Helpers
//   [SECTION] Texture-vertex and neighbour tables
//   [SECTION] Edges
//   [SECTION] Open edges and seams
#include "QORPolyMesh.h"

#include "QORThreads.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// [SECTION] Helpers
// ---------------------------------------------------------------------------

namespace {

int CornerCount(const TQORPolygon& p)
{
    return (p.Points && p.Count > 0) ? p.Count : 0;
}

// The topology vertex of a raw corner vertex, or −1 when it names no vertex.
int TopoVertex(const TQORPolyMesh& mesh, int v)
{
    return (v >= 0 && v < mesh.vertexCount) ? mesh.GetEffectiveVertex(v) : -1;
}

// Texture coordinates count as the same within 1e-8 on both axes. A corner
// without a texture vertex (−1, or an index the mesh does not have) is a seam
// side: it never equals anything and its coordinates are never read.
bool SameTextureCoordinates(const TQORPolyMesh& mesh, int a, int b)
{
    if (a < 0 || a >= mesh.tVertexCount || b < 0 || b >= mesh.tVertexCount) return false;
    for (int c = 0; c < 2; ++c) {
        const float d = mesh.tVertices[2 * a + c] - mesh.tVertices[2 * b + c];
        if (!(d > -1e-8f && d < 1e-8f)) return false;
    }
    return true;
}

// The vertex-to-polygon row of v, or an empty row when the table does not reach v.
const int* VertexRow(const TQORPolyMesh& mesh, int v)
{
    static const int kEmptyRow[1] = {0};
    if (v < 0 || v >= mesh.vertexPolygons.GetRowCount()) return kEmptyRow;
    return mesh.vertexPolygons[v];
}

// One side of a polygon (corner g to corner g + 1), filed under its smaller vertex.
struct TPolygonSide {
    int32_t Hi;        // the larger vertex
    int32_t Polygon;
    int32_t VtLo, VtHi;   // texture vertices at the smaller and the larger vertex
};

}  // namespace

void TQORPolygonEdge::GetOppositeVTs(int& vtFirst, int& vtSecond, int first, int /*second*/, int ownVtFirst,
                                     int ownVtSecond) const
{
    const int i = (first == V1) ? 0 : 1;
    const int j = 1 - i;
    if (SideA[i] == ownVtFirst && SideA[j] == ownVtSecond) {
        vtFirst = SideB[i];
        vtSecond = SideB[j];
    } else {
        vtFirst = SideA[i];
        vtSecond = SideA[j];
    }
}

// ---------------------------------------------------------------------------
// [SECTION] Texture-vertex and neighbour tables
// ---------------------------------------------------------------------------

void TQORPolyMesh::BuildTVertexPolygons()
{
    if (tVertexCount <= 0) return;
    auto walk = [this](auto&& file) {
        for (int p = 0; p < polygonCount; ++p) {
            const TQORPolygon& poly = Polygons[p];
            const int n = CornerCount(poly);
            for (int k = 0; k < n; ++k) {
                const int vt = poly.Points[k].VT;
                if (vt >= 0 && vt < tVertexCount) file(vt, p);
            }
        }
    };
    TVertexPolygons.PrepareFirstPass(tVertexCount);
    walk([this](int vt, int) { TVertexPolygons.CountItem(vt); });
    TVertexPolygons.PrepareSecondPass();
    walk([this](int vt, int p) { TVertexPolygons.AddItem(vt, p); });
    TVertexPolygons.Finalize();
}

void TQORPolyMesh::CleanPolygonNeighbors()
{
    PolygonNeighbors.Clean();
}

void TQORPolyMesh::BuildPolygonNeighbors()
{
    // The custom flag marks the neighbours already listed for the polygon at
    // hand; both passes replay the same marking, so they find the same rows.
    auto walk = [this](int p, auto&& file) {
        const TQORPolygon& poly = Polygons[p];
        const int n = CornerCount(poly);
        for (int k = 0; k < n; ++k) {
            const int* row = VertexRow(*this, TopoVertex(*this, poly.Points[k].V));
            for (int i = 1; i <= row[0]; ++i) PolygonFlags[row[i]] &= ~uint32_t(QORPoly_Custom);
        }
        for (int k = 0; k < n; ++k) {
            const int* row = VertexRow(*this, TopoVertex(*this, poly.Points[k].V));
            for (int i = 1; i <= row[0]; ++i) {
                const int q = row[i];
                if (q == p || (PolygonFlags[q] & QORPoly_Custom)) continue;
                PolygonFlags[q] |= QORPoly_Custom;
                file(q);
            }
        }
    };
    PolygonNeighbors.PrepareFirstPass(polygonCount);
    for (int p = 0; p < polygonCount; ++p) walk(p, [&](int) { PolygonNeighbors.CountItem(p); });
    PolygonNeighbors.PrepareSecondPass();
    for (int p = 0; p < polygonCount; ++p) walk(p, [&](int q) { PolygonNeighbors.AddItem(p, q); });
    PolygonNeighbors.Finalize();
}

// ---------------------------------------------------------------------------
// [SECTION] Edges
// ---------------------------------------------------------------------------

namespace {

// On the pool when it is free; a holder elsewhere (or a call from inside a
// pool job) gets the work done on this thread instead of waiting.
void RunTopologyBlocks(size_t count, size_t block, TQORBlockFunc fn, void* job)
{
    TThreadCruncher_Releaser releaser;
    if (ThreadCruncher && count > block && ThreadCruncher->TryStartUsing(releaser))
        ThreadCruncher->ProcessBlocks(count, block, fn, job);
    else
        fn(0, count, job);
}

// The polygons around one vertex as its vertex-to-polygon row lists them,
// each run of equal entries (a polygon with several corners at the vertex)
// kept once with its length, and the topology vertices of their corners: all
// that the edges, the edge-polygon table and the open-edge bits of the vertex
// read, gathered once.
struct TVertexStar {
    struct TRun {
        int32_t Polygon;
        int32_t Times;   // entries of the row naming the polygon in a row
        int32_t First;   // its first corner in Topo
        int32_t Count;   // its corners
    };
    std::vector<TRun> Runs;
    std::vector<int32_t> Topo;

    void Gather(const TQORPolyMesh& mesh, int v)
    {
        Runs.clear();
        Topo.clear();
        const int* row = VertexRow(mesh, v);
        // TopoVertex with the mesh's fields read once, not after every store.
        const TQORVertexInfo* weldMap = (mesh.Welded && !mesh.IgnoreWelding) ? mesh.VertexInfo : nullptr;
        const uint32_t vertexCount = uint32_t(std::max(0, mesh.vertexCount));
        for (int i = 1; i <= row[0]; ++i) {
            const int q = row[i];
            if (!Runs.empty() && Runs.back().Polygon == q) {
                ++Runs.back().Times;
                continue;
            }
            const TQORPolygon& poly = mesh.Polygons[q];
            const int n = CornerCount(poly);
            const size_t first = Topo.size();
            Runs.push_back(TRun{q, 1, int32_t(first), n});
            Topo.resize(first + size_t(n));
            int32_t* topo = Topo.data() + first;
            for (int k = 0; k < n; ++k) {
                const int w = poly.Points[k].V;
                topo[k] = uint32_t(w) >= vertexCount ? -1 : weldMap ? weldMap[w].WeldMaster : w;
            }
        }
    }
};

// The sides whose smaller vertex is lo come from the polygons around lo: each
// polygon once, in row order, its sides in corner order, which is the order
// of a walk over all polygons.
template <class Visit>
void ForEachSideAt(const TQORPolyMesh& mesh, const TVertexStar& star, int lo, Visit&& visit)
{
    for (const TVertexStar::TRun& run : star.Runs) {
        const int32_t* topo = star.Topo.data() + run.First;
        const TQORPolygonPoint* points = mesh.Polygons[run.Polygon].Points;
        const int n = run.Count;
        for (int g = 0; g < n; ++g) {
            const int t = (g + 1 < n) ? g + 1 : 0;
            const int h = topo[g], u = topo[t];
            if (h == u || h < 0 || u < 0 || std::min(h, u) != lo) continue;
            const int a = points[g].VT, b = points[t].VT;
            if (h < u)
                visit(TPolygonSide{u, run.Polygon, a, b});
            else
                visit(TPolygonSide{h, run.Polygon, b, a});
        }
    }
}

// The other vertices of lo's edges in order of first appearance, each with
// its place in that order. Short lists are searched; a vertex with many
// edges (the centre of a large fan) gets a hash index.
class TEdgeEnds {
public:
    void Clear()
    {
        Ends.clear();
        if (!Index.empty()) Index.clear();
    }
    // The place of hi, and whether it is new.
    std::pair<int, bool> Find(int hi)
    {
        if (Ends.size() <= kSearched) {
            for (size_t i = 0; i < Ends.size(); ++i)
                if (Ends[i] == hi) return {int(i), false};
            Ends.push_back(hi);
            if (Ends.size() > kSearched)
                for (size_t i = 0; i < Ends.size(); ++i) Index.emplace(Ends[i], int(i));
            return {int(Ends.size()) - 1, true};
        }
        const auto [at, fresh] = Index.emplace(hi, int(Ends.size()));
        if (fresh) Ends.push_back(hi);
        return {at->second, fresh};
    }
    // The place of hi, or −1 when lo has no edge to it.
    int Lookup(int hi) const
    {
        if (Ends.size() <= kSearched) {
            for (size_t i = 0; i < Ends.size(); ++i)
                if (Ends[i] == hi) return int(i);
            return -1;
        }
        const auto at = Index.find(hi);
        return at == Index.end() ? -1 : at->second;
    }
    size_t Count() const { return Ends.size(); }

private:
    static constexpr size_t kSearched = 24;
    std::vector<int32_t> Ends;
    std::unordered_map<int32_t, int> Index;
};

// The polygons of an edge of lo are those around lo with a corner at its
// other end, once per entry of lo's row (a polygon passing lo twice is listed
// twice), in row order. visit(place of the edge in lo's list, polygon) for
// each, in that order.
template <class Visit>
void ForEachEdgePolygon(const TVertexStar& star, const TEdgeEnds& ends, int lo, std::vector<int32_t>& marks,
                        Visit&& visit)
{
    marks.assign(ends.Count(), -1);
    for (size_t r = 0; r < star.Runs.size(); ++r) {
        const TVertexStar::TRun& run = star.Runs[r];
        const int32_t* topo = star.Topo.data() + run.First;
        for (int k = 0; k < run.Count; ++k) {
            if (topo[k] <= lo) continue;   // an edge's other end is the larger vertex
            const int at = ends.Lookup(topo[k]);
            if (at < 0 || marks[size_t(at)] == int32_t(r)) continue;
            marks[size_t(at)] = int32_t(r);
            for (int32_t t = 0; t < run.Times; ++t) visit(at, run.Polygon);
        }
    }
}

// The open-edge and seam bits of v from the polygons around it.
//
// Around an inner vertex of a closed surface every neighbour is seen from two
// polygons (the corners before and after the vertex's first corner in each);
// a border vertex has neighbours seen only once, and a polygon whose corner
// neighbours name no vertex makes it open too. A vertex is on a seam when its
// corners name more than one texture vertex; a corner without one counts as
// another side once a texture vertex has been seen.
uint32_t OpenAndSeamBits(const TQORPolyMesh& mesh, const TVertexStar& star, int v, std::vector<int32_t>& neighbours,
                         std::vector<int32_t>& sorted);

// The edge build in two rounds over blocks of vertices: first how many edges
// and edge-polygon entries each block of kEdgeBlock vertices holds, then,
// with every block's place known, the edges, their rows of EdgeRowStart and
// the edge-polygon table's rows themselves. Each vertex writes only its own
// edges and rows; the open-edge bits, when asked for, come with the first.
constexpr size_t kEdgeBlock = 4096;

struct TEdgeBuildJob {
    TQORPolyMesh* Mesh;
    bool Fill;               // false: count into BlockEdges and BlockEntries
    bool WithOpenEdges;
    std::vector<int32_t> BlockEdges, BlockEntries;   // per block; its first edge and entry once filled
};

void EdgeBuildBlock(size_t firstVertex, size_t endVertex, void* p)
{
    auto* job = static_cast<TEdgeBuildJob*>(p);
    TQORPolyMesh& mesh = *job->Mesh;
    const bool hasTextureVertices = mesh.tVertexCount > 0;
    TVertexStar star;
    TEdgeEnds ends;
    std::vector<int32_t> marks, lengths, neighbours, sorted;
    // The range handed over may hold several blocks (or all vertices at once).
    for (size_t blockFirst = firstVertex; blockFirst < endVertex;) {
        const size_t b = blockFirst / kEdgeBlock;
        const size_t blockEnd = std::min(endVertex, (b + 1) * kEdgeBlock);
        int32_t edge = job->Fill ? job->BlockEdges[b] : 0;
        int32_t entry = job->Fill ? job->BlockEntries[b] : 0;
        for (int lo = int(blockFirst); lo < int(blockEnd); ++lo) {
            star.Gather(mesh, lo);
            ends.Clear();
            if (!job->Fill) {
                if (job->WithOpenEdges) {
                    uint32_t& flags = mesh.VertexInfo[lo].Flags;
                    flags = (flags & ~uint32_t(QORVertex_OpenEdge | QORVertex_TextureSeam)) |
                            OpenAndSeamBits(mesh, star, lo, neighbours, sorted);
                }
                ForEachSideAt(mesh, star, lo, [&](const TPolygonSide& side) { ends.Find(side.Hi); });
                edge += int32_t(ends.Count());
                ForEachEdgePolygon(star, ends, lo, marks, [&](int, int) { ++entry; });
                continue;
            }
            mesh.EdgeRowStart[size_t(lo)] = edge;
            // The first polygon gives SideA, a later polygon with other texture
            // coordinates on the edge gives SideB, and the first four distinct
            // polygons take the slots.
            TQORPolygonEdge* row = mesh.Edges.data() + edge;
            ForEachSideAt(mesh, star, lo, [&](const TPolygonSide& side) {
                const auto [at, fresh] = ends.Find(side.Hi);
                TQORPolygonEdge* e = row + at;
                if (fresh) {
                    *e = TQORPolygonEdge{};
                    e->V1 = lo;
                    e->V2 = side.Hi;
                    e->SideA[0] = e->SideB[0] = side.VtLo;
                    e->SideA[1] = e->SideB[1] = side.VtHi;
                } else if (hasTextureVertices) {
                    const bool same = SameTextureCoordinates(mesh, side.VtLo, e->SideA[0]) &&
                                      SameTextureCoordinates(mesh, side.VtHi, e->SideA[1]);
                    if (!same) {
                        e->SideB[0] = side.VtLo;
                        e->SideB[1] = side.VtHi;
                    }
                }
                // A polygon passing the edge twice takes one slot.
                for (int32_t& slot : e->PolygonSlots) {
                    if (slot == side.Polygon) break;
                    if (slot == -1) {
                        slot = side.Polygon;
                        break;
                    }
                }
            });
            // The edges' polygon rows follow each other in edge order.
            lengths.assign(ends.Count(), 0);
            ForEachEdgePolygon(star, ends, lo, marks, [&](int at, int) { ++lengths[size_t(at)]; });
            for (size_t j = 0; j < ends.Count(); ++j) {
                mesh.EdgePolygons.PlaceRow(edge + int32_t(j), entry);
                entry += lengths[j];
            }
            ForEachEdgePolygon(star, ends, lo, marks, [&](int at, int polygon) {
                int* polygons = mesh.EdgePolygons[edge + at];
                polygons[++polygons[0]] = polygon;
            });
            edge += int32_t(ends.Count());
        }
        if (!job->Fill) {
            job->BlockEdges[b] = edge;
            job->BlockEntries[b] = entry;
        }
        blockFirst = blockEnd;
    }
}

}  // namespace

void TQORPolyMesh::BuildPolygonEdges(bool withOpenEdges)
{
    const int nv = std::max(0, vertexCount);
    // One edge per vertex pair, numbered in order of the smaller vertex and
    // then of the pair's first side.
    const size_t blocks = (size_t(nv) + kEdgeBlock - 1) / kEdgeBlock;
    TEdgeBuildJob job{this, false, withOpenEdges, std::vector<int32_t>(blocks, 0), std::vector<int32_t>(blocks, 0)};
    RunTopologyBlocks(size_t(nv), kEdgeBlock, EdgeBuildBlock, &job);
    int32_t edges = 0, entries = 0;
    for (size_t b = 0; b < blocks; ++b) {
        const int32_t blockEdges = job.BlockEdges[b], blockEntries = job.BlockEntries[b];
        job.BlockEdges[b] = edges;
        job.BlockEntries[b] = entries;
        edges += blockEdges;
        entries += blockEntries;
    }
    EdgeRowStart.assign(size_t(nv) + 1, 0);
    EdgeRowStart[size_t(nv)] = edges;
    Edges.clear();
    Edges.shrink_to_fit();
    Edges.resize(size_t(edges));
    EdgeCount = edges;
    // Also with no edge, so that no table of an earlier topology survives.
    if (edges == 0) {
        EdgePolygons.Clean();
        return;
    }
    EdgePolygons.PrepareRows(edges, entries);
    job.Fill = true;
    RunTopologyBlocks(size_t(nv), kEdgeBlock, EdgeBuildBlock, &job);
    EdgePolygons.Finalize();
}

namespace {

// The edge-polygon scan over blocks of edges: each edge's count, and its
// first two polygons (all an edge of a manifold has) kept at once; an edge
// with more is scanned again once the counts have become offsets.
struct TEdgePolygonsJob {
    const TQORPolyMesh* Mesh;
    std::vector<int32_t>* Counts;
    std::vector<int32_t>* FirstTwo;   // two per edge
    std::vector<int32_t>* Offsets;    // where each edge's polygons start in Found; null in the first round
    std::vector<int32_t>* Found;
};

void EdgePolygonsBlock(size_t firstEdge, size_t endEdge, void* p)
{
    auto* job = static_cast<TEdgePolygonsJob*>(p);
    const TQORPolyMesh& mesh = *job->Mesh;
    const bool rescan = job->Found != nullptr;
    for (size_t e = firstEdge; e < endEdge; ++e) {
        if (rescan && (*job->Counts)[e] <= 2) continue;
        const TQORPolygonEdge& edge = mesh.Edges[e];
        const int* row = VertexRow(mesh, edge.V1);
        int32_t count = 0;
        for (int i = 1; i <= row[0]; ++i) {
            const int q = row[i];
            const TQORPolygon& poly = mesh.Polygons[q];
            const int n = CornerCount(poly);
            for (int k = 0; k < n; ++k)
                if (TopoVertex(mesh, poly.Points[k].V) == edge.V2) {
                    if (rescan)
                        (*job->Found)[size_t((*job->Offsets)[e] + count)] = q;
                    else if (count < 2)
                        (*job->FirstTwo)[2 * e + size_t(count)] = q;
                    ++count;
                    break;
                }
        }
        if (!rescan) (*job->Counts)[e] = count;
    }
}

}  // namespace

void TQORPolyMesh::BuildEdgePolygonsTable()
{
    if (EdgeCount <= 0) {
        EdgePolygons.Clean();
        return;
    }
    // The polygons of an edge: those around V1 with a corner at V2, in the
    // order of V1's row. Found into flat arrays, then replayed for the table's
    // two passes.
    const size_t edges = size_t(EdgeCount);
    std::vector<int32_t> counts(edges), firstTwo(2 * edges), offsets, found;
    TEdgePolygonsJob job{this, &counts, &firstTwo, nullptr, nullptr};
    RunTopologyBlocks(edges, 16384, EdgePolygonsBlock, &job);

    EdgePolygons.PrepareFirstPass(EdgeCount);
    bool crowded = false;   // an edge with more than two polygons
    for (size_t e = 0; e < edges; ++e) {
        for (int32_t c = 0; c < counts[e]; ++c) EdgePolygons.CountItem(int(e));
        crowded = crowded || counts[e] > 2;
    }
    if (crowded) {
        offsets.resize(edges);
        int32_t total = 0;
        for (size_t e = 0; e < edges; ++e) {
            offsets[e] = total;
            if (counts[e] > 2) total += counts[e];
        }
        found.resize(size_t(total));
        job.Offsets = &offsets;
        job.Found = &found;
        RunTopologyBlocks(edges, 16384, EdgePolygonsBlock, &job);
    }
    EdgePolygons.PrepareSecondPass();
    for (size_t e = 0; e < edges; ++e) {
        if (counts[e] <= 2) {
            for (int32_t c = 0; c < counts[e]; ++c) EdgePolygons.AddItem(int(e), firstTwo[2 * e + size_t(c)]);
        } else {
            for (int32_t c = 0; c < counts[e]; ++c) EdgePolygons.AddItem(int(e), found[size_t(offsets[e] + c)]);
        }
    }
    EdgePolygons.Finalize();
}

// ---------------------------------------------------------------------------
// [SECTION] Open edges and seams
// ---------------------------------------------------------------------------

namespace {

// The topology vertices before and after the first corner of the polygon at
// vertex; false when the polygon has no such corner or a neighbour names no
// vertex of the mesh (its counter does not exist).
bool CornerNeighbours(const TQORPolyMesh& mesh, int polygon, int vertex, int& prev, int& next)
{
    const TQORPolygon& poly = mesh.Polygons[polygon];
    const int n = CornerCount(poly);
    for (int c = 0; c < n; ++c) {
        if (TopoVertex(mesh, poly.Points[c].V) != vertex) continue;
        prev = TopoVertex(mesh, poly.Points[c == 0 ? n - 1 : c - 1].V);
        next = TopoVertex(mesh, poly.Points[c + 1 < n ? c + 1 : 0].V);
        return prev != -1 && next != -1;
    }
    return false;
}

}  // namespace

bool TQORPolyMesh::EnumeratePolyonPointNeighbors(int polygon, int vertex, int* counts)
{
    int prev = -1, next = -1;
    if (!CornerNeighbours(*this, polygon, vertex, prev, next)) return false;
    counts[prev] += 1;
    counts[next] += 1;
    return true;
}

bool TQORPolyMesh::CountPolyonPointNeighbors(int polygon, int vertex, int* counts)
{
    int prev = -1, next = -1;
    if (!CornerNeighbours(*this, polygon, vertex, prev, next)) return false;
    return counts[prev] > 1 && counts[next] > 1;
}

namespace {

// How often w occurs among the neighbours listed around one vertex.
int CountOf(const std::vector<int32_t>& neighbours, const std::vector<int32_t>& sorted, int w)
{
    if (sorted.empty())
        return int(std::count(neighbours.begin(), neighbours.end(), w));
    const auto range = std::equal_range(sorted.begin(), sorted.end(), w);
    return int(range.second - range.first);
}

uint32_t OpenAndSeamBits(const TQORPolyMesh& mesh, const TVertexStar& star, int v, std::vector<int32_t>& neighbours,
                         std::vector<int32_t>& sorted)
{
    if (star.Runs.empty()) return 0;
    // One walk over the corners of the vertex's polygons, each polygon as
    // often as the row names it, serves both bits.
    neighbours.clear();
    bool open = false, remembered = false, seam = false;
    int firstVt = -1;
    for (const TVertexStar::TRun& run : star.Runs) {
        const int32_t* topo = star.Topo.data() + run.First;
        const TQORPolygonPoint* points = mesh.Polygons[run.Polygon].Points;
        const int m = run.Count;
        for (int32_t time = 0; time < run.Times; ++time) {
            bool cornerSeen = false;
            for (int k = 0; k < m; ++k) {
                if (topo[k] != v) continue;
                if (!cornerSeen) {   // the neighbours of the polygon's first corner at v
                    cornerSeen = true;
                    const int prev = topo[k == 0 ? m - 1 : k - 1];
                    const int next = topo[k + 1 < m ? k + 1 : 0];
                    if (prev != -1 && next != -1) {
                        neighbours.push_back(prev);
                        neighbours.push_back(next);
                    } else {
                        open = true;
                    }
                }
                const int vt = points[k].VT;
                if (!remembered) {
                    if (vt == -1) continue;
                    firstVt = vt;
                    remembered = true;
                } else if (vt != firstVt) {
                    seam = true;
                }
            }
            if (!cornerSeen) open = true;
        }
    }
    if (!open) {
        // Few neighbours are counted by a scan; many (a fan) through a sorted copy.
        sorted.clear();
        if (neighbours.size() > 32) {
            sorted = neighbours;
            std::sort(sorted.begin(), sorted.end());
        }
        for (size_t i = 0; i < neighbours.size() && !open; ++i)
            open = CountOf(neighbours, sorted, neighbours[i]) <= 1;
    }
    return (open ? uint32_t(QORVertex_OpenEdge) : 0u) | (seam ? uint32_t(QORVertex_TextureSeam) : 0u);
}

struct TOpenEdgesJob {
    TQORPolyMesh* Mesh;
};

// The open-edge and seam bits of vertices first <= v < end; each vertex writes
// only its own flags, so blocks run side by side.
void OpenEdgesBlock(size_t firstVertex, size_t endVertex, void* p)
{
    TQORPolyMesh& mesh = *static_cast<TOpenEdgesJob*>(p)->Mesh;
    TVertexStar star;
    std::vector<int32_t> neighbours, sorted;   // kept across the block's vertices
    for (int v = int(firstVertex); v < int(endVertex); ++v) {
        star.Gather(mesh, v);
        uint32_t& flags = mesh.VertexInfo[v].Flags;
        flags = (flags & ~uint32_t(QORVertex_OpenEdge | QORVertex_TextureSeam)) |
                OpenAndSeamBits(mesh, star, v, neighbours, sorted);
    }
}

}  // namespace

void TQORPolyMesh::CalculateOpenEdges()
{
    if (vertexCount <= 0) return;
    TOpenEdgesJob job{this};
    RunTopologyBlocks(size_t(vertexCount), 8192, OpenEdgesBlock, &job);
}
