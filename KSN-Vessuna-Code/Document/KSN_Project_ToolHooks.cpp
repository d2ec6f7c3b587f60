// What the tool framework needs of the project. The tool library sits below
// the project in the link graph (the project's modes call the tools), so the
// project registers these answers with it; each looks the project up on every
// call, so they stay valid across project replacements.
#include "KSN_Project.h"

#include "KSN_Tool.h"

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
}
