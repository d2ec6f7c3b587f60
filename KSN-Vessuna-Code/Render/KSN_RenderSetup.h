// TKSN_RenderSetup: everything one render needs and everything it leaves.
//
// The caller fills a set-up in a fixed pattern: InitializeDefaults with the
// viewport to render (a private copy is kept), then its own choices (rendering
// type, view mode, switches), then the renderer. The images and the depth
// buffer are owned here and keep the last software result between renders;
// the viewport hands them out as its rendered-image cache. PreviousRenderingType
// and PreviousViewMode survive InitializeDefaults so that the next render can
// tell that the view mode changed; they start at -1, which matches no mode.
//
// Filled on the main thread; during a software render the render and node
// threads read the settings and write the images, and the main thread may only
// set CancelRequested.
#pragma once

#include <cstdint>
#include <vector>

#include "KSN_DepthBuffer.h"
#include "KSN_Viewport.h"
#include "QORImageMap.h"

template <class T> class TQOROctreeNode;

// RenderFlags bits.
constexpr uint32_t RENDER_CHANGED_NODES_ONLY = 0x1;
constexpr uint32_t CLEAR_CHANGED_NODES = 0x2;
constexpr uint32_t SKIP_OBJECTS = 0x4;

// RenderingType values.
constexpr int32_t KSN_RENDERING_SOFTWARE = 0;
constexpr int32_t KSN_RENDERING_OPENGL = 1;

// ViewMode values: which node view draws the octree nodes.
enum : int32_t {
    KSN_VIEWMODE_SIMPLE_GREY = 0,
    KSN_VIEWMODE_LAYER_COLORS = 1,
    KSN_VIEWMODE_MATERIAL_COLORS = 2,
    KSN_VIEWMODE_SIMPLE_GREY_3 = 3,
    KSN_VIEWMODE_DEFAULT = 4,              // simple grey, with a specular highlight when lit
    KSN_VIEWMODE_HOT_SELECTION = 5,
    KSN_VIEWMODE_BRUSH_TILE = 6,
    KSN_VIEWMODE_QUICK_RENDER = 7,
    KSN_VIEWMODE_CURRENT_MAP_LAYER = 8,
    KSN_VIEWMODE_CURRENT_MAP_CHANNEL = 9,
};

// The view mode that a viewport display mode asks for (1, 2, 3 their own
// views; every other value the default).
int32_t KSN_ViewModeForDisplayMode(int32_t displayMode);

class TKSN_RenderSetup {
public:
    TKSN_RenderSetup();
    ~TKSN_RenderSetup();
    TKSN_RenderSetup(const TKSN_RenderSetup&) = delete;
    TKSN_RenderSetup& operator=(const TKSN_RenderSetup&) = delete;

    // Copies viewport (when given) into Viewport, then every setting back to
    // its default; the images, depth buffer and previous type and mode stay.
    void InitializeDefaults(TKSN_Viewport* viewport);
    static int32_t GetRecommendedRenderingType() { return KSN_RENDERING_OPENGL; }
    void InvalidateBackgroundGrid() { BackgroundGridValid = false; }
    // The background checkerboard is built and uploaded again on the next
    // render (InvalidateBackgroundPattern of the renderer utilities).
    static void InvalidateBackgroundPattern();

    // Sizes the software images and depth buffer to the viewport copy (only
    // when the size changed; a 0 x 0 copy gives zero-sized images); answers
    // whether anything was reallocated.
    bool SizeImagesToViewport();

    // ---- data (fields in declared order) --------------------------------
    std::vector<TQOROctreeNode<int>*> NodeList;
    float DisplayBoundsMin[3] = {0, 0, 0};
    float DisplayBoundsMax[3] = {0, 0, 0};
    bool DrawNodeGeometry = false;
    bool CompilingDisplayList = false;
    bool Rendering = false;
    bool UseLighting = false;
    bool DrawWireframe = false;
    bool DrawVertexOverlay = false;
    bool FlatShading = false;
    bool FilterTextures = true;
    bool ShowSelection = false;
    int32_t ThreadCount = 1;
    bool PaintTabActive = false;
    bool RenderShadingPlanes = false;
    bool BackfaceCull = true;
    bool DirectionCull = true;
    TQORImageMap RenderedImage;       // RGBA
    TQORImageMap UnlitImage;          // RGB
    TQORImageMap ShadeImage;          // 1 byte
    bool SplitRenderedImage = false;
    TQORImageMap RenderedColorImage;  // RGB
    TKSN_DepthBuffer DepthBuffer;     // float
    TQORImageMap BackgroundImage;     // RGB
    bool BackgroundGridValid = false;
    int32_t RenderingType = KSN_RENDERING_OPENGL;
    int32_t ViewMode = KSN_VIEWMODE_DEFAULT;
    int32_t PreviousRenderingType = -1;
    int32_t PreviousViewMode = -1;
    uint32_t RenderFlags = 0;
    TKSN_Viewport Viewport;
    bool UseDisplayLists = true;
    bool ReadDisplayLists = true;
    bool WriteDisplayLists = true;
    bool CancelRequested = false;
    bool DrawBackgroundPattern = false;
    void (*OnRenderComplete)(intptr_t data) = nullptr;
    intptr_t OnRenderCompleteData = 0;
};
