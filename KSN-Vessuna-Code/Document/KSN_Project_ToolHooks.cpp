// What the tool framework needs of the project. The tool library sits below
// the project in the link graph (the project's modes call the tools), so the
// project registers these answers with it; each looks the project up on every
// call, so they stay valid across project replacements.
#include "KSN_Project.h"

#include "KSN_Tool.h"

#include <memory>
#include <vector>

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
    // TODO(stub): the project's background vertex culling (start, wait, per-vertex answer), the
    // connected-surface switch, picking (GetClosestPolygonAndMesh) and the Lock X/Y/Z switches;
    // unset, tools see no culled vertex, the switch off, nothing under the cursor and no axis locked.
    KSN_SetToolProjectHooks(hooks);
}
