// The edge list of random meshes (welds, texture seams, repeated and missing
// corners, polygons passing a side twice) against a plain reference: the
// per-vertex buckets searched linearly, whose order and fields the edge build
// must reproduce exactly, and the edge-polygon table's defining walk.
#include "GeometryTestSupport.h"

#include <cstdint>
#include "QORThreads.h"
#include <vector>

namespace {

int RefTopo(const TQORPolyMesh& mesh, int v)
{
    return (v >= 0 && v < mesh.vertexCount) ? mesh.GetEffectiveVertex(v) : -1;
}

bool RefSameUV(const TQORPolyMesh& mesh, int a, int b)
{
    if (a < 0 || a >= mesh.tVertexCount || b < 0 || b >= mesh.tVertexCount) return false;
    for (int c = 0; c < 2; ++c) {
        const float d = mesh.tVertices[2 * a + c] - mesh.tVertices[2 * b + c];
        if (!(d > -1e-8f && d < 1e-8f)) return false;
    }
    return true;
}

std::vector<TQORPolygonEdge> ReferenceEdges(const TQORPolyMesh& mesh)
{
    std::vector<std::vector<TQORPolygonEdge>> buckets(size_t(mesh.vertexCount));
    auto find = [&](int lo, int hi) -> TQORPolygonEdge* {
        for (TQORPolygonEdge& e : buckets[size_t(lo)])
            if (e.V2 == hi) return &e;
        return nullptr;
    };
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < mesh.polygonCount; ++k) {
            const TQORPolygon& poly = mesh.Polygons[k];
            const int n = (poly.Points && poly.Count > 0) ? poly.Count : 0;
            for (int g = 0; g < n; ++g) {
                const int t = (g + 1 < n) ? g + 1 : 0;
                const int h = RefTopo(mesh, poly.Points[g].V), u = RefTopo(mesh, poly.Points[t].V);
                if (h == u || h < 0 || u < 0) continue;
                const int lo = std::min(h, u), hi = std::max(h, u);
                const int vtLo = h == lo ? poly.Points[g].VT : poly.Points[t].VT;
                const int vtHi = h == lo ? poly.Points[t].VT : poly.Points[g].VT;
                TQORPolygonEdge* e = find(lo, hi);
                if (pass == 1) {
                    for (int32_t& slot : e->PolygonSlots) {
                        if (slot == k) break;
                        if (slot == -1) {
                            slot = k;
                            break;
                        }
                    }
                } else if (!e) {
                    TQORPolygonEdge fresh;
                    fresh.V1 = lo;
                    fresh.V2 = hi;
                    fresh.SideA[0] = fresh.SideB[0] = vtLo;
                    fresh.SideA[1] = fresh.SideB[1] = vtHi;
                    buckets[size_t(lo)].push_back(fresh);
                } else if (mesh.tVertexCount > 0 &&
                           !(RefSameUV(mesh, vtLo, e->SideA[0]) && RefSameUV(mesh, vtHi, e->SideA[1]))) {
                    e->SideB[0] = vtLo;
                    e->SideB[1] = vtHi;
                }
            }
        }
    std::vector<TQORPolygonEdge> edges;
    for (const auto& bucket : buckets) edges.insert(edges.end(), bucket.begin(), bucket.end());
    return edges;
}

std::vector<int> ReferenceEdgePolygons(const TQORPolyMesh& mesh, const TQORPolygonEdge& edge)
{
    std::vector<int> polygons;
    const int* row = mesh.vertexPolygons[edge.V1];
    for (int i = 1; i <= row[0]; ++i) {
        const TQORPolygon& poly = mesh.Polygons[row[i]];
        for (int k = 0; k < poly.Count; ++k)
            if (RefTopo(mesh, poly.Points[k].V) == edge.V2) {
                polygons.push_back(row[i]);
                break;
            }
    }
    return polygons;
}

