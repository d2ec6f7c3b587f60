// TKSN_Mesh: the edit-geometry bracket and the topology clean-up around it.
//
// Every operation that changes the topology runs between BeginEditGeometry
// and EndEditGeometry. Begin brings every morph and selection up to date,
// copies the user's working selection into an edit-time selection and
// snapshots the mesh for undo. Inside, morphs and selections keep their
// pre-edit numbering; each renumbering is recorded as an adjustment script
// (opcode 1 entries: 1, 2, new index, old index) that they replay lazily on
// their next use. End drops degenerate polygons and unused texture vertices,
// rebuilds the derived tables, restarts the symmetry pairing, carries the
// user's selection into the new numbering through the edit-time selection and
// resolves the vertices again.
//
// Clean-up moves whole items: a vertex keeps its record (weight, flags) and
// its positions together, a polygon its record and its flag word, so a hidden
// or locked item stays hidden or locked whatever is removed before it.
//
// Brackets do not nest: a second Begin inside one would flush scripts that the
// running edit still needs. Main thread only.
//
// [SECTION] Hooks
// [SECTION] Edit bracket
// [SECTION] Polygons
// [SECTION] Vertices
// [SECTION] Texture vertices
// [SECTION] Set-up after a raw build

#include "KSN_Mesh.h"

#include "KSN_Object.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMemory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kDefaultNameText = 1122;   // "default"

TKSN_MeshEditHooks EditHooks;

float Clamp01(float w) { return std::clamp(w, 0.0f, 1.0f); }

void CancelProjectVertexCulling()
{
    if (EditHooks.CancelVertexCulling) EditHooks.CancelVertexCulling();
}

// A script that records nothing is dropped instead of attached.
bool IsEmptyScript(const TKSN_VertexAdjustmentScript* script)
{
    return script->Stream.empty() || script->Stream.front() == 8;
}

void AppendCopy(TKSN_VertexAdjustmentScript* script, int destination, int source)
{
    script->AddOpCode(1, 2);
    script->Stream.push_back(destination);
    script->Stream.push_back(source);
}

}  // namespace

// ============================================================================
// [SECTION] Hooks
// ============================================================================

void KSN_SetMeshEditHooks(const TKSN_MeshEditHooks& hooks) { EditHooks = hooks; }

// ============================================================================
// [SECTION] Edit bracket
// ============================================================================

void TKSN_Mesh::BeginEditGeometry(TKSN_Undo_Node_Model* undo)
{
    FinishAllScriptedAdjustments();
    EditingGeometry = true;
    TQORPolyMesh::BeginEditGeometry();

    auto makeEditSelection = [this](int count, eSelectionType type) {
        auto* selection = new TKSN_Selection(count, GetID());
        selection->SetSelectionType(type);
        selection->SetKeepInMemory(true);
        selection->SetEditTimeSelection(true);
        return selection;
    };
    if (!EditVertexSelection) EditVertexSelection = makeEditSelection(vertexCount, eSelectionType_Vertex);
    if (!EditPolygonSelection) EditPolygonSelection = makeEditSelection(polygonCount, eSelectionType_Polygon);

    // The copy is in today's numbering, so it has replayed every script so
    // far: only the scripts of this edit are replayed on it at the end.
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex) {
        EditVertexSelection->SetSize(vertexCount);
        BeginUsingSelection(EditVertexSelection);
        EditVertexSelection->Expand();
        for (int v = 0; v < vertexCount; ++v) EditVertexSelection->SetVSelect(v, GetResolvedVSelect(v));
        EditVertexSelection->SetScriptStamp(VertexScriptCount);
    } else if (type == eSelectionType_Polygon) {
        EditPolygonSelection->SetSize(polygonCount);
        BeginUsingSelection(EditPolygonSelection);
        EditPolygonSelection->Expand();
        for (int p = 0; p < polygonCount; ++p) EditPolygonSelection->SetVSelect(p, GetResolvedPSelect(p));
        EditPolygonSelection->SetScriptStamp(PolygonScriptCount);
    }

    if (!SelectedListsValid) BuildSelectedVerticesAndPolygons2(true, false);

    if (undo && EditHooks.SnapshotForUndo)
        EditHooks.SnapshotForUndo(undo, this, vertexCount, tVertexCount, polygonCount, symmetryOffset);
}

