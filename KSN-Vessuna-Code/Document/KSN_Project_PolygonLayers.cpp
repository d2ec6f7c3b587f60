// Polygon layers of the project: turning the 32 layers' hidden and locked
// states into the meshes' per-polygon and per-vertex flags, adding the
// selection to layers, the current layer, new-layer colours and the
// layer-colour flash.
//
// Index:
//   [SECTION] Helpers
//   [SECTION] Visibility and world bounds
//   [SECTION] Locking
//   [SECTION] Membership
//   [SECTION] Current layer, colours and flashing
#include "KSN_Project.h"

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

// ============================================================================
// [SECTION] Helpers
// ============================================================================

namespace {

constexpr int LastUserLayerIndex = 29;
constexpr int LastLayerIndex = KSN_POLYGON_LAYER_COUNT - 1;

// Polygon-flag mark that the mesh's rebuild of the selected lists sets on
// polygons selected above 0.0499 (in vertex selection: through a corner).
constexpr uint32_t PolySelectedMark = 0x20000;
// AddSelectionToLayer takes polygons whose resolved weight is above this.
constexpr float AddSelectionThreshold = 0.299f;

constexpr int CommandRefreshLayerWindow = 436;
constexpr int UndoKindPolygonLayers = 1014;

constexpr const char* CompletelyLockedProperty = "COMPLETELY_LOCKED";

// The membership bit of layer n; layer 0 has none.
constexpr uint32_t LayerBit(int n)
{
    return (n >= 1 && n <= LastLayerIndex) ? (uint32_t(1) << (n - 1)) : 0u;
}

bool IsInUse(const TKSN_Layer* layer) { return layer && layer->IsEnabled(); }

// The objects the add-to-layer operations leave alone.
bool SkipForLayerAssignment(TKSN_Project* project, TKSN_Object* object)
{
    if (!object || !object->Mesh) return true;
    if (!project->CanAffectObject(object)) return true;
    if (object->GetCustomBooleanProperty(CompletelyLockedProperty)) return true;
    return object->Mesh->GetSelectedVertexCount() == 0;
}

// Layer texts carry a %s or %d for the name or count.
template <class... Args>
std::string LayerText(int id, Args... args)
{
    return QORFormat(Lang.GetText(id), args...);
}

} // namespace

// ============================================================================
// [SECTION] Visibility and world bounds
// ============================================================================

bool TKSN_Project::UpdateVisibleLayers_OnVisit(TKSN_TreeGroup* group, int, void* userData)
{
    auto* project = static_cast<TKSN_Project*>(userData);
    if (!group || !project) return true;
    TKSN_Layer* const* layers = project->PolygonLayers;
    const bool allStartHidden = layers[0]->IsHidden();

    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (!object || !object->Mesh) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        const int polygonCount = mesh->GetPCount();

        for (int p = 0; p < polygonCount; ++p) {
            if (allStartHidden)
                mesh->PolygonFlags[p] |= QORPoly_Hidden;
            else
                mesh->PolygonFlags[p] &= ~uint32_t(QORPoly_Hidden);
        }
        // With everything hidden a shown layer reveals its polygons; with
        // everything shown a hidden layer hides its polygons.
        for (int n = 1; n <= LastLayerIndex; ++n) {
            const TKSN_Layer* layer = layers[n];
            if (!IsInUse(layer)) continue;
            const uint32_t bit = LayerBit(n);
            if (allStartHidden && !layer->IsHidden()) {
                for (int p = 0; p < polygonCount; ++p)
                    if (mesh->TestPolyLayerFlag(p, bit)) mesh->PolygonFlags[p] &= ~uint32_t(QORPoly_Hidden);
            } else if (!allStartHidden && layer->IsHidden()) {
                for (int p = 0; p < polygonCount; ++p)
                    if (mesh->TestPolyLayerFlag(p, bit)) mesh->PolygonFlags[p] |= QORPoly_Hidden;
            }
        }

        mesh->InvalidateVisibleLookups();
        const int visible = mesh->GetVisibleVertexCount();
        for (int i = 0; i < visible; ++i) {
            const float* position = mesh->resolvedVertices + 3 * size_t(mesh->visibleVertices[i]);
            // The bounds start inverted (min above max): the first vertex sets both corners.
            const bool found = project->WorldMin[0] <= project->WorldMax[0];
            for (int c = 0; c < 3; ++c) {
                if (!found || position[c] < project->WorldMin[c]) project->WorldMin[c] = position[c];
                if (!found || position[c] > project->WorldMax[c]) project->WorldMax[c] = position[c];
            }
        }

        mesh->SelectedListsValid = false;
        mesh->RecalculateNormals(true);
        mesh->InvalidateOctree();
    }
    return true;
}

