// UV-seam edges and corner tangents, and the normal refresh after a
// deformation step.
//
// Index
//   [SECTION] Helpers
//   [SECTION] Record vectors
//   [SECTION] Corner tangents
//   [SECTION] Building the table
//   [SECTION] Normals after deformation
//
// The build keeps the candidate set small: an edge is a candidate only when
// one of its ends is a border vertex or a UV-seam vertex as seen from the
// polygon, so a mesh with few seams fills a small ordered map. Sorting the
// candidates by (first vertex, second vertex, polygon) brings the records of
// one spatial edge next to each other, and pairing is one linear walk.
#include "KSN_Mesh_UVEdges.h"

#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "QORMemory.h"

#include <cmath>
#include <deque>
#include <map>
#include <new>
#include <tuple>

// ============================================================================
// [SECTION] Helpers
// ============================================================================

namespace {

constexpr float kTinyLength = 1e-30f;

// Loops over the system's lists raise instead of running forever when an
// index repeats.
class TListGuard {
public:
    TListGuard(const char* type, const char* variable, const char* list) : Type(type), Variable(variable), List(list) {}
    void Visit(int index)
    {
        if (index <= Last)
            QORThrowException("Infinite list traversal detected %s,%s,%s", Type, Variable, List);
        Last = index;
    }

private:
    const char* Type;
    const char* Variable;
    const char* List;
    int Last = -1;
};

float Length2(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1]); }
float Length3(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Unit length unless the vector is (nearly) zero, which stays as it is.
void Normalize2(float* v)
{
    const float len = Length2(v);
    if (len > kTinyLength) {
        v[0] /= len;
        v[1] /= len;
    }
}

void Normalize3(float* v)
{
    const float len = Length3(v);
    if (len > kTinyLength) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

// Texture coordinates of a texture vertex; (0, 0) for a corner without one.
void UVOf(const TKSN_Mesh* mesh, int vt, float* out)
{
    if (vt >= 0 && vt < mesh->tVertexCount && mesh->tVertices) {
        out[0] = mesh->tVertices[2 * vt];
        out[1] = mesh->tVertices[2 * vt + 1];
    } else {
        out[0] = out[1] = 0.0f;
    }
}

// Resolved position of a vertex; the origin for an index the mesh lacks.
void PositionOf(const TKSN_Mesh* mesh, int v, float* out)
{
    if (v >= 0 && v < mesh->vertexCount && mesh->resolvedVertices) {
        for (int i = 0; i < 3; ++i) out[i] = mesh->resolvedVertices[3 * v + i];
    } else {
        out[0] = out[1] = out[2] = 0.0f;
    }
}

// The vertex whose position stands for v: its entry in the active vertex map
// when a symmetry map is active and names a vertex, else v itself.
int MappedVertex(const TKSN_Mesh* mesh, int v)
{
    if (mesh->activeVertexPartnerA && v >= 0 && v < mesh->vertexCount) {
        const int mapped = mesh->activeVertexPartnerA[v];
        if (mapped >= 0 && mapped < mesh->vertexCount) return mapped;
    }
    return v;
}

void PolygonNormalOf(const TKSN_Mesh* mesh, int polygon, float* out)
{
    if (mesh->polygonNormals && polygon >= 0 && polygon < mesh->polygonCount) {
        for (int i = 0; i < 3; ++i) out[i] = mesh->polygonNormals[3 * polygon + i];
    } else {
        out[0] = out[1] = out[2] = 0.0f;
    }
}

int CornerCount(const TKSN_Mesh* mesh, int polygon)
{
    const TQORPolygon& poly = mesh->Polygons[polygon];
    return (poly.Points && poly.Count > 0) ? poly.Count : 0;
}

// The effective vertex of a corner (raw when welding is suspended); −1 when
// the corner names no vertex of the mesh.
int EffectiveCornerVertex(const TKSN_Mesh* mesh, int polygon, int corner)
{
    const int v = mesh->Polygons[polygon].Points[corner].V;
    return (v >= 0 && v < mesh->vertexCount) ? mesh->GetEffectiveVertex(v) : -1;
}

// Mean of the polygon's texture coordinates and of its effective vertices' positions.
void PolygonCentres(const TKSN_Mesh* mesh, int polygon, float* uvCentre, float* centre)
{
    uvCentre[0] = uvCentre[1] = 0.0f;
    centre[0] = centre[1] = centre[2] = 0.0f;
    const int n = CornerCount(mesh, polygon);
    if (n == 0) return;
    for (int k = 0; k < n; ++k) {
        float uv[2], p[3];
        UVOf(mesh, mesh->Polygons[polygon].Points[k].VT, uv);
        PositionOf(mesh, EffectiveCornerVertex(mesh, polygon, k), p);
        uvCentre[0] += uv[0];
        uvCentre[1] += uv[1];
        for (int i = 0; i < 3; ++i) centre[i] += p[i];
    }
    uvCentre[0] /= float(n);
    uvCentre[1] /= float(n);
    for (int i = 0; i < 3; ++i) centre[i] /= float(n);
}

// Edge normal = d × n (normalised), turned to point away from the polygon's
// centre as seen from the edge's midpoint.
void EdgeNormalAwayFromCentre(const float* d, const float* n, const float* mid, const float* centre, float* out)
{
    out[0] = d[1] * n[2] - d[2] * n[1];
    out[1] = d[2] * n[0] - d[0] * n[2];
    out[2] = d[0] * n[1] - d[1] * n[0];
    Normalize3(out);
    float toCentre[3] = {centre[0] - mid[0], centre[1] - mid[1], centre[2] - mid[2]};
    Normalize3(toCentre);
    if (out[0] * toCentre[0] + out[1] * toCentre[1] + out[2] * toCentre[2] > 0.0f) {
        for (int i = 0; i < 3; ++i) out[i] = -out[i];
    }
}

// Whether some polygon of vertex other than polygon has a corner on vertex
// with a texture vertex other than vt.
bool IsUVSeamVertexFrom(const TKSN_Mesh* mesh, int polygon, int vertex, int vt)
{
    if (vertex < 0 || vertex >= mesh->vertexPolygons.GetRowCount()) return false;
    const int* row = mesh->vertexPolygons[vertex];
    for (int i = 1; i <= row[0]; ++i) {
        const int q = row[i];
        if (q == polygon || q < 0 || q >= mesh->polygonCount) continue;
        const int n = CornerCount(mesh, q);
        for (int k = 0; k < n; ++k)
            if (EffectiveCornerVertex(mesh, q, k) == vertex && mesh->Polygons[q].Points[k].VT != vt) return true;
    }
    return false;
}

bool IsOpenEdgeVertex(const TKSN_Mesh* mesh, int v)
{
    return (mesh->VertexInfo[v].Flags & QORVertex_OpenEdge) != 0;
}

} // namespace

// ============================================================================
// [SECTION] Record vectors
// ============================================================================

void TKSN_UVEdge2::InitializeVectors(TKSN_Mesh* mesh)
{
    float A[3], B[3], a[2], b[2];
    PositionOf(mesh, MappedVertex(mesh, Vertex[0]), A);
    PositionOf(mesh, MappedVertex(mesh, Vertex[1]), B);
    UVOf(mesh, TVertex[0], a);
    UVOf(mesh, TVertex[1], b);

    float t[2] = {b[0] - a[0], b[1] - a[1]};
    float d[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]};
    UVLength = Length2(t);
    Length = Length3(d);
    if (UVLength != 0.0f) {
        t[0] /= UVLength;
        t[1] /= UVLength;
    }
    if (Length != 0.0f) {
        for (float& c : d) c /= Length;
    }
    UVNormal[0] = t[1];
    UVNormal[1] = -t[0];

    float n[3], uvCentre[2], centre[3];
    PolygonNormalOf(mesh, Polygon, n);
    PolygonCentres(mesh, Polygon, uvCentre, centre);

    float toUVCentre[2] = {uvCentre[0] - (a[0] + b[0]) * 0.5f, uvCentre[1] - (a[1] + b[1]) * 0.5f};
    Normalize2(toUVCentre);
    if (UVNormal[0] * toUVCentre[0] + UVNormal[1] * toUVCentre[1] > 0.0f) {
        UVNormal[0] = -UVNormal[0];
        UVNormal[1] = -UVNormal[1];
    }
    const float mid[3] = {(A[0] + B[0]) * 0.5f, (A[1] + B[1]) * 0.5f, (A[2] + B[2]) * 0.5f};
    EdgeNormalAwayFromCentre(d, n, mid, centre, EdgeNormal);
}

