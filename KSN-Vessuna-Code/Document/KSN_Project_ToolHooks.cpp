// What the tool framework needs of the project. The tool library sits below
// the project in the link graph (the project's modes call the tools), so the
// project registers these answers with it; each looks the project up on every
// call, so they stay valid across project replacements.
#include "KSN_Project.h"

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_SculptLayer.h"
#include "KSN_SculptUndo.h"
#include "KSN_Tool.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

#include <algorithm>
#include <memory>
#include <vector>
#include "KSN_Application.h"
#include "KSN_Deformer.h"
#include "KSN_Faceloom.h"
#include "KSN_ToolList.h"
#include "KSN_Undo.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Tool.h"
#include "KSN_Union.h"

#include <memory>

namespace {

// The Lock X, Y and Z switches of the symmetry options.
void KSN_GetProjectAxisLocks(bool& x, bool& y, bool& z)
{
    x = Project && Project->DeformLockX;
    y = Project && Project->DeformLockY;
    z = Project && Project->DeformLockZ;
}

} // namespace

void TKSN_Project::RegisterToolHooks()
{
    TKSN_ToolProjectHooks hooks;
    // The user's choice, not the method in effect: a tool that reduced the
    // method must not be fed its own answer, or the method never climbs back.
    hooks.GetUserCullingMethod = []() { return Project ? Project->GetUserCullingMethod() : 0; };
    hooks.GetBrushImageFlips = [](bool& flipX, bool& flipY) {
        flipX = Project && Project->FlipBrushTextureX;
        flipY = Project && Project->FlipBrushTextureY;
    };
    hooks.IsBrushShapeValid = [](float size, float hardness) {
        return Project && Project->IsBrushShapeValid(size, hardness);
    };
    hooks.SetupOverlayAndBrushShape = [](TKSN_Viewport* viewport, float size, float hardness) {
        if (Project) Project->SetupOverlayAndBrushShape(viewport, size, hardness);
    };
    hooks.GetBrushOutline = [](int& count) -> const int32_t* {
        count = Project ? Project->BrushOutlinePointCount : 0;
        return Project ? Project->BrushOutlinePoints : nullptr;
    };
    hooks.GetCurrentViewport = []() { return Project ? Project->GetCurrentViewport() : nullptr; };
    hooks.InvalidateOverlay = []() {
        if (Project) Project->InvalidateOverlay();
    };
    // The stroke engine and the chisels.
    hooks.GetObjects = [](std::vector<TKSN_Object*>& out) {
        out.clear();
        if (!Project) return;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
        if (objects)
            for (TKSN_Object* object : *objects) out.push_back(object);
    };
    hooks.CanAffectObject = [](TKSN_Object* object) { return Project && Project->CanAffectObject(object); };
    hooks.GetCullingMethod = []() { return Project ? Project->GetCullingMethod() : 0; };
    hooks.DoUseSymmetry = [](TKSN_MeshRoot* mesh) { return Project && Project->DoUseSymmetry(mesh); };
    hooks.SetDeformingFlag = [](bool on) {
        if (Project) Project->SetDeformingFlag(on);
    };
    hooks.OnFullSurfaceChanged = []() {
        if (Project) Project->OnFullSurfaceChanged();
    };
    hooks.CreateCurrentMorphForMeshIfNecessary = [](TKSN_Mesh* mesh) {
        if (Project) Project->CreateCurrentMorphForMeshIfNecessary(mesh);
    };
    hooks.SetupCurrentUndo = [](TKSN_Object* object, int kind, int mode, const char* message, bool keepRedo) {
        if (Project) Project->SetupCurrentUndo(object, kind, mode, message, keepRedo);
    };
    hooks.GetCurrentMorphUnionID = []() -> uint32_t { return Project ? Project->GetCurrentMorphUnionID() : 0; };
    hooks.GetBrushShapeBitmaps = [](int& w, int& h, const unsigned char*& shape, const unsigned char*& simplified) {
        w = h = 0;
        shape = simplified = nullptr;
        if (!Project) return;
        shape = Project->BrushShapeImage.GetPixels();
        simplified = Project->SimplifiedBrushShapeImage.GetPixels();
        w = Project->BrushShapeImage.GetWidth();
        h = Project->BrushShapeImage.GetHeight();
        // The simplified image must cover the same pixels, or lookups would read past its end.
        if (Project->SimplifiedBrushShapeImage.GetWidth() != w || Project->SimplifiedBrushShapeImage.GetHeight() != h)
            simplified = nullptr;
    };
    hooks.GetStrokeSettings = [](TKSN_StrokeSettings& out) {
        if (!Project) return;
        out.ExtraSoftBrushStrokes = Project->ExtraSoftBrushStrokes;
        out.DoAngleFade = Project->DoAngleFade;
        out.FadeCutoff = Project->FadeCutoff;
        out.FadeFalloff = Project->FadeFalloff;
    };
    hooks.GetMeshes = [](std::vector<TKSN_Mesh*>& out) {
        out.clear();
        if (!Project) return;
        std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(Project->GetMeshList());
        for (TKSN_Mesh* mesh : *meshes) out.push_back(mesh);
    };
    hooks.OnWholeMapChanged = [](TQORMaterialMapSource* map) {
        if (Project) Project->OnWholeMapChanged(map);
    };
    hooks.GetCurrentSculptLayer = []() -> TKSN_LayerDefinition* {
        if (!Project || !Project->SculptLayers) return nullptr;
        TKSN_LayerGroup* root = Project->SculptLayers->GetRootLayerGroup();
        if (!root) return nullptr;
        const uint32_t id = root->GetCurrentLayerID();
        if (auto* layer = id ? dynamic_cast<TKSN_SculptLayer*>(__GetThingyFromID(id)) : nullptr) return layer;
        auto* first = dynamic_cast<TKSN_SculptLayer*>(root->GetFirstLayer());
        if (first) root->SetCurrentLayer(first);
        return first;
    };
    hooks.GetSculptLayerDeltas = [](TKSN_Mesh* mesh, int vertexCount, bool create) -> float* {
        if (!Project || !mesh || !mesh->LayerDataSet || vertexCount <= 0) return nullptr;
        // The project's current sculpt layer, whatever group the set names.
        TKSN_LayerDefinition* layer = KSN_GetToolProjectHooks().GetCurrentSculptLayer();
        if (!layer) return nullptr;
        TKSN_LayerDataSet* set = mesh->LayerDataSet;
        uint32_t id = 0;
        TKSN_LayerIDIterator it, end;
        set->GetRawLayerDataIterators(it, end);
        for (; it != end; ++it)
            if (it->first == layer->GetID()) id = it->second;
        auto* map = id ? dynamic_cast<TKSN_VertexMap*>(__GetThingyFromID(id)) : nullptr;
        // Data made for another vertex count would be read past its end.
        if (map && map->HasData() && map->Count == vertexCount && map->Dim == 3) return map->Data;
        if (map || !create) return nullptr;
        auto* fresh = new TKSN_VertexMap;
        fresh->SetOwner(set);
        fresh->SetCount(vertexCount, 3);
        fresh->Clear();
        layer->AddLayerDataSet(set->GetID());
        layer->AddLayerDataForSet(set, fresh);
        return fresh->Data;
    };
    hooks.IsSymmetryOn = [](TKSN_Mesh* mesh, bool& flipped) {
        flipped = Project && Project->FlipSymmetry;
        return Project && Project->UseSymmetry && mesh && mesh->OwnerObject && mesh->OwnerObject->SymmetryEnabled;
    };
    hooks.GetBrushShapeImage = [](int& width, int& height) -> const unsigned char* {
        width = height = 0;
        if (!Project || Project->BrushShapeImage.GetBytesPerPixel() != 1) return nullptr;
        const unsigned char* pixels = Project->BrushShapeImage.GetPixels();
        if (!pixels) return nullptr;
        width = Project->BrushShapeImage.GetWidth();
        height = Project->BrushShapeImage.GetHeight();
        return width > 0 && height > 0 ? pixels : nullptr;
    };
    hooks.PrepareSculptBrushTexture = [](TKSN_Viewport* viewport, int& width, int& height) -> const unsigned char* {
        width = height = 0;
        if (!Project) return nullptr;
        Project->BeforeConsiderTiling(viewport);
        TKSN_TextureBrushImage* image = Project->GetCurrentColorizeTextureBrushImage();
        if (!image || image->GetBytesPerPixel() != 4 || !image->GetPixels()) return nullptr;
        width = image->GetWidth();
        height = image->GetHeight();
        return width > 0 && height > 0 ? image->GetPixels() : nullptr;
    };
    hooks.GetTiledUVMapForVertex = [](TKSN_Viewport* viewport, float* uvw, const float* point,
                                      const float* reference, int vertex) {
        if (Project) Project->GetTiledUVMapForVertex(viewport, uvw, point, reference, vertex);
    };
    hooks.BeforeBakeDisplacementMaps = []() {
        if (!Project) return;
        std::vector<TQORMaterialMapSource*> recorded;
        std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(Project->GetMeshList());
        for (TKSN_Mesh* mesh : *meshes) {
            if (!mesh || !mesh->GetSubD_MaxLevel() || !mesh->OwnerObject) continue;
            Project->SetupUndoForMaterialStates(mesh->OwnerObject, "Bake displacement maps");
            for (int i = 0; i < mesh->GetMaterialCount(); ++i) {
                TQORMaterial* material = mesh->GetMaterial(i);
                TQORMaterialChannel* channel = material ? material->GetChannelFromName("Displacement") : nullptr;
                auto* binding = channel && channel->GetMapID()
                                    ? dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()))
                                    : nullptr;
                TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
                if (!source || std::find(recorded.begin(), recorded.end(), source) != recorded.end()) continue;
                recorded.push_back(source);
                Project->SetupUndoForMapEdit(source, true);
            }
        }
    };
    hooks.BeginSculptStroke = KSN_BeginSculptStrokeUndo;
    hooks.EndSculptStroke = KSN_EndSculptStrokeUndo;
    // The stroke engine picks on the level on display and maps the hit to the
    // owner mesh itself.
    hooks.GetClosestPolygonAndMesh = [](TKSN_Viewport* viewport, TKSN_MeshRoot*& mesh, int& polygon, float x,
                                        float y, float* hit) {
        mesh = nullptr;
        polygon = -1;
        return Project && Project->GetClosestPolygonAndMesh(viewport, mesh, polygon, x, y, false, false, hit);
    };
    hooks.GetAxisLocks = KSN_GetProjectAxisLocks;
    hooks.StartVertexCullingIfNecessary = [](bool wait) {
        if (Project) Project->StartVertexCullingIfNecessary(wait);
    };
    hooks.WaitForVertexCullingToBecomeReady = []() {
        if (Project) Project->WaitForVertexCullingToBecomeReady();
    };
    hooks.IsVertexCulled = [](TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex) {
        return Project && Project->IsVertexCulled(mesh, viewport, vertex);
    };
    // TODO(stub): the connected-surface switch; unset, tools see it off.
    KSN_SetToolProjectHooks(hooks);

    RegisterDeformerHooks();
}

