// Painting preparation of the editable mesh: UV-seam edges refreshed for the
// current positions, the first pixels of the bound maps, map bindings kept
// consistent with the materials, the paint-edge and texture-overlap polygon
// bits, maps bound after a model import, the map a polygon shows, and the
// manager-tree lookups by display-list number.
//
// Index
//   [SECTION] Hooks and helpers
//   [SECTION] Preparing and initialising
//   [SECTION] Bindings and paint-edge polygons
//   [SECTION] Texture overlap
//   [SECTION] Maps after a model import
//   [SECTION] Map of a polygon
//   [SECTION] Tree lookups
//
// The binding polygon lists and the two polygon bits are derived data: they
// are stale after any edit of polygons, materials or texture vertices until
// OnMapTopologyChanged and TestForPaintingOverlap run again.
#include "KSN_Mesh_Paint.h"

#include "KSN_Mesh.h"
#include "KSN_Mesh_UVEdges.h"
#include "OS.h"
#include "QORImage.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORThreads.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// ============================================================================
// [SECTION] Hooks and helpers
// ============================================================================

namespace {

TKSN_MeshPaintingHooks PaintingHooks;

constexpr float kTinyLength = 1e-30f;
constexpr int kErrorLoadingImageText = 1016;   // "Error loading the image %s"

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

// Calls visit(material) for each material in list order, stopping at the
// first entry that is null or not a material.
template <class F>
void ForEachMaterial(TKSN_Mesh* mesh, F&& visit)
{
    if (!mesh->Materials) return;
    TListGuard guard("TQORMaterial *", "Mat", "Materials");
    for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) {
        guard.Visit(i);
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) return;
        visit(material);
    }
}

template <class F>
void ForEachChannel(TQORMaterial* material, F&& visit)
{
    TListGuard guard("TQORMaterialChannel *", "Channel", "Mat->ArbChannels");
    for (int i = 0; i < material->ArbChannels.Count(); ++i) {
        guard.Visit(i);
        if (TQORMaterialChannel* channel = material->ArbChannels[i]) visit(channel);
    }
}

// The material of a material index; null for a negative index, one past the
// list, or an entry that is not a material.
TQORMaterial* MaterialAt(TKSN_Mesh* mesh, int index)
{
    if (!mesh->Materials || index < 0 || index >= mesh->Materials->GetItemCount()) return nullptr;
    return KSN_MaterialFromThingy(mesh->Materials->GetItem(index));
}

TQORMaterialMap* LiveBinding(uint32_t id)
{
    return id ? dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(id)) : nullptr;
}

TQORMaterialMap* CreateNewMap(TKSN_Mesh* mesh, TQORMaterialMapSource* source)
{
    if (PaintingHooks.CreateNewMap) return PaintingHooks.CreateNewMap(mesh, source);
    if (!source || !mesh->MaterialMaps) return nullptr;
    auto* binding = new TQORMaterialMap();
    binding->SetMapSource(source->GetID());
    mesh->MaterialMaps->Add(binding);
    return binding;
}

TQORMaterialMap* GetMapFromSource(TKSN_Mesh* mesh, TQORMaterialMapSource* source, bool create)
{
    if (PaintingHooks.GetMapFromSource) return PaintingHooks.GetMapFromSource(mesh, source, create);
    if (!source) return nullptr;
    if (mesh->MaterialMaps) {
        for (TQORMaterialMap* binding : *mesh->MaterialMaps)
            if (binding && binding->GetMapSourceID() == source->GetID()) return binding;
    }
    return create ? CreateNewMap(mesh, source) : nullptr;
}

bool LocateFile(char* path)
{
    if (PaintingHooks.LocateFile) return PaintingHooks.LocateFile(path);
    std::error_code error;
    return path[0] && std::filesystem::is_regular_file(path, error);
}