void TKSN_UVEdge2::UpdateVEdgeTangent(TKSN_Mesh* mesh)
{
    float P0[3], P1[3], M0[3], M1[3];
    PositionOf(mesh, Vertex[0], P0);
    PositionOf(mesh, Vertex[1], P1);
    PositionOf(mesh, MappedVertex(mesh, Vertex[0]), M0);
    PositionOf(mesh, MappedVertex(mesh, Vertex[1]), M1);

    float d[3] = {P0[0] - P1[0], P0[1] - P1[1], P0[2] - P1[2]};
    Length = Length3(d);
    if (Length != 0.0f) {
        for (float& c : d) c /= Length;
    }
    float n[3], uvCentre[2], centre[3];
    PolygonNormalOf(mesh, Polygon, n);
    PolygonCentres(mesh, Polygon, uvCentre, centre);
    const float mid[3] = {(M0[0] + M1[0]) * 0.5f, (M0[1] + M1[1]) * 0.5f, (M0[2] + M1[2]) * 0.5f};
    EdgeNormalAwayFromCentre(d, n, mid, centre, EdgeNormal);
}

// ============================================================================
// [SECTION] Corner tangents
// ============================================================================

bool IsPointConcave(TKSN_Mesh* mesh, TKSN_UVEdge2* edge, TKSN_UVEdge2* other, int corner, int farEnd)
{
    float e0[2], e1[2], f0[2], f1[2];
    UVOf(mesh, edge->TVertex[corner], e0);
    UVOf(mesh, edge->TVertex[farEnd], e1);
    UVOf(mesh, other->TVertex[corner], f0);
    UVOf(mesh, other->TVertex[farEnd], f1);

    float u1[2] = {e1[0] - e0[0], e1[1] - e0[1]};
    float u2[2] = {f1[0] - f0[0], f1[1] - f0[1]};
    // The other edge may hold the shared vertex at its far end: turn it so
    // that both vectors leave the shared corner.
    if (other->Vertex[corner] != edge->Vertex[corner]) {
        u2[0] = -u2[0];
        u2[1] = -u2[1];
    }
    Normalize2(u1);
    Normalize2(u2);
    float s[2] = {edge->UVNormal[0] + other->UVNormal[0], edge->UVNormal[1] + other->UVNormal[1]};
    float m[2] = {u1[0] + u2[0], u1[1] + u2[1]};
    Normalize2(s);
    Normalize2(m);
    return s[0] * m[0] + s[1] * m[1] > 0.0f;
}

