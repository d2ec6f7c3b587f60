// Materials, polygon groups, file groups and the weld map of TQORPolyMesh.
//
// A polygon group whose name holds several words (an OBJ face in several
// groups) lends its polygons to every one-word group named in it; the group
// vertex maps are derived data rebuilt by ResolveGroupVertexMaps. The weld map
// is each vertex record's WeldMaster; it is in force while Welded is set.
#include "QORPolyMesh.h"

#include "QORString.h"

#include <cstring>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// [SECTION] Materials, map bindings, groups
// ---------------------------------------------------------------------------

TQORGroup2::TQORGroup2() = default;

TQORGroup2::~TQORGroup2()
{
    QORfree(Vertices);
    QORfree(Shared);
    QORfree(Weights);
}

void TQORGroup2::CreateVertexMap(int count)
{
    QORfree(Vertices);
    QORfree(Shared);
    QORfree(Weights);
    Vertices = nullptr;
    Shared = nullptr;
    Weights = nullptr;
    VertexCount = count > 0 ? count : 0;
    if (VertexCount == 0) return;
    Vertices = static_cast<int32_t*>(QORalloc(uint64_t(VertexCount) * sizeof(int32_t)));
    Weights = static_cast<float*>(QORalloc(uint64_t(VertexCount) * sizeof(float)));
    Shared = static_cast<uint8_t*>(QORalloc(uint64_t(VertexCount)));
    for (int i = 0; i < VertexCount; ++i) {
        Vertices[i] = 0;
        Weights[i] = 1.0f;
        Shared[i] = 0;
    }
}

TQORGroup::TQORGroup() = default;

TQORMaterial* TQORPolyMesh::FindMaterial(const char* name)
{
    if (!name) return nullptr;
    for (int i = 0; i < Materials->GetItemCount(); ++i) {
        TKSN_Thingy* item = Materials->GetItem(i);
        TQORMaterial* m = KSN_MaterialFromThingy(item);
        if (m && std::strcmp(item->GetName(), name) == 0) return m;
    }
    return nullptr;
}

int TQORPolyMesh::FindMaterialIndex(const char* name, const char* secondName)
{
    if (!name) return -1;
    for (int i = 0; i < Materials->GetItemCount(); ++i) {
        TKSN_Thingy* item = Materials->GetItem(i);
        TQORMaterial* m = KSN_MaterialFromThingy(item);
        if (!m || QORstrcmpi(item->GetName(), name) != 0) continue;
        if (secondName && QORstrcmpi(KSN_GetMaterialSecondName(m), secondName) != 0) continue;
        return i;
    }
    return -1;
}

void TQORPolyMesh::MakeGroupNamesUnique()
{
    // From the last group back, so the first of each set of clashing names
    // keeps its name and the later ones are renumbered.
    for (int i = Groups->Count() - 1; i >= 0; --i) {
        TQORGroup* group = (*Groups)[i];
        if (!group) continue;
        const std::string original = group->GetName();
        std::string working = original;
        int k = 0;
        for (int j = 0; j < Groups->Count(); ++j) {
            if (j == i || !(*Groups)[j]) continue;
            if (QORstrcmpi((*Groups)[j]->GetName(), working.c_str()) == 0) {
                working = QORFormat("%s (%d)", original.c_str(), ++k);
                j = -1;   // the new name must clash with none of them either
            }
        }
        if (working != original) group->SetName("%s", working.c_str());
    }
}

// ---------------------------------------------------------------------------
// [SECTION] Group vertex maps
// ---------------------------------------------------------------------------

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool HasSeveralWords(const char* name)
{
    for (; *name; ++name)
        if (IsBlank(*name)) return true;
    return false;
}