unsigned char* GetPaintDepthBuffer(int width, int height)
{
    if (PaintingHooks.GetPaintDepthBuffer) return PaintingHooks.GetPaintDepthBuffer(width, height);
    // TODO(stub): stands for the application's paintDepthBuffer (one byte a
    // pixel), reused between tests instead of allocated for each.
    static std::vector<unsigned char> buffer;
    buffer.resize(size_t(width) * size_t(height));
    return buffer.data();
}

// A buffer for a file name: the size a path lookup may fill, or more when
// the name itself is longer, so that nothing is cut.
std::vector<char> PathBuffer(const char* name)
{
    const size_t length = name ? std::strlen(name) : 0;
    std::vector<char> buffer(std::max<size_t>(TOS_PATH_BUFFER, length + 1), '\0');
    if (length) std::memcpy(buffer.data(), name, length);
    return buffer;
}

// The interface text carries one "%s" for the name; it is substituted rather
// than used as a format, so a file name holding "%" prints as it is.
std::string SubstituteName(const char* text, const char* name)
{
    std::string result = text ? text : "";
    const size_t at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, name ? name : "");
    return result;
}

} // namespace

void KSN_SetMeshPaintingHooks(const TKSN_MeshPaintingHooks& hooks) { PaintingHooks = hooks; }

// ============================================================================
// [SECTION] Preparing and initialising
// ============================================================================

void TKSN_Mesh::PrepareForPainting()
{
    QORfree(UVEdges);
    UVEdges = nullptr;
    UVEdgeCount = 0;
    BuildUVEdges2(this);

    for (int e = 0; e < UVEdgeCount; ++e) UVEdges[e].UpdateVEdgeTangent(this);
    // The corner tangents follow the refreshed edge normals of both edges.
    for (int e = 0; e < UVEdgeCount; ++e) {
        TKSN_UVEdge2& edge = UVEdges[e];
        for (int c = 0; c < 2; ++c) {
            const int n = edge.CornerNeighbour[c];
            if (n < 0 || n >= UVEdgeCount) continue;
            float* t = edge.CornerTangent[c];
            for (int i = 0; i < 3; ++i) t[i] = edge.EdgeNormal[i] + UVEdges[n].EdgeNormal[i];
            const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
            if (length > kTinyLength) {
                for (int i = 0; i < 3; ++i) t[i] /= length;
            }
        }
    }
}

void TKSN_Mesh::InitializePainting(bool loadFiles)
{
    TListGuard guard("TQORMaterialMapPtr", "Map", "MaterialMaps");
    for (int i = 0; MaterialMaps && i < MaterialMaps->Count(); ++i) {
        guard.Visit(i);
        TQORMaterialMap* binding = (*MaterialMaps)[i];
        TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
        if (MapsBoundOnLoad || !source) continue;

        std::vector<char> fileName = PathBuffer(loadFiles ? source->GetMapFileName() : nullptr);
        bool initialized = false;
        if (loadFiles && LocateFile(fileName.data())) {
            unsigned char* pixels = nullptr;
            int width = 0, height = 0;
            if (GetMapFromFile(fileName.data(), &pixels, &width, &height, false, nullptr, false, true, false)) {
                source->InitializeWithPixelData(width, height, pixels);
                initialized = true;
            } else {
                const std::string text = SubstituteName(Lang.GetText(kErrorLoadingImageText), fileName.data());
                OS.WarningMessage("%s", text.c_str());
            }
            QORfree(pixels);
        }
        if (!initialized) {
            float white[3] = {1.0f, 1.0f, 1.0f};
            source->Initialize(QORDefaultTextureSize, QORDefaultTextureSize, white);
        }
        binding->InitializeQuadTree();
        source->SetMapFileName(fileName.data());
    }
    OnMapTopologyChanged();
}

// ============================================================================
// [SECTION] Bindings and paint-edge polygons
// ============================================================================