void TKSN_Project::UpdateVisibleLayers()
{
    for (int c = 0; c < 3; ++c) {
        WorldMin[c] = 1.0f;
        WorldMax[c] = -1.0f;
    }
    TKSN_TreeGroup::Traverse(Objects, 0, UpdateVisibleLayers_OnVisit, this, false);

    if (WorldMin[0] > WorldMax[0]) {
        for (int c = 0; c < 3; ++c)
            WorldMin[c] = WorldMax[c] = 0.0f;
    }
    const float dx = WorldMax[0] - WorldMin[0];
    const float dy = WorldMax[1] - WorldMin[1];
    const float dz = WorldMax[2] - WorldMin[2];
    float radius = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
    if (radius < 1e-30f) {
        WorldMin[0] = -1.0f;
        WorldMin[1] = -1.0f;
        WorldMin[2] = 1.0f;
        for (int c = 0; c < 3; ++c)
            WorldMax[c] = 1.0f;
        radius = 1.4142135f;
    }
    WorldSize = radius;
    for (int c = 0; c < 3; ++c)
        WorldCentre[c] = 0.5f * (WorldMin[c] + WorldMax[c]);

    if (!App) return;
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport && viewport->shown) OnSingleViewportChanged(viewport);
}

// ============================================================================
// [SECTION] Locking
// ============================================================================

bool TKSN_Project::UpdateLockedLayers_OnVisit(TKSN_TreeGroup* group, int, void* userData)
{
    auto* project = static_cast<TKSN_Project*>(userData);
    if (!group || !project) return true;
    TKSN_Layer* const* layers = project->PolygonLayers;
    const bool allLocked = layers[0]->Locked;

    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (!object || !object->Mesh) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        const int vertexCount = mesh->GetVCount();
        const int polygonCount = mesh->GetPCount();

        for (int v = 0; v < vertexCount; ++v) {
            if (allLocked)
                mesh->VertexInfo[v].Flags |= QORPoly_Locked;
            else
                mesh->VertexInfo[v].Flags &= ~uint32_t(QORPoly_Locked);
        }
        for (int p = 0; p < polygonCount; ++p) {
            if (allLocked)
                mesh->PolygonFlags[p] |= QORPoly_Locked;
            else
                mesh->PolygonFlags[p] &= ~uint32_t(QORPoly_Locked);
        }
        // An unlocked layer frees its polygons from a locked "All Polygons",
        // but the vertices stay locked; a locked layer locks its polygons and
        // their vertices, whose selection weight goes.
        for (int n = 1; n <= LastLayerIndex; ++n) {
            const TKSN_Layer* layer = layers[n];
            if (!IsInUse(layer)) continue;
            const uint32_t bit = LayerBit(n);
            if (allLocked && !layer->Locked) {
                for (int p = 0; p < polygonCount; ++p)
                    if (mesh->TestPolyLayerFlag(p, bit)) mesh->PolygonFlags[p] &= ~uint32_t(QORPoly_Locked);
            } else if (!allLocked && layer->Locked) {
                for (int p = 0; p < polygonCount; ++p) {
                    if (!mesh->TestPolyLayerFlag(p, bit)) continue;
                    mesh->PolygonFlags[p] |= QORPoly_Locked;
                    const int corners = mesh->vGetPolyN(p);
                    for (int c = 0; c < corners; ++c) {
                        const int v = mesh->vGetPolyV(p, c);
                        if (v < 0 || v >= vertexCount) continue;
                        mesh->VertexInfo[v].Flags |= QORPoly_Locked;
                        mesh->SetVSelect(v, 0.0f);
                    }
                }
            }
        }

        if (polygonCount >= 1) {
            bool everyPolygonLocked = true;
            for (int p = 0; p < polygonCount && everyPolygonLocked; ++p)
                everyPolygonLocked = (mesh->PolygonFlags[p] & QORPoly_Locked) != 0;
            object->SetCustomBooleanProperty(CompletelyLockedProperty, everyPolygonLocked);
        }
        mesh->SelectedListsValid = false;
    }
    return true;
}

