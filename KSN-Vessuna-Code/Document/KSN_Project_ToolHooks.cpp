// What the tool framework needs of the project. The tool library sits below
// the project in the link graph (the project's modes call the tools), so the
// project registers these answers with it; each looks the project up on every
// call, so they stay valid across project replacements.
#include "KSN_Project.h"

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
        return Project && Project->BrushShapeValid && Project->BrushShapeSize == size &&
               Project->BrushShapeHardness == hardness;
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
    // TODO(stub): the project's background vertex culling (start, wait, per-vertex answer) and the
    // connected-surface switch; unset, tools see no culled vertex and the switch off.
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
    // TODO(stub): the project's Lock X, Y and Z switches (the symmetry options
    // panel); until they exist no axis is locked.
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
