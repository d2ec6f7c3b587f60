// Drawing a viewport: whether its cached image is still good or a new render
// is due, and how the octree renderer is to draw it (view mode, OpenGL or the
// software path, display-list reuse, changed nodes only). Also the auxiliary
// viewports that follow the main one, and the end of the selection and
// layer-colour flashes. Main thread, in the current GL context.
#include "KSN_Project.h"

#include <memory>

#include "KSN_Application.h"
#include "KSN_PolygonLayer.h"
#include "KSN_RenderSetup.h"
#include "KSN_Renderer4.h"
#include "KSN_ToolKinds.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMaterial.h"
#include "QORMatrix.h"
#include "QORString.h"

namespace {

constexpr int kCommandRedisplay = 146;
constexpr int kToolTypeTabPaint = 3;
constexpr int kToolTypeTabModeling = 4;

int DrawCount = 0;   // running count of viewport draws, for the debug lines

// The quick render belongs to the main viewport; the others show their own mode.
int EffectiveSpecialMode(int special, bool isMain) { return (special == 3 && !isMain) ? 0 : special; }

} // namespace

void TKSN_Project::DrawViewport(TKSN_Viewport* viewport)
{
    OS.DebugMessage("FFF- DrawViewport");
    if (!viewport || !App) return;
    if (TKSN_Tool* tool = App->currentTool; tool && tool->ToolIsResponsibleForDrawingTheViewport()) return;

    const int index = viewport->index;
    const bool interactive = IsDeforming() || IsSelecting() || InteractiveMotion;
    if (!interactive && viewport->GetRenderedSceneStatus() == 0 && viewport->IsCachedViewportValid()) {
        OS.DebugMessage("DDD- Drawing cached viewport %d, (%d)", index, ++DrawCount);
        viewport->DrawCachedViewport();
        return;
    }
    OS.DebugMessage("DDD- Drawing FULL viewport %d, (%d)", index, ++DrawCount);
    const bool cacheResult = !interactive;

    TKSN_Viewport* main = App->viewports[0];
    const bool isMain = viewport == main || !main;
    const bool useDefault = (viewport->layer.DisplayFlags & TKSN_Layer::UseViewportDefault) != 0;
    const uint32_t layerFlags = (useDefault && main) ? main->layer.DisplayFlags : viewport->layer.DisplayFlags;
    const int displayMode = (useDefault && main) ? main->DisplayMode : viewport->DisplayMode;

    if (!viewport->renderSetup) viewport->renderSetup = std::make_unique<TKSN_RenderSetup>();
    TKSN_RenderSetup& setup = *viewport->renderSetup;
    TKSN_Renderer4 renderer;
    setup.InitializeDefaults(viewport);
    setup.ShowSelection = true;
    setup.PaintTabActive = App->GetToolTypeTab() == kToolTypeTabPaint;
    setup.ThreadCount = OS.GetNumberOfCPUs() > 0 ? OS.GetNumberOfCPUs() : 1;
    setup.RenderingType = TKSN_RenderSetup::GetRecommendedRenderingType();
    setup.ViewMode = KSN_VIEWMODE_DEFAULT;
    setup.DrawBackgroundPattern = true;
    setup.RenderFlags = 0;
    if (IsDeforming() && dynamic_cast<TKSN_Deformer*>(App->currentTool)) {
        OS.DebugMessage("BBB- Setting WriteDisplayLists to false");
        setup.WriteDisplayLists = false;
    } else {
        OS.DebugMessage("WriteDisplayLists is true");
    }

    switch (EffectiveSpecialMode(GetSpecialDisplayMode(), isMain)) {
    case 2:
        setup.ViewMode = KSN_VIEWMODE_BRUSH_TILE;
        setup.RenderingType = interactive ? KSN_RENDERING_OPENGL : KSN_RENDERING_SOFTWARE;
        break;
    case 3:
        setup.ViewMode = KSN_VIEWMODE_QUICK_RENDER;
        setup.UseDisplayLists = false;
        break;
    case 1:
        setup.ViewMode = KSN_VIEWMODE_HOT_SELECTION;
        break;
    default:
        // Display lists are shared between the viewports, so a viewport that
        // shows something else than the main one may not use them.
        if (!isMain && (viewport->DisplayMode != main->DisplayMode ||
                        (!useDefault && viewport->layer.DisplayFlags != main->layer.DisplayFlags)))
            setup.UseDisplayLists = false;
        if (FlashLayerColors && viewport->DisplayMode != 1) {
            setup.UseDisplayLists = false;
            setup.ViewMode = KSN_VIEWMODE_LAYER_COLORS;
            setup.RenderingType = KSN_RENDERING_OPENGL;
            break;
        }
        setup.RenderingType = KSN_RENDERING_OPENGL;
        switch (displayMode) {
        case 1: setup.ViewMode = KSN_VIEWMODE_LAYER_COLORS; break;
        case 2: setup.ViewMode = KSN_VIEWMODE_MATERIAL_COLORS; break;
        case 3:
            ResolveMapLayers();
            setup.ViewMode = KSN_VIEWMODE_CURRENT_MAP_CHANNEL;
            if (interactive) {
                OS.DebugMessage("CCC- Current map channel, GL");
            } else {
                OS.DebugMessage("CCC- Current map channel, software");
                setup.RenderingType = KSN_RENDERING_SOFTWARE;
            }
            break;
        default: setup.ViewMode = KSN_VIEWMODE_DEFAULT; break;
        }
        break;
    }

    // Partial re-render: only the changed nodes; their marks are cleared once
    // no other shown viewport still has to draw this frame.
    if (viewport->GetRenderedSceneStatus() == 1) {
        setup.RenderFlags |= RENDER_CHANGED_NODES_ONLY;
        bool othersBehind = false;
        for (TKSN_Viewport* other : App->viewports)
            if (other && other != viewport && other->shown && other->LastRenderFrame < App->frameCounter)
                othersBehind = true;
        if (!othersBehind) setup.RenderFlags |= CLEAR_CHANGED_NODES;
    }
    if (setup.RenderingType == KSN_RENDERING_SOFTWARE) {
        setup.SplitRenderedImage = true;
        setup.RenderShadingPlanes = true;
    }
    setup.UseLighting = (layerFlags & TKSN_Layer::UseLighting) != 0;
    setup.FlatShading = (layerFlags & TKSN_Layer::Smooth) == 0;
    setup.FilterTextures = (layerFlags & TKSN_Layer::Filter) != 0;
    if (DoFlashSelection() || FlashLayerColors || setup.ViewMode == KSN_VIEWMODE_BRUSH_TILE)
        setup.UseDisplayLists = false;
    viewport->LastRenderFrame = App->frameCounter;
    if (setup.ViewMode == KSN_VIEWMODE_QUICK_RENDER) {
        setup.RenderingType = KSN_RENDERING_OPENGL;
        setup.UseDisplayLists = false;
        setup.RenderFlags &= ~RENDER_CHANGED_NODES_ONLY;
        setup.RenderShadingPlanes = false;
    }
    if (ModelerOverlays && App->GetToolTypeTab() == kToolTypeTabModeling) {
        setup.DrawWireframe = true;
        setup.DrawVertexOverlay = true;
    } else {
        setup.DrawWireframe = (layerFlags & TKSN_Layer::WireFrameOverlay) != 0;
        setup.DrawVertexOverlay = (layerFlags & TKSN_Layer::VertexOverlay) != 0;
    }

    OS.DebugMessage("FFF- Rendering..., FlashSelection = %d, UseDisplayLists = %d", int(DoFlashSelection()),
                    int(setup.UseDisplayLists));
    renderer.RenderImage(&setup);
    renderer.WaitForCompletion();
    if (setup.RenderingType == KSN_RENDERING_SOFTWARE) renderer.DrawRenderedImageToViewport(&setup);
    if (cacheResult) {
        viewport->OnCacheViewport();
        viewport->ClearRenderedSceneStatus();
    }
}

