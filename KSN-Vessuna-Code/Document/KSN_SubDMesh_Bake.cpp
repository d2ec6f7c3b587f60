// Building the levels through the project and the displacement and bump bake
// of the top level; see KSN_SubDMesh_Bake.h.
#include "KSN_SubDMesh_Bake.h"

#include "KSN_Application.h"
#include "KSN_GeometryTests.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Project.h"
#include "KSN_SculptLayer.h"
#include "KSN_AffectedLists.h"
#include "KSN_Tool.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORThingy.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kRefreshObjectPanelsCommand = 441;
constexpr uint32_t kPolygonChangedBit = 0x8;   // on the owner mesh's polygon flag word
constexpr eCFlag_Channel kChannel = eCFlag_Channel_General;

void Normalise3(float* v)
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 1e-30f)
        for (int i = 0; i < 3; ++i) v[i] /= len;
}

template <class T>
void FreeAndClear(T*& array)
{
    QORfree(array);
    array = nullptr;
}

// A lower level keeps its polygons, texture vertices and parent records; its
// per-vertex data comes from the top level once all levels exist.
void FreePerVertexArrays(TKSN_SubDMesh* level)
{
    if (!level || level->arraysBorrowed) return;
    FreeAndClear(level->baseVertices);
    FreeAndClear(level->resolvedVertices);
    FreeAndClear(level->vertexNormals);
    FreeAndClear(level->originalVertexNormals);
    for (int i = 0; i < 2; ++i) FreeAndClear(level->vertexPartners[i]);
    level->activeVertexPartnerA = level->activeVertexPartnerB = nullptr;
}

void ShareTopLevelArrays(TKSN_SubDMesh* lower, TKSN_SubDMesh* top)
{
    lower->arraysBorrowed = true;
    lower->baseVertices = top->baseVertices;
    lower->resolvedVertices = top->resolvedVertices;
    lower->vertexNormals = top->vertexNormals;
    lower->originalVertexNormals = top->originalVertexNormals;
    lower->InterpolatedBase = top->InterpolatedBase;
    for (int i = 0; i < 2; ++i) lower->vertexPartners[i] = top->vertexPartners[i];
}

float* HookGetCurrentLayerDeltas(TKSN_Mesh* mesh)
{
    if (!mesh || !mesh->LayerDataSet) return nullptr;
    const uint32_t id = mesh->LayerDataSet->GetCurrentLayerDataID();
    if (id == 0) return nullptr;
    auto* map = dynamic_cast<TKSN_VertexMap*>(__GetThingyFromID(id));
    return map ? map->Data : nullptr;
}

// The pixels of a channel's map, or null.
const unsigned char* ChannelPixels(TQORMaterialChannel* channel, int& width, int& height)
{
    if (!channel || channel->GetMapID() == 0) return nullptr;
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()));
    TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
    if (!source) return nullptr;
    const unsigned char* pixels = source->GetResolvedPixels();
    width = source->GetWidth();
    height = source->GetHeight();
    return pixels && width > 0 && height > 0 ? pixels : nullptr;
}

} // namespace

void KSN_RegisterSubDHooks()
{
    TKSN_SubDMeshHooks hooks;
    hooks.GetCurrentLayerDeltas = HookGetCurrentLayerDeltas;
    hooks.Bake = BakeCurrentSubDWithBumpAndDisplacementMaps;
    KSN_SetSubDMeshHooks(hooks);
}

// ============================================================================
// [SECTION] Building all levels
// ============================================================================