void TKSN_Mesh::EndEditGeometry(bool restoreSelection)
{
    CleanPolygonsAfterEdit(false, true, true);
    TQORPolyMesh::EndEditGeometry();
    DeleteUnusedTVertices();
    BuildTVertexPolygons();
    OnMapTopologyChanged();
    RestartSymmetryCalculations(symmetryAxis);
    CancelProjectVertexCulling();
    EditingGeometry = false;

    const int type = KSN_MeshApp_GetSelectionType();
    TKSN_Selection* selection = type == eSelectionType_Vertex    ? EditVertexSelection
                                : type == eSelectionType_Polygon ? EditPolygonSelection
                                                                 : nullptr;
    if (restoreSelection && selection) {
        // Releasing and taking it again replays this edit's scripts on it,
        // carrying the user's weights into the new numbering.
        selection->NotInUse("EndUsingSelection");
        BeginUsingSelection(selection);
        const int count = type == eSelectionType_Vertex ? vertexCount : polygonCount;
        if (selection->GetSelectionType() != type) {
            OS.WarningMessage("Selection type is out of sync in EndEditGeometry");
        } else if (selection->GetVCount() != count) {
            // The edit changed the count without recording how: the old
            // weights cannot be placed, so the mesh keeps what it has.
            OS.WarningMessage("Selection size is out of sync in EndEditGeometry (%d of %d)", selection->GetVCount(),
                              count);
        } else if (type == eSelectionType_Vertex) {
            for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Select = Clamp01(selection->GetVSelect(v));
        } else {
            for (int p = 0; p < polygonCount; ++p) Polygons[p].Select = Clamp01(selection->GetVSelect(p));
        }
        selection->NotInUse("EndUsingSelection");
    }

    // A mismatch above still ends the edit properly: the edit-time copies
    // are of no use to the next edit, which takes a fresh one, and the
    // resolved vertices must follow the new topology in any case.
    delete EditVertexSelection;
    delete EditPolygonSelection;
    EditVertexSelection = nullptr;
    EditPolygonSelection = nullptr;

    // A mesh without an object (being built) resolves its own morphs.
    if (OwnerObject)
        OwnerObject->ResolveVertices(true);
    else
        ResolveMorphs(true);
}

// ============================================================================
// [SECTION] Polygons
// ============================================================================

void DeleteDuplicatePointsInPolygon(TQORPolygon* polygon)
{
    if (!polygon || !polygon->Points || polygon->Count <= 2) return;
    const int count = polygon->Count;
    // A polygon holds at most 32767 corners; a local list keeps this safe for
    // any of them and for more than one caller at a time.
    std::vector<TQORPolygonPoint> unique;
    unique.reserve(size_t(count));
    bool repeats = false;
    bool folded = false;
    for (int j = 0; j < count; ++j) {
        const TQORPolygonPoint point = polygon->Points[j];
        int seen = -1;
        for (int n = 0; n < int(unique.size()); ++n)
            if (unique[n].V == point.V) {
                seen = n;
                break;
            }
        if (seen < 0) {
            unique.push_back(point);
            continue;
        }
        repeats = true;
        // A quad whose repeat is not a neighbour (nor the last corner closing
        // on the first) is folded onto itself: a, b, a, c or a, b, c, b.
        if (count == 4 && j - seen != 1 && !(j == count - 1 && seen == 0)) folded = true;
    }
    if (!repeats) return;
    if (folded || unique.size() <= 2) {
        polygon->Count = 0;
        return;
    }
    // Fewer corners than before: the array keeps its place (PointsCapacity).
    polygon->Count = int16_t(unique.size());
    std::copy(unique.begin(), unique.end(), polygon->Points);
}