namespace {

// The first record other than edge in the lists of `first` then `second`
// that has vertex with texture vertex vt at one of its ends.
TKSN_UVEdge2* FindCornerNeighbour(const TKSN_UVEdge2* edge, const TKSN_UVEdgeVertexLists& lists, int first,
                                  int second, int vertex, int vt)
{
    for (int v : {first, second}) {
        if (v < 0 || size_t(v) >= lists.size()) continue;
        const std::vector<TKSN_UVEdge2*>& list = lists[size_t(v)];
        TListGuard guard("TKSN_UVEdge2 *", "e", "List");
        for (int i = 0; i < int(list.size()); ++i) {
            guard.Visit(i);
            TKSN_UVEdge2* e = list[size_t(i)];
            if (e == edge) continue;
            for (int end = 0; end < 2; ++end)
                if (e->Vertex[end] == vertex && e->TVertex[end] == vt) return e;
        }
    }
    return nullptr;
}

} // namespace

void TKSN_UVEdge2::CalculateCornerTangents(TKSN_Mesh* mesh, const void* /*edgeMap*/,
                                          const TKSN_UVEdgeVertexLists& lists)
{
    if (Polygon == -1) return;
    TKSN_UVEdge2* neighbours[2] = {
        FindCornerNeighbour(this, lists, Vertex[0], Vertex[1], Vertex[0], TVertex[0]),
        FindCornerNeighbour(this, lists, Vertex[1], Vertex[0], Vertex[1], TVertex[1]),
    };
    for (int c = 0; c < 2; ++c) {
        CornerConvex[c] = 0;
        TKSN_UVEdge2* n = neighbours[c];
        if (!n) {
            CornerUVTangent[c][0] = UVNormal[0];
            CornerUVTangent[c][1] = UVNormal[1];
            for (int i = 0; i < 3; ++i) CornerTangent[c][i] = EdgeNormal[i];
            continue;
        }
        CornerNeighbour[c] = n->Index;
        for (int i = 0; i < 2; ++i) CornerUVTangent[c][i] = UVNormal[i] + n->UVNormal[i];
        for (int i = 0; i < 3; ++i) CornerTangent[c][i] = EdgeNormal[i] + n->EdgeNormal[i];
        Normalize2(CornerUVTangent[c]);
        Normalize3(CornerTangent[c]);
        CornerConvex[c] = IsPointConcave(mesh, this, n, c, 1 - c) ? 0 : 1;
    }
}