void CreateSubDsForMesh(TKSN_Mesh* mesh, int level)
{
    if (!mesh || !Project || !mesh->SubDsEnabled || mesh->GetSubD(0)) return;
    const int target = mesh->SubDDynamic ? 1000000 : std::max(0, level);
    mesh->DestroyAllSubDs();
    if (mesh->tVertexCount <= 0) {
        OS.WarningMessage("%s", "UV mapping is necessary for this feature to function.");
        return;
    }
    OS.InProgress();
    mesh->SubDsBuilt = mesh->SubDBaseVerticesValid = false;
    if (App) App->CleanTemporaryMemory();

    int top = -1;
    for (int i = 0; i <= target; ++i) {
        OS.DoProgress();
        TKSN_SubDMesh* made = Project->CreateSubD(mesh, i, true, mesh->SubDDynamic);
        if (!made) break;
        made->SetLeanAndMean(true);
        if (i > 0) FreePerVertexArrays(mesh->GetSubD(i - 1));
        top = i;
        if (made->GetPCount() >= mesh->TargetMaxSubDPolygonCount) break;
    }
    if (top < 0) {
        OS.NotInProgress();
        return;
    }
    mesh->ActualMaxSubDLevel = top;
    mesh->SetCurrentSubDLevel(top);

    TKSN_SubDMesh* topLevel = mesh->GetSubD(top);
    topLevel->RecalculateNormals(true);
    topLevel->SetOriginalVertexNormals();
    QORfree(topLevel->InterpolatedBase);
    topLevel->InterpolatedBase = static_cast<float*>(QORalloc(uint64_t(std::max(topLevel->GetVCount(), 1)) * 12));
    Interpolate_VArray_From_Base(mesh, top, mesh->resolvedVertices, topLevel->InterpolatedBase, 3, 0);
    for (int i = 0; i < top; ++i)
        if (TKSN_SubDMesh* lower = mesh->GetSubD(i)) ShareTopLevelArrays(lower, topLevel);

    if (App) App->CleanTemporaryMemory();
    mesh->SubDsBuilt = mesh->SubDBaseVerticesValid = true;
    mesh->InvalidateAllInOSpace();
    QOREvents_PushEvent(kRefreshObjectPanelsCommand);
    OS.NotInProgress();
}

// ============================================================================
// [SECTION] The bake
// ============================================================================

TKSN_SubDMesh* GetSubDForProcessDisplacementOrBumpMaps(TKSN_Mesh* mesh)
{
    if (!mesh) return nullptr;
    if (TKSN_SubDMesh* level = mesh->GetSubD_For_Editing()) return level;
    CreateSubDsForMesh(mesh, mesh->GetTargetMaxSubDLevel());
    OS.PrintMessage("Creating SubDs, MaxSubD level = %d", mesh->ActualMaxSubDLevel);
    TKSN_SubDMesh* level = mesh->GetSubD_For_Editing();
    if (level) OS.PrintMessage("%d polygons", level->GetPCount());
    return level;
}

void BakeCurrentSubDWithBumpAndDisplacementMaps(TKSN_Mesh* mesh, bool regionOnly, bool changedOnly)
{
    if (!mesh) return;
    const bool smoothed = mesh->SubDsSmoothed;
    TKSN_SubDMesh* level = GetSubDForProcessDisplacementOrBumpMaps(mesh);
    if (!level || !level->originalVertexNormals || level->GetVCount() <= 0) return;

    std::vector<float> acc(3 * size_t(level->GetVCount()), 0.0f);
    level->StartUsingCFlags(kChannel);
    PrepareAffectedList(mesh, true);
    // A whole-space invalidation reaches far below the level's own box.
    const bool everything = !regionOnly || level->invalidMin[0] < level->boundsMin[0];
    GenerateAffectedListsForDisplacementOrBumpMaps(level, level->invalidMin, level->invalidMax, everything,
                                                   changedOnly);
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        float* a = &acc[3 * size_t(gAffectedVertices[k].Vertex)];
        a[0] = a[1] = a[2] = 0.0f;
    }
    bool bumpFound = false;
    CalculateDisplacementsForAffectedPolygons(mesh, level, bumpFound, acc.data());
    if (smoothed)
        ApplyDisplacementsForSmoothedRender(level, acc.data(), bumpFound);
    else
        ApplyDisplacementsForFlatRender(level, acc.data(), bumpFound);
}

void GenerateAffectedListsForDisplacementOrBumpMaps(TKSN_SubDMesh* level, float* min, float* max, bool everything,
                                                    bool changedOnly)
{
    if (everything) {
        for (int p = 0; p < level->GetPCount(); ++p) {
            level->CFlag_FlagPolygon(kChannel, p);
            gAffectedPolygons[gAffectedPolygonCount++] = p;
        }
        for (int v = 0; v < level->GetVCount(); ++v) {
            level->CFlag_FlagVertex(kChannel, v);
            gAffectedVertices[gAffectedVertexCount++] = {v, 0.0f};
        }
        return;
    }
    if (!level->IsOctreeValid()) level->BuildOctree();
    GenerateAffectedPolygonList_Recurse(level, Project ? Project->GetCurrentViewport() : nullptr,
                                        level->octreeRoot.get(), false, min, max, changedOnly);
}