void TKSN_Mesh::CleanPolygonsAfterEdit(bool onlySelected, bool recordScript, bool apply)
{
    std::unique_ptr<TKSN_VertexAdjustmentScript> script;
    if (recordScript && apply) script.reset(CreatePolygonScript("CleanPolygonsAfterEdit"));

    // First decide, then move: repeated corners go in place in any case.
    std::vector<uint8_t> keep(size_t(std::max(polygonCount, 0)), 1);
    int kept = 0;
    for (int i = 0; i < polygonCount; ++i) {
        TQORPolygon& polygon = Polygons[i];
        const bool cleaned = !onlySelected || (PolygonFlags[i] & QORPoly_Custom) != 0;
        if (cleaned) {
            if (polygon.Count < 3 || !polygon.Points) {
                keep[i] = 0;
            } else {
                DeleteDuplicatePointsInPolygon(&polygon);
                if (polygon.Count < 3) keep[i] = 0;
            }
        }
        if (!keep[i]) continue;
        if (script && kept != i) AppendCopy(script.get(), kept, i);
        ++kept;
    }

    if (kept == polygonCount || !apply) return;   // the script, if any, goes with its holder

    // Compact: records (with their corner arrays), flag words and normals
    // move together, so hidden and locked polygons stay what they were.
    const int oldCount = polygonCount;
    int k = 0;
    for (int i = 0; i < oldCount; ++i) {
        if (!keep[i]) {
            Polygons[i].DestroyPoints();
            continue;
        }
        if (k != i) {
            Polygons[k] = Polygons[i];
            PolygonFlags[k] = PolygonFlags[i];
            if (polygonNormals) std::memcpy(polygonNormals + 3 * size_t(k), polygonNormals + 3 * size_t(i), 12);
        }
        ++k;
    }
    // The slots past the kept ones gave their corner arrays away (or freed
    // them): nothing is left for the resize to return.
    for (int i = k; i < oldCount; ++i) {
        Polygons[i].Points = nullptr;
        Polygons[i].PointsCapacity = 0;
        Polygons[i].Count = 0;
    }
    SetPolygonCount(k);

    if (script) {
        script->ReadPosition = 0;
        script->ArgumentsRead = 0;
        script->ParamCount = 0;
        if (!IsEmptyScript(script.get())) AddPolygonAdjustmentScript(script.release());
    }
}

// ============================================================================
// [SECTION] Vertices
// ============================================================================

void TKSN_Mesh::DeleteUnusedVertices(bool recordScript, bool onlySelected)
{
    std::unique_ptr<TKSN_VertexAdjustmentScript> script;
    if (recordScript) script.reset(CreateVertexScript("DeleteUnusedVertices"));

    BuildVertexPolygons();
    const int oldCount = vertexCount;
    std::vector<int32_t> remap(size_t(std::max(oldCount, 0)), -1);
    int k = 0;
    for (int v = 0; v < oldCount; ++v) {
        const int* row = vertexPolygons.GetRow(v);
        const bool used = row && row[0] > 0;
        if (!used && !(onlySelected && (VertexInfo[v].Flags & 0x2) == 0)) continue;
        remap[v] = k;
        if (script && k != v) AppendCopy(script.get(), k, v);
        ++k;
    }

    if (k != oldCount) {
        // Corners follow the old weld map, read before the records move.
        const bool weldInForce = Welded && !IgnoreWelding;
        for (int p = 0; p < polygonCount; ++p) {
            TQORPolygon& polygon = Polygons[p];
            if (!polygon.Points) continue;
            bool lost = false;
            for (int c = 0; c < polygon.Count; ++c) {
                int v = polygon.Points[c].V;
                if (v >= 0 && v < oldCount && weldInForce) v = VertexInfo[v].WeldMaster;
                const int mapped = (v >= 0 && v < oldCount) ? remap[v] : -1;
                polygon.Points[c].V = mapped;
                lost = lost || mapped < 0;
            }
            if (lost) polygon.Count = 0;
        }

        // Each kept vertex moves whole: its positions and its record (weight,
        // hidden and locked flags) stay together.
        for (int v = 0; v < oldCount; ++v) {
            const int to = remap[v];
            if (to < 0 || to == v) continue;
            for (float* array : {baseVertices, resolvedVertices, vertexNormals})
                if (array) std::memcpy(array + 3 * size_t(to), array + 3 * size_t(v), 12);
            VertexInfo[to] = VertexInfo[v];
        }
        SetVertexCount(k);

        // Attached once the mesh has its new count, which every replay ends at.
        if (script && !IsEmptyScript(script.get())) AddVertexAdjustmentScript(script.release());

        for (int v = 0; v < vertexCount; ++v) VertexInfo[v].WeldMaster = v;
        BuildVertexPolygons();
    }
}