void TKSN_Mesh::OnMapTopologyChanged()
{
    InvalidateAllOctreeNodeDisplayLists();
    CleanMapBindings();
    for (int i = 0; MaterialMaps && i < MaterialMaps->Count(); ++i) {
        TQORMaterialMap* binding = (*MaterialMaps)[i];
        binding->MapIndex = i;
        UpdateMapQuadTree(binding, i);
    }

    const int rows = vertexPolygons.GetRowCount();
    for (int p = 0; p < polygonCount; ++p) {
        const TQORPolygon& poly = Polygons[p];
        const int n = (poly.Points && poly.Count > 0) ? poly.Count : 0;
        bool edge = false;
        for (int k = 0; k < n && !edge; ++k) {
            const int raw = poly.Points[k].V;
            if (raw < 0 || raw >= vertexCount) continue;
            const int v = GetEffectiveVertex(raw);
            if (VertexInfo[v].Flags & (QORVertex_TextureSeam | QORVertex_OpenEdge)) {
                edge = true;
                break;
            }
            if (v >= rows) continue;
            const int* row = vertexPolygons[v];
            for (int i = 1; i <= row[0] && !edge; ++i) edge = Polygons[row[i]].Material != poly.Material;
        }
        if (edge)
            PolygonFlags[p] |= KSN_POLY_PAINT_EDGE;
        else
            PolygonFlags[p] &= ~KSN_POLY_PAINT_EDGE;
    }

    CleanPolygonNeighbors();
    UpdateDisplacementMapHelpers();
}

void TKSN_Mesh::OnVTsChanged()
{
    BuildTVertexPolygons();
    OnMapTopologyChanged();
}

void TKSN_Mesh::CleanMapBindings()
{
    if (!MaterialMaps) return;
    auto isNamedByAChannel = [this](uint32_t id) {
        bool named = false;
        ForEachMaterial(this, [&](TQORMaterial* material) {
            ForEachChannel(material, [&](TQORMaterialChannel* channel) { named = named || channel->GetMapID() == id; });
        });
        return named;
    };

    TQORMaterialMapList remaining;
    remaining.SetName("TempMapList");
    TListGuard guard("TQORMaterialMapPtr", "Map", "MaterialMaps");
    for (int i = 0; i < MaterialMaps->Count(); ++i) {
        guard.Visit(i);
        TQORMaterialMap* binding = (*MaterialMaps)[i];
        if (binding && binding->GetMapSource() && isNamedByAChannel(binding->GetID()))
            remaining.Add(binding);
        else
            KSN_DeleteMaterialMap(binding);
    }
    if (remaining.Count() < MaterialMaps->Count()) {
        MaterialMaps->Clear();
        for (TQORMaterialMap* binding : remaining) MaterialMaps->Add(binding);
    }

    ForEachMaterial(this, [](TQORMaterial* material) {
        ForEachChannel(material, [](TQORMaterialChannel* channel) {
            if (channel->GetMapID() != 0 && !LiveBinding(channel->GetMapID())) channel->SetMapID(0);
        });
    });
}

void TKSN_Mesh::UpdateMapQuadTree(TQORMaterialMap* binding, int index)
{
    if (!binding) return;
    binding->MapIndex = index;
    if (!binding->GetMapSource()) return;

    std::vector<int32_t> polygons;
    int lastMaterial = 0;
    bool lastUses = false, known = false;
    for (int p = 0; p < polygonCount; ++p) {
        const int m = Polygons[p].Material;
        if (!known || m != lastMaterial) {
            TQORMaterial* material = MaterialAt(this, m);
            lastUses = material && material->IsMapInMaterial(binding);
            lastMaterial = m;
            known = true;
        }
        if (lastUses) polygons.push_back(p);
    }
    if (polygons.size() != binding->PolygonList.size()) binding->PolygonList.assign(polygons.size(), 0);
    if (!polygons.empty())
        memcpy_Multithread(binding->PolygonList.data(), polygons.data(), polygons.size() * sizeof(int32_t));
}

bool TKSN_Mesh::UsesSourceMap(TQORMaterialMapSource* source)
{
    if (!source || !MaterialMaps) return false;
    for (TQORMaterialMap* binding : *MaterialMaps)
        if (binding && binding->GetMapSourceID() == source->GetID()) return true;
    return false;
}