void TKSN_Project::RegisterDeformerHooks()
{
    TKSN_DeformerProjectHooks hooks;
    hooks.GetAffectableMeshes = [](std::vector<TKSN_Mesh*>& out) {
        if (!Project) return;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
        for (TKSN_Object* object : *objects) {
            TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
            if (!mesh || !Project->CanAffectObject(object)) continue;
            if (object->GetCustomBooleanProperty("COMPLETELY_LOCKED")) continue;
            if (mesh->GetSelectedVertexCount() <= 0) continue;
            Project->CreateCurrentMorphForMeshIfNecessary(mesh);
            TKSN_Morph* current = mesh->GetCurrentMorph();
            if (!current || current->IsReadOnly()) continue;
            out.push_back(mesh);
        }
    };
    hooks.GetCurrentMorphUnionStrength = [](float& strength) {
        TKSN_MorphUnion* morphUnion = Project ? Project->GetCurrentMorphUnion() : nullptr;
        if (morphUnion) strength = morphUnion->Strength;
        return morphUnion != nullptr;
    };
    hooks.SyncCurrentMorphs = []() {
        TKSN_MorphUnion* morphUnion = Project ? Project->GetCurrentMorphUnion() : nullptr;
        if (!morphUnion) return;
        morphUnion->CopyParametersToAllItems();
        morphUnion->ValidateItems();
        for (unsigned id : morphUnion->ItemIDs) {
            auto* morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(id));
            if (!morph) continue;
            std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(Project->GetMeshList());
            for (TKSN_Mesh* mesh : *meshes)
                if (mesh && mesh->GetID() == morph->GetOwnerID()) mesh->SetCurrentMorph(morph);
        }
    };
    hooks.BeforeDeform = [](const char* name) {
        if (Project) Project->BeforeDeform(name, true, false);
    };
    hooks.SetDeformingFlag = [](bool on) {
        if (Project) Project->SetDeformingFlag(on);
    };
    hooks.DoUseSymmetry = [](TKSN_Mesh* mesh) { return Project && Project->DoUseSymmetry(mesh); };
    hooks.GetAxisLocks = KSN_GetProjectAxisLocks;
    hooks.OnSymmetrySettingsChanged = [](TKSN_Mesh* mesh) {
        if (Project) Project->OnSymmetrySettingsChanged(mesh, true);
    };
    hooks.OnAllViewportsChanged = []() {
        if (Project) Project->OnAllViewportsChanged();
    };
    hooks.AfterDrag = []() {
        if (Project) Project->ProcessAutoViewports();
    };
    KSN_SetDeformerProjectHooks(hooks);

    TKSN_FaceloomProjectHooks faceloom;
    faceloom.GetCurrentObject = []() { return Project ? Project->GetCurrentObject() : nullptr; };
    // Importing and auto-loading selection sets belong to the file
    // interchange, which registers them itself (KSN_SetFaceloomSelectionSetHooks).
    faceloom.CreateCurrentMorphForMeshIfNecessary = [](TKSN_Mesh* mesh) {
        if (Project) Project->CreateCurrentMorphForMeshIfNecessary(mesh);
    };
    faceloom.BeforeDeform = [](const char* name, bool currentObjectOnly) {
        if (!Project) return;
        Project->BeforeDeform(name, true, currentObjectOnly);
        // The head is changed even with nothing selected: its morph is recorded all the same.
        TKSN_Object* object = Project->GetCurrentObject();
        TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
        if (mesh && mesh->GetSelectedVertexCount() <= 0 && mesh->GetCurrentMorph())
            Project->SetupCurrentUndo(object, KSN_UNDO_DEFORMATION, 1, name, false);
    };
    faceloom.AddToolUndoNode = [](TKSN_Tool* tool, TKSN_Thingy* payload) {
        TKSN_Undo_Node* node = Project ? Project->CreateUndoNode(nullptr, KSN_UNDO_TOOL_SETTINGS, 1, 0) : nullptr;
        if (!node) return false;
        node->Payload = payload;
        node->Tool = tool;
        Project->AddUndoNode(node);
        return true;
    };
    faceloom.OnShapeChanged = [](TKSN_Object* object) {
        if (Project && object) Project->OnShapeChanged(object, true, true);
    };
    faceloom.FindDeformer = [](bool (*test)(TKSN_Tool*)) -> TKSN_Tool* {
        if (!App || !App->deformationTools) return nullptr;
        for (TKSN_Tool* tool : *App->deformationTools)
            if (tool && test(tool)) return tool;
        return nullptr;
    };
    KSN_SetFaceloomProjectHooks(faceloom);
}