// ============================================================================
// [SECTION] Texture vertices
// ============================================================================

namespace {

// Which texture vertices some corner uses; empty when the table does not
// describe the current texture vertices.
std::vector<uint8_t> UsedTextureVertices(TKSN_Mesh& mesh)
{
    mesh.BuildTVertexPolygons();
    std::vector<uint8_t> used(size_t(std::max(mesh.tVertexCount, 0)), 0);
    if (mesh.TVertexPolygons.GetRowCount() == mesh.tVertexCount) {
        for (int t = 0; t < mesh.tVertexCount; ++t) {
            const int* row = mesh.TVertexPolygons.GetRow(t);
            used[t] = row && row[0] > 0;
        }
    } else {
        for (int p = 0; p < mesh.polygonCount; ++p) {
            const TQORPolygon& polygon = mesh.Polygons[p];
            for (int c = 0; polygon.Points && c < polygon.Count; ++c) {
                const int t = polygon.Points[c].VT;
                if (t >= 0 && t < mesh.tVertexCount) used[t] = 1;
            }
        }
    }
    return used;
}

// New index per old texture vertex, −1 for removed ones; the kept count in kept.
std::vector<int32_t> TextureVertexRemap(const std::vector<uint8_t>& used, int& kept)
{
    std::vector<int32_t> remap(used.size(), -1);
    kept = 0;
    for (size_t t = 0; t < used.size(); ++t)
        if (used[t]) remap[t] = kept++;
    return remap;
}

}  // namespace

void TKSN_Mesh::DeleteUnusedTVertices()
{
    const std::vector<uint8_t> used = UsedTextureVertices(*this);
    int kept = 0;
    const std::vector<int32_t> remap = TextureVertexRemap(used, kept);
    if (kept == tVertexCount) return;

    for (int t = 0; t < tVertexCount; ++t) {
        const int to = remap[t];
        if (to >= 0 && to != t) {
            tVertices[2 * size_t(to)] = tVertices[2 * size_t(t)];
            tVertices[2 * size_t(to) + 1] = tVertices[2 * size_t(t) + 1];
        }
    }
    for (int p = 0; p < polygonCount; ++p) {
        TQORPolygon& polygon = Polygons[p];
        if (!polygon.Points) continue;
        bool lost = false;
        for (int c = 0; c < polygon.Count; ++c) {
            const int t = polygon.Points[c].VT;
            if (t == -1) continue;
            const int mapped = (t >= 0 && t < tVertexCount) ? remap[t] : -1;
            polygon.Points[c].VT = mapped;
            lost = lost || mapped < 0;
        }
        if (lost) polygon.Count = 0;
    }
    SetTVertexCount(kept);
}