void TKSN_Project::UpdateLockedLayers()
{
    TKSN_TreeGroup::Traverse(Objects, 0, UpdateLockedLayers_OnVisit, this, false);
}

// ============================================================================
// [SECTION] Membership
// ============================================================================

void TKSN_Project::CleanupLayerFlagsAndSuch()
{
    PolygonLayers[0]->DisplayFlags |= TKSN_Layer::UseViewportDefault;

    // Bits of the hidden and locked layers and bit 31 are kept.
    uint32_t mask = ~uint32_t(0);
    for (int n = 1; n <= LastUserLayerIndex; ++n)
        if (!IsInUse(PolygonLayers[n])) mask &= ~LayerBit(n);

    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh) continue;
        const int polygonCount = mesh->GetPCount();
        for (int p = 0; p < polygonCount; ++p)
            mesh->Polygons[p].LayerFlags = mesh->GetPolyLayerFlags(p) & mask;
    }
}

void TKSN_Project::AddSelectionToLayer(int n, bool force, const char* undoText, bool report)
{
    // Layer 0 stands for every polygon and owns no bit, so nothing can join it.
    if (n < 1 || n > LastLayerIndex || (PolygonLayers[n]->IsBuiltIn && !force)) {
        if (report) OS.PrintMessageNoRepeat("%s", Lang.GetText(1086));
        return;
    }
    TKSN_Layer* layer = PolygonLayers[n];
    const uint32_t bit = LayerBit(n);
    const bool callerText = report && undoText && undoText[0];
    const std::string text = callerText ? std::string(undoText) : LayerText(1103, layer->GetName());

    bool announced = false;
    int added = 0;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (SkipForLayerAssignment(this, object)) continue;
        if (!announced) {
            BeforeSelect("");
            announced = true;
        }
        TKSN_Mesh* mesh = object->Mesh.get();
        SetupCurrentUndo(object, UndoKindPolygonLayers, -1, text.c_str(), false);
        mesh->SelectedListsValid = false;
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
        for (int i = 0; i < mesh->SelectedPolygonCount; ++i) {
            const int p = mesh->SelectedPolygons[i];
            if (mesh->GetResolvedPSelect(p) > AddSelectionThreshold) {
                mesh->Polygons[p].LayerFlags |= bit;
                ++added;
            }
        }
    }

    if (report && !callerText) {
        if (added > 0)
            OS.PrintMessage("%s", LayerText(1183, layer->GetName()).c_str());
        else
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1184));
    }

    UpdateLockedLayers();
    UpdateVisibleLayers();
    OnShapeChanged(true, true);
    OnMapTopologyChanged();
}

int TKSN_Project::AddCurrentSelectionToLayer(TKSN_Layer* layer, bool withUndo, bool report, const char* undoText)
{
    // Layer 0 owns no bit; a record that is no project layer has none either.
    if (!layer || layer->Index < 1 || layer->Index > LastLayerIndex) {
        if (report) OS.PrintMessageNoRepeat("%s", Lang.GetText(1086));
        return 0;
    }
    if (withUndo) BeforeSelect("");

    uint32_t mask = LayerBit(layer->Index);
    int highlighted = 0;
    if (layer->Index <= LastUserLayerIndex) {
        for (int k = 1; k <= LastUserLayerIndex; ++k) {
            const TKSN_Layer* other = PolygonLayers[k];
            if (!IsInUse(other) || !other->multiSelected) continue;
            mask |= LayerBit(k);
            ++highlighted;
        }
    }

    const bool callerText = undoText && undoText[0];
    std::string text;
    if (callerText)
        text = undoText;
    else if (highlighted < 2)
        text = LayerText(1103, layer->GetName());
    else
        text = LayerText(1339, highlighted);

    int added = 0;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (SkipForLayerAssignment(this, object)) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        if (withUndo) SetupCurrentUndo(object, UndoKindPolygonLayers, -1, text.c_str(), false);
        mesh->SelectedListsValid = false;
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
        for (int i = 0; i < mesh->SelectedPolygonCount; ++i) {
            const int p = mesh->SelectedPolygons[i];
            if (mesh->PolygonFlags[p] & PolySelectedMark) {
                mesh->Polygons[p].LayerFlags |= mask;
                ++added;
            }
        }
    }

    if (report && !callerText) {
        if (added == 0)
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1184));
        else if (highlighted < 2)
            OS.PrintMessage("%s", LayerText(1183, layer->GetName()).c_str());
        else
            OS.PrintMessage("%s", LayerText(1343, highlighted).c_str());
    }

    ClearFlashSelection();
    FlashLayerColors = true;

    UpdateLockedLayers();
    UpdateVisibleLayers();
    OnShapeChanged(true, true);
    return 0;
}