void GenerateAffectedPolygonList_Recurse(TKSN_SubDMesh* level, TKSN_Viewport* viewport, TQOROctreeNode<int>* node,
                                         bool flag, float* min, float* max, bool changedOnly)
{
    if (!node || !Kestrune_BoxCollision3(node->ContentMin, node->ContentMax, min, max)) return;
    if (node->HasChildren()) {
        for (auto& child : node->Children)
            GenerateAffectedPolygonList_Recurse(level, viewport, child.get(), flag, min, max, changedOnly);
        return;
    }
    TKSN_Mesh* owner = level->GetOwnerMesh();
    for (int k = node->VertexBegin; k >= 0 && k < node->VertexEnd; ++k) {
        const int v = level->visibleVertices[k];
        const int* row = level->vertexPolygons.GetRow(v);
        for (int j = 1; j <= row[0]; ++j) {
            const int q = row[j];
            if (level->CFlag_TestPolygon(kChannel, q)) continue;
            level->CFlag_FlagPolygon(kChannel, q);
            if (changedOnly && !(owner && (owner->PolygonFlags[level->GetOwnerIP(q)] & kPolygonChangedBit)))
                continue;
            gAffectedPolygons[gAffectedPolygonCount++] = q;
            for (int c = 0, n = level->vGetPolyN(q); c < n; ++c) {
                const int corner = level->vGetPolyV(q, c);
                if (level->CFlag_TestVertex(kChannel, corner)) continue;
                level->CFlag_FlagVertex(kChannel, corner);
                gAffectedVertices[gAffectedVertexCount++] = {corner, 0.0f};
            }
        }
    }
}

float KSN_SubDMapBrightness(const unsigned char* pixels, int width, int height, float u, float v)
{
    auto axis = [](int size, float t, int& i0, int& i1, float& f) {
        const float x = std::min(float(size - 1), float(size) * t - 0.5f);
        if (x < 0.0f) {
            i0 = 0;
            f = 0.0f;
        } else {
            i0 = int(x);
            f = x - float(i0);
        }
        i1 = i0 < size - 1 ? i0 + 1 : i0;
    };
    int x0, x1, y0, y1;
    float fx, fy;
    axis(width, u, x0, x1, fx);
    axis(height, v, y0, y1, fy);
    auto p = [&](int x, int y, int c) { return float(pixels[3 * (size_t(y) * size_t(width) + size_t(x)) + size_t(c)]); };
    int sum = 0;
    for (int c = 0; c < 3; ++c) {
        const float value = (p(x0, y0, c) * (1.0f - fx) + p(x1, y0, c) * fx) * (1.0f - fy) +
                            (p(x0, y1, c) * (1.0f - fx) + p(x1, y1, c) * fx) * fy;
        sum += int(value) & 0xFF;
    }
    return float(double(sum) * 0.001307189542);
}

void CalculateDisplacementsForAffectedPolygons(TKSN_Mesh* mesh, TKSN_SubDMesh* level, bool& bumpFound, float* acc)
{
    const int materials = mesh->GetMaterialCount();
    for (int i = 0; i < materials; ++i) {
        TQORMaterial* material = mesh->GetMaterial(i);
        if (!material) break;
        material->ResetCachedPointers();
        material->CacheChannels();
    }
    const float size = mesh->boundsDiagonal;

    struct TMapState {
        const unsigned char* Pixels = nullptr;
        int Width = 0, Height = 0;
        float Strength = 0.0f, Offset = 0.0f;
    } disp, bump;
    int previous = INT_MIN;
    bool skip = true;
    for (int k = 0; k < gAffectedPolygonCount; ++k) {
        const int q = gAffectedPolygons[k];
        const int materialIndex = level->vGetPolyM(q);
        if (materialIndex != previous) {
            previous = materialIndex;
            disp = TMapState{};
            bump = TMapState{};
            TQORMaterial* material =
                materialIndex >= 0 && materialIndex < materials ? mesh->GetMaterial(materialIndex) : nullptr;
            if (material) {
                if (material->DisplacementChannel &&
                    (disp.Pixels = ChannelPixels(material->DisplacementChannel, disp.Width, disp.Height))) {
                    disp.Strength = material->DisplacementChannel->Strength;
                    disp.Offset = material->DisplacementChannel->Offset;
                    // Mid-grey (127 of 255) is what an artist paints for "no
                    // displacement"; an offset of one half must then give none.
                    if (std::fabs(disp.Offset - 0.5f) < 1e-6f) disp.Offset = 0.49803922f;
                }
                if (material->BumpChannel &&
                    (bump.Pixels = ChannelPixels(material->BumpChannel, bump.Width, bump.Height))) {
                    bump.Strength = material->BumpChannel->Strength;
                    bump.Offset = material->BumpChannel->Offset;
                    bumpFound = true;
                }
            }
            skip = !disp.Pixels && !bump.Pixels;
        }
        if (skip) continue;
        for (int c = 0, n = level->vGetPolyN(q); c < n; ++c) {
            const int i = level->vGetPolyV(q, c);
            const int t = std::max(level->vGetPolyVT(q, c), 0);
            const float u = level->tVertices[2 * t], v = level->tVertices[2 * t + 1];
            float* a = acc + 3 * i;
            if (disp.Pixels) {
                const float s = KSN_SubDMapBrightness(disp.Pixels, disp.Width, disp.Height, u, v);
                a[1] += (s - disp.Offset) * disp.Strength * size;
            }
            if (bump.Pixels) {
                const float d = KSN_SubDMapBrightness(bump.Pixels, bump.Width, bump.Height, u, v) - bump.Offset;
                const float sign = d > 0.0f ? 1.0f : (d < 0.0f ? -1.0f : 0.0f);
                a[2] += sign * d * d * 0.2f * bump.Strength * size;
            }
            a[0] += 1.0f;
        }
    }
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        float* a = acc + 3 * gAffectedVertices[k].Vertex;
        if (a[0] > 0.1f) {
            a[1] /= a[0];
            a[2] /= a[0];
        }
    }
}