// ============================================================================
// [SECTION] Building the table
// ============================================================================

void BuildUVEdges2(TKSN_Mesh* mesh)
{
    QORfree(mesh->UVEdges);
    mesh->UVEdges = nullptr;
    mesh->UVEdgeCount = 0;
    // Every build starts from clean flags, also when no texture vertices
    // leave anything to mark.
    for (int p = 0; p < mesh->polygonCount; ++p) mesh->PolygonFlags[p] &= ~KSN_POLY_UV_SEAM;
    if (mesh->tVertexCount <= 0) {
        // The old table would name records that are gone.
        mesh->BuildPolygonUVEdgesTable();
        return;
    }

    using TKey = std::tuple<int, int, int>;   // first vertex, second vertex, polygon
    std::deque<TKSN_UVEdge2> records;         // stable addresses for the map and the links
    std::map<TKey, TKSN_UVEdge2*> candidates;

    for (int i = 0; i < mesh->polygonCount; ++i) {
        const int n = CornerCount(mesh, i);
        for (int j = 0; j < n; ++j) {
            const int k = j == 0 ? n - 1 : j - 1;
            const int a = EffectiveCornerVertex(mesh, i, k);
            const int b = EffectiveCornerVertex(mesh, i, j);
            if (a < 0 || b < 0) continue;
            const int vtA = mesh->Polygons[i].Points[k].VT;
            const int vtB = mesh->Polygons[i].Points[j].VT;
            if (!IsOpenEdgeVertex(mesh, a) && !IsOpenEdgeVertex(mesh, b)) {
                if (!IsUVSeamVertexFrom(mesh, i, b, vtB) && !IsUVSeamVertexFrom(mesh, i, a, vtA)) continue;
            }
            TKSN_UVEdge2 record;
            record.Vertex[0] = a;
            record.Vertex[1] = b;
            record.TVertex[0] = vtA;
            record.TVertex[1] = vtB;
            record.Polygon = i;
            if (b < a) {
                std::swap(record.Vertex[0], record.Vertex[1]);
                std::swap(record.TVertex[0], record.TVertex[1]);
            }
            const TKey key{record.Vertex[0], record.Vertex[1], i};
            // A polygon that runs along the same edge twice keeps its first record.
            if (candidates.count(key)) continue;
            records.push_back(record);
            TKSN_UVEdge2* entry = &records.back();
            candidates.emplace(key, entry);
            entry->InitializeVectors(mesh);
        }
    }

    // Pairing: the records of one vertex pair are neighbours in key order.
    TKSN_UVEdge2* previous = nullptr;
    for (auto& [key, record] : candidates) {
        if (previous && previous->PartnerPolygon == -1 && previous->Vertex[0] == record->Vertex[0] &&
            previous->Vertex[1] == record->Vertex[1]) {
            previous->PartnerPolygon = record->Polygon;
            record->PartnerPolygon = previous->Polygon;
            if (previous->TVertex[0] != record->TVertex[0] || previous->TVertex[1] != record->TVertex[1]) {
                previous->Seam = record->Seam = 1;
                previous->PartnerLink = record;
                record->PartnerLink = previous;
            }
        }
        previous = record;
    }

    std::vector<TKSN_UVEdge2*> kept;
    for (auto& [key, record] : candidates)
        if (record->Seam || record->PartnerPolygon == -1) kept.push_back(record);

    TKSN_UVEdgeVertexLists lists(size_t(mesh->vertexCount));
    for (int index = 0; index < int(kept.size()); ++index) {
        TKSN_UVEdge2* record = kept[size_t(index)];
        record->Index = index;
        mesh->PolygonFlags[record->Polygon] |= KSN_POLY_UV_SEAM;
        if (record->PartnerPolygon >= 0) mesh->PolygonFlags[record->PartnerPolygon] |= KSN_POLY_UV_SEAM;
        lists[size_t(record->Vertex[0])].push_back(record);
        lists[size_t(record->Vertex[1])].push_back(record);
    }

    if (!kept.empty()) {
        mesh->UVEdges = static_cast<TKSN_UVEdge2*>(QORalloc(uint64_t(kept.size()) * sizeof(TKSN_UVEdge2)));
        mesh->UVEdgeCount = int32_t(kept.size());
    }
    for (int index = 0; index < int(kept.size()); ++index) {
        TKSN_UVEdge2* record = kept[size_t(index)];
        if (record->PartnerLink) record->PartnerEdge = record->PartnerLink->Index;
        record->CalculateCornerTangents(mesh, &candidates, lists);
        TKSN_UVEdge2* stored = new (&mesh->UVEdges[index]) TKSN_UVEdge2(*record);
        stored->PartnerLink = nullptr;
    }

    mesh->BuildPolygonUVEdgesTable();
}