// The open-edge and seam bits by the counter-array walk over the public
// neighbour helpers.
std::vector<uint32_t> ReferenceOpenAndSeamBits(TQORPolyMesh& mesh)
{
    std::vector<uint32_t> bits(size_t(mesh.vertexCount), 0);
    std::vector<int> counters(size_t(mesh.vertexCount), 0);
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const int* row = mesh.vertexPolygons[v];
        const int n = row[0];
        if (n <= 0) continue;
        for (int i = 1; i <= n; ++i) {
            const TQORPolygon& poly = mesh.Polygons[row[i]];
            for (int k = 0; k < poly.Count; ++k) {
                const int w = RefTopo(mesh, poly.Points[k].V);
                if (w >= 0) counters[size_t(w)] = 0;
            }
        }
        for (int i = 1; i <= n; ++i) mesh.EnumeratePolyonPointNeighbors(row[i], v, counters.data());
        bool open = false;
        for (int i = 1; i <= n && !open; ++i) open = !mesh.CountPolyonPointNeighbors(row[i], v, counters.data());
        if (open) bits[size_t(v)] |= QORVertex_OpenEdge;
        bool remembered = false, seam = false;
        int first = -1;
        for (int i = 1; i <= n && !seam; ++i) {
            const TQORPolygon& poly = mesh.Polygons[row[i]];
            for (int k = 0; k < poly.Count && !seam; ++k) {
                if (RefTopo(mesh, poly.Points[k].V) != v) continue;
                const int vt = poly.Points[k].VT;
                if (!remembered) {
                    if (vt == -1) continue;
                    first = vt;
                    remembered = true;
                } else if (vt != first) {
                    seam = true;
                }
            }
        }
        if (seam) bits[size_t(v)] |= QORVertex_TextureSeam;
    }
    return bits;
}

TEST(PolyMeshEdgeOrder, RandomMeshesMatchTheBucketReference)
{
    ThreadCruncher_Initialize();   // large meshes find their open edges on the pool
    uint32_t state = 99u;
    auto next = [&](int n) {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % uint32_t(n));
    };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        // The last round is large enough to be split over the pool.
        const bool large = round == 59;
        const int vertices = large ? 30000 : 3 + next(40), tvertices = round % 5 == 0 ? 0 : 1 + next(30);
        const int polygons = large ? 25000 : next(80);
        auto mesh = std::make_unique<TQORPolyMesh>();
        mesh->Create(vertices, tvertices, vertices, polygons);
        for (int t = 0; t < tvertices; ++t)
            for (int c = 0; c < 2; ++c) mesh->tVertices[2 * t + c] = float(next(4)) * 0.25f;   // many equal UVs
        for (int p = 0; p < polygons; ++p) {
            TQORPolygon& poly = mesh->Polygons[p];
            const int n = 3 + next(4);
            poly.SetCount(unsigned(n));
            for (int k = 0; k < n; ++k) {
                poly.Points[k].V = next(10) == 0 ? poly.Points[0].V : next(vertices);   // sides passed twice
                if (next(25) == 0) poly.Points[k].V = vertices + 3;                     // names no vertex
                poly.Points[k].VT = tvertices == 0 || next(12) == 0 ? -1 : next(tvertices);
            }
        }
        if (round % 3 == 1) {   // a weld map: each vertex onto a master at or below it
            for (int v = 0; v < vertices; ++v) {
                const int master = next(3) == 0 ? next(v + 1) : v;
                mesh->VertexInfo[v].WeldMaster = mesh->VertexInfo[master].WeldMaster == master ? master : v;
            }
            mesh->Welded = true;
        }
        mesh->BuildVertexPolygons();
        const std::vector<uint32_t> bits = ReferenceOpenAndSeamBits(*mesh);
        mesh->CalculateOpenEdges();
        for (int v = 0; v < vertices; ++v)
            ASSERT_EQ(mesh->VertexInfo[v].Flags & uint32_t(QORVertex_OpenEdge | QORVertex_TextureSeam), bits[size_t(v)])
                << "vertex " << v;
        mesh->BuildPolygonEdges();

        const std::vector<TQORPolygonEdge> expected = ReferenceEdges(*mesh);
        ASSERT_EQ(mesh->EdgeCount, int(expected.size()));
        ASSERT_EQ(mesh->Edges.size(), expected.size());
        ASSERT_EQ(mesh->EdgeRowStart.size(), size_t(vertices) + 1);
        for (size_t e = 0; e < expected.size(); ++e) {
            SCOPED_TRACE(::testing::Message() << "edge " << e);
            const TQORPolygonEdge& got = mesh->Edges[e];
            EXPECT_EQ(got.V1, expected[e].V1);
            EXPECT_EQ(got.V2, expected[e].V2);
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(got.SideA[i], expected[e].SideA[i]);
                EXPECT_EQ(got.SideB[i], expected[e].SideB[i]);
            }
            for (int i = 0; i < 4; ++i) EXPECT_EQ(got.PolygonSlots[i], expected[e].PolygonSlots[i]);
            // The index from a vertex to its edges.
            EXPECT_GE(int(e), mesh->EdgeRowStart[size_t(got.V1)]);
            EXPECT_LT(int(e), mesh->EdgeRowStart[size_t(got.V1) + 1]);
            const int* row = mesh->EdgePolygons[int(e)];
            EXPECT_EQ(std::vector<int>(row + 1, row + 1 + row[0]), ReferenceEdgePolygons(*mesh, got));
        }
    }
}

} // namespace