// Whether word occurs in text as a whole word (any case), at any of its occurrences.
bool ContainsWord(const char* text, const char* word)
{
    const size_t length = std::strlen(word);
    if (length == 0) return false;
    for (const char* at = QORstrstri(text, word); at; at = QORstrstri(at + 1, word)) {
        const bool startsWord = at == text || IsBlank(at[-1]);
        const bool endsWord = at[length] == '\0' || IsBlank(at[length]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

}  // namespace

void TQORPolyMesh::ResolveGroupVertexMaps()
{
    // The list is read up to its first entry that is not a polygon group.
    std::vector<TQORGroup2*> groups;
    for (int i = 0; i < Groups2->GetItemCount(); ++i) {
        TQORGroup2* g = Groups2->GetItemAs(i);
        if (!g) break;
        groups.push_back(g);
    }
    const int G = int(groups.size());
    std::vector<char> severalWords(static_cast<size_t>(G), 0);
    for (int i = 0; i < G; ++i) severalWords[size_t(i)] = HasSeveralWords(groups[size_t(i)]->GetName());

    // lenders[j]: the several-word groups that name one-word group j.
    std::vector<std::vector<int>> lenders(static_cast<size_t>(G));
    for (int i = 0; i < G; ++i) {
        if (!severalWords[size_t(i)]) continue;
        const char* many = groups[size_t(i)]->GetName();
        for (int j = 0; j < G; ++j) {
            if (severalWords[size_t(j)]) continue;
            const char* one = groups[size_t(j)]->GetName();
            if (QORstrcmpi(many, one) == 0 || !ContainsWord(many, one)) continue;
            std::vector<int>& row = lenders[size_t(j)];
            bool listed = false;
            for (int x : row) listed = listed || x == i;
            if (!listed) row.push_back(i);
        }
    }

    auto clearMarks = [this] {
        for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Flags &= ~uint32_t(QORPoly_Custom);
    };

    std::vector<char> member(static_cast<size_t>(G), 0);
    for (int g = 0; g < G; ++g) {
        if (severalWords[size_t(g)]) continue;   // keeps the map it had
        clearMarks();
        std::fill(member.begin(), member.end(), 0);
        member[size_t(g)] = 1;
        for (int i : lenders[size_t(g)]) member[size_t(i)] = 1;
        for (int p = 0; p < polygonCount; ++p) {
            const TQORPolygon& poly = Polygons[p];
            if (poly.Group < 0 || poly.Group >= G || !member[size_t(poly.Group)] || !poly.Points) continue;
            for (int k = 0; k < poly.Count; ++k) {
                const int v = poly.Points[k].V;
                if (v >= 0 && v < vertexCount) VertexInfo[v].Flags |= QORPoly_Custom;
            }
        }
        int count = 0;
        for (int v = 0; v < vertexCount; ++v) count += (VertexInfo[v].Flags & QORPoly_Custom) ? 1 : 0;
        TQORGroup2* group = groups[size_t(g)];
        group->CreateVertexMap(count);
        int n = 0;
        for (int v = 0; v < vertexCount; ++v)
            if (VertexInfo[v].Flags & QORPoly_Custom) group->Vertices[n++] = v;
    }

    // Shared marks: a vertex already claimed by an earlier group is shared.
    clearMarks();
    for (TQORGroup2* group : groups) {
        for (int e = 0; e < group->VertexCount; ++e) {
            const int v = group->Vertices[e];
            if (v < 0 || v >= vertexCount) continue;   // a kept map may predate a vertex edit
            if (VertexInfo[v].Flags & QORPoly_Custom)
                group->Shared[e] = 1;
            else
                VertexInfo[v].Flags |= QORPoly_Custom;
        }
    }
}

// ---------------------------------------------------------------------------
// [SECTION] Welding
// ---------------------------------------------------------------------------

void TQORPolyMesh::UpdateWeldedVertices()
{
    if (!Welded) return;
    for (int v = 0; v < vertexCount; ++v) {
        const int m = VertexInfo[v].WeldMaster;
        if (m == v || m < 0 || m >= vertexCount) continue;
        baseVertices[3 * v + 0] = baseVertices[3 * m + 0];
        baseVertices[3 * v + 1] = baseVertices[3 * m + 1];
        baseVertices[3 * v + 2] = baseVertices[3 * m + 2];
    }
    UpdateWeldedFlags();
}

void TQORPolyMesh::UpdateWeldedFlags()
{
    if (!Welded) return;
    for (int v = 0; v < vertexCount; ++v) {
        const int m = VertexInfo[v].WeldMaster;
        if (m != v && m >= 0 && m < vertexCount) VertexInfo[v].Flags = VertexInfo[m].Flags;
    }
}

void TQORPolyMesh::MakeWeldingpermanent()
{
    if (!Welded) return;
    for (int p = 0; p < polygonCount; ++p) {
        TQORPolygon& poly = Polygons[p];
        if (!poly.Points) continue;
        for (int k = 0; k < poly.Count; ++k) {
            const int v = poly.Points[k].V;
            if (v < 0 || v >= vertexCount) continue;
            const int m = VertexInfo[v].WeldMaster;
            if (m >= 0 && m < vertexCount) poly.Points[k].V = m;
        }
    }
    Welded = false;
}

void TQORPolyMesh::Unweld()
{
    UpdateWeldedVertices();
    for (int v = 0; v < vertexCount; ++v) VertexInfo[v].WeldMaster = v;
    Welded = false;
    BuildVertexPolygons();
    BuildPolygonEdges();
    InvalidateVisibleLookups();
}