// Every affected vertex moved from its base along its original normal by both displacement sums; normals renewed.
void ShiftAffectedAlongOriginalNormals(TKSN_SubDMesh* level, const float* acc)
{
    float* resolved = level->resolvedVertices;
    const float* base = level->baseVertices;
    const float* o = level->originalVertexNormals;
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        const int i = gAffectedVertices[k].Vertex;
        const float shift = acc[3 * i + 1] + acc[3 * i + 2];
        for (int c = 0; c < 3; ++c) resolved[3 * i + c] = base[3 * i + c] + shift * o[3 * i + c];
    }
    RecalculateAffectedPolygonNormals(level, resolved, level->polygonNormals, level->vertexNormals, false);
}

void ApplyDisplacementsForSmoothedRender(TKSN_SubDMesh* level, float* acc, bool bumpFound)
{
    float* resolved = level->resolvedVertices;
    const float* o = level->originalVertexNormals;
    ShiftAffectedAlongOriginalNormals(level, acc);
    if (!bumpFound) return;
    // The bump stays in the normals only: the surface must not move.
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        const int i = gAffectedVertices[k].Vertex;
        for (int c = 0; c < 3; ++c) resolved[3 * i + c] -= acc[3 * i + 2] * o[3 * i + c];
    }
}

void ApplyDisplacementsForFlatRender(TKSN_SubDMesh* level, float* acc, bool /*bumpFound*/)
{
    if (!level->InterpolatedBase) return;
    float* resolved = level->resolvedVertices;
    const float* o = level->originalVertexNormals;
    ShiftAffectedAlongOriginalNormals(level, acc);
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        const int i = gAffectedVertices[k].Vertex;
        float* n = level->vertexNormals + 3 * i;
        const float* oi = o + 3 * i;
        const float dot = n[0] * oi[0] + n[1] * oi[1] + n[2] * oi[2];
        const float w = dot < 0.0f ? 1.0f : 1.0f - dot * dot;
        for (int c = 0; c < 3; ++c) n[c] = oi[c] + (n[c] - oi[c]) * w;
        Normalise3(n);
        for (int c = 0; c < 3; ++c) resolved[3 * i + c] = level->InterpolatedBase[3 * i + c] + acc[3 * i + 1] * oi[c];
    }
}

void RecalculateAffectedPolygonNormals(TKSN_SubDMesh* level, const float* positions, float* polygonNormals,
                                       float* vertexNormals, bool normalise)
{
    for (int k = 0; k < gAffectedPolygonCount; ++k) {
        float* n = polygonNormals + 3 * gAffectedPolygons[k];
        level->PolygonNormal(positions, gAffectedPolygons[k], n);
        if (normalise) Normalise3(n);
    }
    for (int k = 0; k < gAffectedVertexCount; ++k) {
        const int v = gAffectedVertices[k].Vertex;
        float* n = vertexNormals + 3 * v;
        n[0] = n[1] = n[2] = 0.0f;
        const int* row = level->vertexPolygons.GetRow(v);
        for (int j = 1; j <= row[0]; ++j)
            for (int c = 0; c < 3; ++c) n[c] += polygonNormals[3 * row[j] + c];
        Normalise3(n);
    }
}