void TKSN_Mesh::SendColorMapsToOpenGL()
{
    for (int i = 0; MaterialMaps && i < MaterialMaps->Count(); ++i) {
        TQORMaterialMap* binding = (*MaterialMaps)[i];
        TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
        if (!source) continue;
        if (PaintingHooks.OnWholeMapChanged)
            PaintingHooks.OnWholeMapChanged(source);
        else
            source->OnWholeMapChanged();
    }
}

// ============================================================================
// [SECTION] Texture overlap
// ============================================================================

namespace {

// TODO(stub): stands for the paint brushes' RasterizeTriangle_TestingForOverlap.
// Rasterises the triangle a, b, c (x, y in grid pixels) over the pixel
// centres of a width x height grid of byte counters (step bytes a pixel),
// raising each covered counter by one (wrapping at 256). overlap: more than
// 5% of the covered pixels had a counter of 2..254 before.
void RasterizeTriangle_TestingForOverlap(bool& overlap, const float* a, const float* b, const float* c, int width,
                                         int height, unsigned char* counters, int step)
{
    overlap = false;
    for (const float* p : {a, b, c})
        if (!std::isfinite(p[0]) || !std::isfinite(p[1])) return;
    const double denominator = double(b[1] - c[1]) * (a[0] - c[0]) + double(c[0] - b[0]) * (a[1] - c[1]);
    if (std::fabs(denominator) < 1e-12) return;

    auto clampTo = [](double value, int hi) { return int(std::clamp(value, 0.0, double(hi))); };
    const int x0 = clampTo(std::floor(std::min({a[0], b[0], c[0]})), width - 1);
    const int x1 = clampTo(std::ceil(std::max({a[0], b[0], c[0]})), width - 1);
    const int y0 = clampTo(std::floor(std::min({a[1], b[1], c[1]})), height - 1);
    const int y1 = clampTo(std::ceil(std::max({a[1], b[1], c[1]})), height - 1);

    constexpr double lo = -0.0001, hi = 1.0001;
    int covered = 0, overlapping = 0;
    for (int y = y0; y <= y1; ++y) {
        const double py = y + 0.5;
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5;
            const double l1 = (double(b[1] - c[1]) * (px - c[0]) + double(c[0] - b[0]) * (py - c[1])) / denominator;
            const double l2 = (double(c[1] - a[1]) * (px - c[0]) + double(a[0] - c[0]) * (py - c[1])) / denominator;
            const double l3 = 1.0 - l1 - l2;
            if (l1 < lo || l1 > hi || l2 < lo || l2 > hi || l3 < lo || l3 > hi) continue;
            unsigned char& counter = counters[(size_t(y) * size_t(width) + size_t(x)) * size_t(step)];
            if (counter >= 2 && counter <= 254) ++overlapping;
            ++counter;
            ++covered;
        }
    }
    if (covered > 0) overlap = double(overlapping) > 0.05 * double(covered);
}

} // namespace