void TKSN_Project::ProcessAutoViewports()
{
    if (!App || !App->viewports[0]) return;
    TKSN_Viewport* main = App->viewports[0];
    for (int i = 1; i < 4; ++i) {
        TKSN_Viewport* viewport = App->viewports[i];
        if (!viewport || !viewport->shown || !viewport->GetAutoView()) continue;
        float oldRotation[16], oldLookAt[3];
        std::copy(viewport->RotationMatrix, viewport->RotationMatrix + 16, oldRotation);
        viewport->GetLookAt(oldLookAt);
        const float oldZoom = viewport->GetZoom();

        const int copy = viewport->CopyViewportIndex;
        if (copy >= 0 && copy <= 3 && App->viewports[copy]) {
            TKSN_Viewport* source = App->viewports[copy];
            viewport->SetRotationMatrix(source->RotationMatrix);
            viewport->SetLookAt(source->GetLookAt(), nullptr, 0.0f, false);
            viewport->SetZoom(source->GetZoom());
        } else {
            // Keep the viewport's fixed angle to the main view:
            // main rotation x (base orientation transposed x default rotation).
            float transposed[16], relative[16], rotation[16];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) transposed[4 * r + c] = App->baseOrientationMatrix[4 * c + r];
            QORMatrix_MultiplyMatrix4x4(transposed, viewport->DefaultRotationMatrix, relative);
            QORMatrix_MultiplyMatrix4x4(main->RotationMatrix, relative, rotation);
            viewport->SetRotationMatrix(rotation);
            viewport->SetLookAt(main->GetLookAt(), nullptr, 0.0f, false);
            viewport->SetZoom(main->GetZoom());
        }
        if (QORMatrix_AreEqual4x4(viewport->RotationMatrix, oldRotation, 1e-30f) &&
            Vectors_Equal(viewport->GetLookAt(), oldLookAt, 3, 1e-30f) && Float_Equal(viewport->GetZoom(), oldZoom, 1e-30f))
            continue;
        OnSingleViewportChanged(viewport);
    }
}

void TKSN_Project::AfterScreenDraw()
{
    if (FlashLayerColors) {
        ViewportsChangedTimer.Start();
        QOREvents_PushEvent(kCommandRedisplay);
        FlashLayerColors = false;
    }
    if (FlashSelection) {
        ViewportsChangedTimer.Start();
        QOREvents_PushEvent(kCommandRedisplay);
        FlashSelection = false;
    }
}

bool TKSN_Project::DoesChannelInvalidateSubDRender(TQORMaterialChannel* channel)
{
    if (!channel || !channel->GetName()) return false;
    return QORstrcmpi(channel->GetName(), "Bump") == 0 || QORstrcmpi(channel->GetName(), "Displacement") == 0;
}
