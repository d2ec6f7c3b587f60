// What the renderer needs of the project document, which sits above this
// library: the project registers these once at start-up (the object list comes
// through TKSN_ViewportProjectHooks, the map-layer tree through the map
// sources' hooks). An unset entry answers as an empty project would: no
// special display mode, no symmetry, no selection in progress, a unit scene,
// black wireframes, the quick-render defaults, no brush image, no layers.
#pragma once

#include <cstdint>

class TKSN_Layer;
class TKSN_Mesh;
class TKSN_MeshRoot;
class TKSN_Viewport;
class TQORImageMap;

// The project's quick-render settings (render options window, project file).
struct TKSN_QuickRenderSettings {
    bool RenderColorMaps = true;
    bool RenderBumpMaps = true;
    bool RenderTransparencyMaps = true;
    bool RenderDisplacementMaps = true;
    bool RenderSpecularMaps = true;
    bool RenderAmbientMaps = true;
    bool RenderMixColors = false;
    bool RenderDoubleSided = false;
    float RenderQuality = 0.8f;                 // 0..1
    float GlobalDisplacementStrength = 1.0f;    // fraction
    float GlobalBumpStrength = 1.0f;            // fraction
};

struct TKSN_RendererProjectHooks {
    // 0 none, 1 hot selection, 2 brush tiling, 3 quick render.
    int (*GetSpecialDisplayMode)() = nullptr;
    bool (*DoUseSymmetry)(TKSN_MeshRoot* mesh) = nullptr;
    bool (*IsSelecting)() = nullptr;
    bool (*DoFlashSelection)() = nullptr;
    // The box (3 floats each) the viewport's projection is fitted to.
    void (*GetDisplayBoundingBox)(TKSN_Viewport* viewport, float* min, float* max) = nullptr;
    // Half the size of the largest object; 1 for an empty project.
    float (*GetSceneRadius)() = nullptr;
    void (*BeforeConsiderTiling)(TKSN_Viewport* viewport) = nullptr;
    TKSN_Viewport* (*GetCurrentViewport)() = nullptr;
    void (*GetWireframeColor)(float* rgb) = nullptr;
    // A view navigation or transform drag is under way.
    bool (*IsInteractionInProgress)() = nullptr;
    void (*GetQuickRenderSettings)(TKSN_QuickRenderSettings& settings) = nullptr;
    bool (*IsPictureMesh)(TKSN_Mesh* mesh) = nullptr;
    // The colourised texture brush as shown (with its texture), as RGB and
    // as alpha (1 byte a pixel, may be absent); all null without a brush.
    TQORImageMap* (*GetCurrentColorizeTextureBrushImage)() = nullptr;
    TQORImageMap* (*GetCurrentColorizeTextureBrushImageRGB)() = nullptr;
    TQORImageMap* (*GetCurrentColorizeTextureBrushImageAlpha)() = nullptr;
    // Writes U, V and a third coordinate of the vertex at position of a
    // polygon whose corner mean is centre, for the project's paint mapping.
    void (*GetTiledUVMapForVertex)(TKSN_Viewport* viewport, float* uvw, const float* position, const float* centre,
                                   int vertex) = nullptr;
    // An interface picture by name as RGB bytes (3 a pixel); false when none.
    bool (*GetGuiImageRGB)(const char* name, uint8_t** pixels, int* width, int* height) = nullptr;
    // The project's polygon layers 0..31 (null for an empty slot) and the current one.
    TKSN_Layer* (*GetPolygonLayer)(int index) = nullptr;
    int (*GetCurrentPolygonLayerIndex)() = nullptr;
};

void KSN_SetRendererProjectHooks(const TKSN_RendererProjectHooks& hooks);
const TKSN_RendererProjectHooks& KSN_GetRendererProjectHooks();