void TKSN_Mesh::TestForPaintingOverlap()
{
    for (int p = 0; p < polygonCount; ++p) PolygonFlags[p] &= ~KSN_POLY_TEXTURE_OVERLAP;
    if (tVertexCount <= 0 || !MaterialMaps) return;

    std::vector<std::pair<TQORMaterialMap*, TQORMaterialMapSource*>> relevant;
    int maxWidth = 0, maxHeight = 0;
    TListGuard guard("TQORMaterialMapPtr", "MapBinding", "MaterialMaps");
    for (int i = 0; i < MaterialMaps->Count(); ++i) {
        guard.Visit(i);
        TQORMaterialMap* binding = (*MaterialMaps)[i];
        TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
        if (!source || !binding->RelevantToPainting) continue;
        relevant.emplace_back(binding, source);
        maxWidth = std::max(maxWidth, source->GetWidth());
        maxHeight = std::max(maxHeight, source->GetHeight());
    }
    if (relevant.empty() || maxWidth / 2 <= 0 || maxHeight / 2 <= 0) return;
    unsigned char* buffer = GetPaintDepthBuffer(maxWidth / 2, maxHeight / 2);
    const size_t bufferBytes = size_t(maxWidth / 2) * size_t(maxHeight / 2);

    for (auto& [binding, source] : relevant) {
        const int w = source->GetWidth() / 2;
        const int h = source->GetHeight() / 2;
        if (w <= 0 || h <= 0) continue;
        std::memset(buffer, 0, bufferBytes);
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t p : binding->PolygonList) {
                if (p < 0 || p >= polygonCount || IsPolyLockedOrHidden(p)) continue;
                const TQORPolygon& poly = Polygons[p];
                if (!poly.Points || poly.Count < 3) continue;
                // A polygon with an unmapped corner has no place in texture space.
                std::vector<float> corners(size_t(poly.Count) * 2);
                bool mapped = true;
                for (int k = 0; k < poly.Count && mapped; ++k) {
                    const int vt = poly.Points[k].VT;
                    mapped = vt >= 0 && vt < tVertexCount;
                    if (!mapped) break;
                    corners[size_t(2 * k)] = tVertices[2 * vt] * float(w);
                    corners[size_t(2 * k + 1)] = tVertices[2 * vt + 1] * float(h);
                }
                if (!mapped) continue;
                bool overlapping = false;
                for (int i = 0; i + 2 < poly.Count; ++i) {
                    bool overlap = false;
                    RasterizeTriangle_TestingForOverlap(overlap, &corners[0], &corners[size_t(2 * (i + 1))],
                                                        &corners[size_t(2 * (i + 2))], w, h, buffer, 1);
                    overlapping = overlapping || overlap;
                }
                if (overlapping) PolygonFlags[p] |= KSN_POLY_TEXTURE_OVERLAP | KSN_POLY_PAINT_EDGE;
            }
        }
    }
}

// ============================================================================
// [SECTION] Maps after a model import
// ============================================================================

void TKSN_Mesh::ImportMapsAfterImportObject()
{
    const bool importMaps = PaintingHooks.GetImportMapsOption ? PaintingHooks.GetImportMapsOption() : true;
    if (!importMaps) {
        ForEachMaterial(this, [](TQORMaterial* material) {
            ForEachChannel(material, [](TQORMaterialChannel* channel) { channel->SetMapFileName(""); });
        });
        return;
    }
    if (MaterialMaps && MaterialMaps->Count() > 0) return;

    ForEachMaterial(this, [this](TQORMaterial* material) {
        ForEachChannel(material, [this](TQORMaterialChannel* channel) {
            const char* mapFile = channel->GetMapFileName();
            if (!mapFile[0]) {
                channel->SetMapID(0);
                return;
            }
            std::vector<char> shortName(std::strlen(mapFile) + 1, '\0');
            GetShortNameFromFileName(shortName.data(), mapFile, false);

            std::vector<TQORMaterialMapSource*> maps;
            if (QORMaterialMapSource_ProjectHooks.GetMapList) QORMaterialMapSource_ProjectHooks.GetMapList(maps);
            TQORMaterialMapSource* match = nullptr;
            for (TQORMaterialMapSource* source : maps)
                if (source && QORstrcmpi(source->GetName(), shortName.data()) == 0) {
                    match = source;
                    break;
                }
            if (match) {
                if (TQORMaterialMap* binding = GetMapFromSource(this, match, true)) {
                    channel->SetMapID(int(binding->GetID()));
                    return;
                }
            }

            std::vector<char> path = PathBuffer(mapFile);
            if (!LocateFile(path.data())) return;
            TQORMaterialMapSource* source = PaintingHooks.ImportMap ? PaintingHooks.ImportMap(path.data()) : nullptr;
            if (!source) return;
            source->SetName("%s", shortName.data());
            if (TQORMaterialMap* binding = CreateNewMap(this, source)) channel->SetMapID(int(binding->GetID()));
        });
    });
    OnMapTopologyChanged();
}

