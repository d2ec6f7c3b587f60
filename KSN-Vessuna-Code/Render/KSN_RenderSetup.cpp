#include "KSN_RenderSetup.h"

#include "KSN_RendererUtils.h"
#include "OS.h"

int32_t KSN_ViewModeForDisplayMode(int32_t displayMode)
{
    switch (displayMode) {
    case 1: return KSN_VIEWMODE_LAYER_COLORS;
    case 2: return KSN_VIEWMODE_MATERIAL_COLORS;
    case 3: return KSN_VIEWMODE_CURRENT_MAP_CHANNEL;
    default: return KSN_VIEWMODE_DEFAULT;
    }
}

TKSN_RenderSetup::TKSN_RenderSetup() { InitializeDefaults(nullptr); }

TKSN_RenderSetup::~TKSN_RenderSetup() = default;

void TKSN_RenderSetup::InitializeDefaults(TKSN_Viewport* viewport)
{
    if (viewport) Viewport.Copy(viewport);
    ThreadCount = OS.GetNumberOfCPUs();
    UseLighting = false;
    DrawWireframe = false;
    DrawVertexOverlay = false;
    FlatShading = false;
    FilterTextures = true;
    ShowSelection = false;
    PaintTabActive = false;
    RenderShadingPlanes = false;
    BackfaceCull = true;
    DirectionCull = true;
    SplitRenderedImage = false;
    BackgroundGridValid = false;
    RenderingType = KSN_RENDERING_OPENGL;
    ViewMode = KSN_VIEWMODE_DEFAULT;
    RenderFlags = 0;
    UseDisplayLists = true;
    ReadDisplayLists = true;
    WriteDisplayLists = true;
    CancelRequested = false;
    DrawBackgroundPattern = false;
    OnRenderComplete = nullptr;
    OnRenderCompleteData = 0;
}

bool TKSN_RenderSetup::SizeImagesToViewport()
{
    // A collapsed viewport renders into zero-sized images.
    int w = Viewport.WindowWidth > 0 ? Viewport.WindowWidth : 0;
    int h = Viewport.WindowHeight > 0 ? Viewport.WindowHeight : 0;
    bool changed = false;
    if (RenderedImage.GetWidth() != w || RenderedImage.GetHeight() != h || RenderedImage.GetBytesPerPixel() != 4) {
        RenderedImage.SetDimensions(w, h, 4);
        DepthBuffer.SetType(DEPTH_BUFFER_TYPE_FLOAT);
        DepthBuffer.Resize(w, h);
        RenderFlags &= ~RENDER_CHANGED_NODES_ONLY;
        changed = true;
    }
    if (RenderShadingPlanes) {
        if (UnlitImage.GetWidth() != w || UnlitImage.GetHeight() != h || UnlitImage.GetBytesPerPixel() != 3) {
            UnlitImage.SetDimensions(w, h, 3);
            RenderFlags &= ~RENDER_CHANGED_NODES_ONLY;
            changed = true;
        }
        if (ShadeImage.GetWidth() != w || ShadeImage.GetHeight() != h || ShadeImage.GetBytesPerPixel() != 1) {
            ShadeImage.SetDimensions(w, h, 1);
            RenderFlags &= ~RENDER_CHANGED_NODES_ONLY;
            changed = true;
        }
    }
    return changed;
}

void TKSN_RenderSetup::InvalidateBackgroundPattern() { ::InvalidateBackgroundPattern(); }