// ============================================================================
// [SECTION] Current layer, colours and flashing
// ============================================================================

int TKSN_Project::ChangeLayer(int index, bool postEvent)
{
    if (index < 0 || index > LastLayerIndex) index = 0;
    if (index == CurrentLayerIndex) {
        // Layer 0 is the fallback: it is marked even when not in use, so the
        // fallback cannot call itself.
        if (IsInUse(PolygonLayers[index]) || index == 0) {
            PolygonLayers[index]->multiSelected = true;
        } else {
            ChangeLayer(0, true);
            PolygonLayers[0]->multiSelected = true;
        }
        return 0;
    }

    ClearFlashSelection();
    FlashLayerColors = true;
    CurrentLayerIndex = index;
    PolygonLayers[index]->multiSelected = true;
    if (App) {
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport) viewport->SetRenderedSceneStatus(2);
    }
    TKSN_glDisplayList::InvalidateAll();
    if (postEvent) QOREvents_PushEvent(CommandRefreshLayerWindow);
    return 1;
}

TKSN_Layer* TKSN_Project::GetCurrentLayer()
{
    if (CurrentLayerIndex < 0 || CurrentLayerIndex > LastLayerIndex) {
        CurrentLayerIndex = 0;
        return PolygonLayers[0];
    }
    if (IsInUse(PolygonLayers[CurrentLayerIndex])) return PolygonLayers[CurrentLayerIndex];
    ChangeLayer(0, true);
    return PolygonLayers[0];
}

void TKSN_Project::GetNewLayerColor(float* rgb)
{
    // Colours to keep away from: the layers in use, white and the two
    // selection colours.
    std::vector<std::array<float, 3>> taken;
    for (int k = 0; k <= LastUserLayerIndex; ++k) {
        const TKSN_Layer* layer = PolygonLayers[k];
        if (IsInUse(layer)) taken.push_back({layer->Color[0], layer->Color[1], layer->Color[2]});
    }
    taken.push_back({1.0f, 1.0f, 1.0f});
    if (App) {
        taken.push_back({App->hotSelectionColor[0], App->hotSelectionColor[1], App->hotSelectionColor[2]});
        taken.push_back({App->warmSelectionColor[0], App->warmSelectionColor[1], App->warmSelectionColor[2]});
    } else {
        taken.push_back({1.0f, 1.0f, 0.0f});
        taken.push_back({1.0f, 0.0f, 0.0f});
    }

    float best = 0.0f;
    float result[3] = {0.5f, 0.5f, 0.5f};
    for (int candidate = 0; candidate < 1000; ++candidate) {
        float c[3];
        do {
            for (float& component : c)
                component = float(QORrandom(256)) / 255.0f;
        } while (std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) <= 0.6f);

        float d = 100.0f;
        for (const auto& t : taken) {
            const float dr = c[0] - t[0], dg = c[1] - t[1], db = c[2] - t[2];
            d = std::fmin(d, std::sqrt(dr * dr + dg * dg + db * db));
        }
        if (d > best) {
            best = d;
            for (int i = 0; i < 3; ++i)
                result[i] = c[i];
        }
    }
    for (int i = 0; i < 3; ++i)
        rgb[i] = result[i];
}

void TKSN_Project::SetFlashLayerColors()
{
    ClearFlashSelection();
    FlashLayerColors = true;
}