void TKSN_Mesh::BuildPolygonUVEdgesTable()
{
    PolygonUVEdges.PrepareFirstPass(polygonCount);
    for (int e = 0; e < UVEdgeCount; ++e) PolygonUVEdges.CountItem(UVEdges[e].Polygon);
    PolygonUVEdges.PrepareSecondPass();
    for (int e = 0; e < UVEdgeCount; ++e) PolygonUVEdges.AddItem(UVEdges[e].Polygon, e);
    PolygonUVEdges.Finalize();
}

// ============================================================================
// [SECTION] Normals after deformation
// ============================================================================

void RecalculateSelectedNormalsB(TKSN_Mesh* mesh, float* /*positions*/, float* polygonNormals, float* vertexNormals)
{
    const int count = mesh->GetSelectedVertexCount();
    if (count <= 0 || !mesh->SelectedVertices) return;
    const int rows = mesh->vertexPolygons.GetRowCount();
    auto rowOf = [&](int v) -> const int* {
        static const int kEmpty[1] = {0};
        return (v >= 0 && v < rows && v < mesh->vertexCount) ? mesh->vertexPolygons[v] : kEmpty;
    };

    mesh->StartUsingCFlags(eCFlag_Channel_General);
    for (int s = 0; s < count; ++s) {
        const int* row = rowOf(mesh->SelectedVertices[s]);
        for (int i = 1; i <= row[0]; ++i) {
            const int p = row[i];
            if (mesh->CFlag_TestPolygon(eCFlag_Channel_General, p)) continue;
            mesh->CFlag_FlagPolygon(eCFlag_Channel_General, p);
            mesh->RecalculatePolyNormal(p);
        }
    }
    if (!polygonNormals || !vertexNormals) return;
    for (int s = 0; s < count; ++s) {
        const int v = mesh->SelectedVertices[s];
        const int* row = rowOf(v);
        if (row[0] == 0) continue;
        float sum[3] = {0.0f, 0.0f, 0.0f};
        for (int i = 1; i <= row[0]; ++i)
            for (int c = 0; c < 3; ++c) sum[c] += polygonNormals[3 * row[i] + c];
        Normalize3(sum);
        for (int c = 0; c < 3; ++c) vertexNormals[3 * v + c] = sum[c];
    }
}

void TKSN_Mesh::RecalculateSelectedNormals()
{
    RecalculateSelectedNormalsB(this, resolvedVertices, polygonNormals, vertexNormals);
}

void TKSN_Mesh::AfterDeformStep()
{
    TKSN_Morph* morph = nullptr;
    if (KSN_MeshApp_GetToolTypeTab() == KSN_TOOL_TAB_MODELLING) {
        morph = BaseVerticesMorph;
        if (!morph) return;
    } else {
        if (CurrentMorphID == 0) return;
        morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(CurrentMorphID));
        if (!morph) {
            CurrentMorphID = 0;
            return;
        }
    }
    RecalculateSelectedNormalsB(this, resolvedVertices, polygonNormals, vertexNormals);
    if (TempMorph) UpdateWeldedMorph(TempMorph);
    morph->OnChanged();
}