void TKSN_Mesh::DeleteUnusedTextureVertices()
{
    if (tVertexCount <= 0) return;
    const std::vector<uint8_t> used = UsedTextureVertices(*this);
    int kept = 0;
    const std::vector<int32_t> remap = TextureVertexRemap(used, kept);

    std::vector<float> compacted(2 * size_t(kept));
    for (int t = 0; t < tVertexCount; ++t)
        if (remap[t] >= 0) {
            compacted[2 * size_t(remap[t])] = tVertices[2 * size_t(t)];
            compacted[2 * size_t(remap[t]) + 1] = tVertices[2 * size_t(t) + 1];
        }
    for (int p = 0; p < polygonCount; ++p) {
        TQORPolygon& polygon = Polygons[p];
        for (int c = 0; polygon.Points && c < polygon.Count; ++c) {
            const int t = polygon.Points[c].VT;
            polygon.Points[c].VT = (t >= 0 && t < tVertexCount) ? remap[t] : -1;
        }
    }
    SetTVertexCount(kept);
    if (kept > 0) std::memcpy(tVertices, compacted.data(), compacted.size() * sizeof(float));
}

void TKSN_Mesh::MakeTextureVerticesFree()
{
    int n = 0;
    for (int p = 0; p < polygonCount; ++p)
        if (Polygons[p].Points) n += Polygons[p].Count;

    // Pass 1 only reads the mesh, so a bad index leaves it unchanged.
    std::vector<float> fresh(2 * size_t(n), 0.0f);
    int r = 0;
    for (int p = 0; p < polygonCount; ++p) {
        const TQORPolygon& polygon = Polygons[p];
        for (int c = 0; polygon.Points && c < polygon.Count; ++c, ++r) {
            const int t = polygon.Points[c].VT;
            if (t == -1) continue;
            if (t < 0 || t >= tVertexCount)
                QORThrowException("ivt is out of range in MakeTextureVerticesFree() (%d of %d)", t, tVertexCount);
            if (r < 0 || r >= n) QORThrowException("nivt is out of range in MakeTextureVerticesFree() (%d of %d)", r, n);
            fresh[2 * size_t(r)] = tVertices[2 * size_t(t)];
            fresh[2 * size_t(r) + 1] = tVertices[2 * size_t(t) + 1];
        }
    }
    if (r != n) QORThrowException("nivt is out of sync in MakeTextureVerticesFree() (1)");

    r = 0;
    for (int p = 0; p < polygonCount; ++p) {
        TQORPolygon& polygon = Polygons[p];
        for (int c = 0; polygon.Points && c < polygon.Count; ++c) {
            if (r >= n) QORThrowException("(nivt == nvtcount)");
            polygon.Points[c].VT = r++;
        }
    }
    if (r != n) QORThrowException("nivt is out of sync in MakeTextureVerticesFree() (2)");

    SetTVertexCount(n);
    if (n > 0) std::memcpy(tVertices, fresh.data(), fresh.size() * sizeof(float));
}

// ============================================================================
// [SECTION] Set-up after a raw build
// ============================================================================

void TKSN_Mesh::AfterRawBuild()
{
    for (int i = 0; Materials && i < Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(Materials->GetItem(i));
        if (!material) break;
        material->ResetCachedPointers();
        material->CacheChannels();
    }

    if (Groups2 && Groups2->GetItemCount() == 0) {
        auto* group = new TQORGroup2();
        group->SetName("%s", Lang.GetText(kDefaultNameText));
        group->Index = 0;
        Groups2->AddItem(group);
        for (int p = 0; p < polygonCount; ++p) Polygons[p].Group = 0;
    }
    if (Materials && Materials->GetItemCount() == 0) {
        auto* material = new TQORMaterial();
        material->SetName("%s", Lang.GetText(kDefaultNameText));
        Materials->AddItem(material);
        for (int p = 0; p < polygonCount; ++p) Polygons[p].Material = 0;
    }

    if (TempMorph) {
        if (TempMorph->GetVCount() != vertexCount) TempMorph->SetVCount(vertexCount);
        TempMorph->Clear();
    }

    TQORPolyMesh::AfterRawBuild();

    QORfree(UVEdges);
    UVEdges = nullptr;
    UVEdgeCount = 0;

    BuildTVertexPolygons();
    OnMapTopologyChanged();
    CancelProjectVertexCulling();
}