// ============================================================================
// [SECTION] Map of a polygon
// ============================================================================

namespace {

// The map source behind the binding a channel names, when both exist.
TQORMaterialMapSource* MapSourceOfChannel(TQORMaterialChannel* channel)
{
    if (!channel || channel->GetMapID() == 0) return nullptr;
    TQORMaterialMap* binding = LiveBinding(channel->GetMapID());
    return binding ? binding->GetMapSource() : nullptr;
}

} // namespace

TQORMaterialMapSource* TKSN_Mesh::GetCurrentChannelMapFromPolygon(TKSN_Viewport* viewport, int polygon)
{
    if (polygon < 0 || polygon >= polygonCount) return nullptr;
    TQORMaterial* material = MaterialAt(this, vGetPolyM(polygon));
    if (!material || !PaintingHooks.GetActiveChannelFromMaterial) return nullptr;
    return MapSourceOfChannel(PaintingHooks.GetActiveChannelFromMaterial(viewport, material));
}

TQORMaterialMapSource* TKSN_Mesh::GetColorMapFromPolygon(TKSN_Viewport* /*viewport*/, int polygon)
{
    if (polygon < 0 || polygon >= polygonCount) return nullptr;
    TQORMaterial* material = MaterialAt(this, vGetPolyM(polygon));
    return material ? MapSourceOfChannel(material->ColorChannel) : nullptr;
}

// ============================================================================
// [SECTION] Tree lookups
// ============================================================================

namespace {

// Depth-first over group, its following siblings and their descendants; a
// group's own items come before its child groups. match(group, item) is
// asked of each group (item null) and each item the walk looks at; the first
// answer that is not null is the result.
template <class F>
TKSN_Thingy* WalkTree(TKSN_TreeGroup* group, bool skipItemsOfCollapsed, F& match)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (TKSN_Thingy* found = match(g, nullptr)) return found;
        if (g->items && !(skipItemsOfCollapsed && g->collapsed)) {
            TListGuard guard("TKSN_ThingyPtr", "Thing", "Node->List");
            for (int i = 0; i < g->items->Count(); ++i) {
                guard.Visit(i);
                TKSN_Thingy* item = (*g->items)[i];
                if (!item) continue;
                if (TKSN_Thingy* found = match(g, item)) return found;
            }
        }
        if (TKSN_Thingy* found = WalkTree(g->GetChild(), skipItemsOfCollapsed, match)) return found;
    }
    return nullptr;
}

} // namespace

TKSN_TreeGroup* TKSN_Mesh::GetGroupNodeFromDisplayListIndex(TKSN_TreeGroup* group, int number)
{
    TKSN_TreeGroup* result = nullptr;
    auto match = [&](TKSN_TreeGroup* g, TKSN_Thingy* item) -> TKSN_Thingy* {
        const bool hit = item ? item->displayListNumber == number : g->displayListNumber == number;
        if (hit) result = g;
        return hit ? g : nullptr;
    };
    WalkTree(group, true, match);
    return result;
}

TKSN_Thingy* TKSN_Mesh::GetThingyFromDisplayListIndex(TKSN_TreeGroup* group, int number)
{
    auto match = [&](TKSN_TreeGroup* g, TKSN_Thingy* item) -> TKSN_Thingy* {
        TKSN_Thingy* entry = item ? item : g;
        return entry->displayListNumber == number ? entry : nullptr;
    };
    return WalkTree(group, true, match);
}

TKSN_TreeGroup* GetGroupFromThingy(TKSN_TreeGroup* group, TKSN_Thingy* thingy)
{
    if (!thingy) return nullptr;
    TKSN_TreeGroup* result = nullptr;
    auto match = [&](TKSN_TreeGroup* g, TKSN_Thingy* item) -> TKSN_Thingy* {
        if (item != thingy) return nullptr;
        result = g;
        return g;
    };
    WalkTree(group, false, match);
    return result;
}
