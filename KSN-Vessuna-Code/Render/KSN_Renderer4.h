// TKSN_Renderer4: draws every object of the project into one viewport as a
// TKSN_RenderSetup describes it, node by node of each mesh's octree, through
// the node view the set-up's rendering type and view mode select.
//
// Two paths share the driver:
// - OpenGL: everything runs inside RenderImage on the calling (main) thread,
//   straight into the frame buffer; each drawn node is kept as one display
//   list and re-used from frame to frame.
// - Software: RenderImage returns after starting a render thread, which draws
//   the objects one after the other; the nodes of a mesh are rasterised by
//   1..32 node threads into the set-up's images and depth buffer. The caller
//   waits (WaitForCompletion) or cancels (CancelRender) and then shows the
//   result (DrawRenderedImageToViewport).
//
// Node threads each own one band of image rows and draw the whole node list
// in order, clipped to their band: no pixel is written by two threads, a
// farther surface never overwrites a nearer one, and the image is the same
// whatever the thread count. The software vertex overlay, whose depth test
// reads a pixel of any band, runs once all bands are done. Quick render
// (view mode 7) keeps no display lists: its transparent quads are collected
// anew on every frame.
//
// Errors: an exception on the render thread or a node thread is caught there;
// the render ends as a cancelled one does (Rendering false, no completion
// callback) and WaitForCompletion or CancelRender reports it on the main
// thread. An OpenGL render reports it before RenderImage returns.
//
// Threads: RenderImage, WaitForCompletion, CancelRender and every OpenGL call
// run on the main thread; the render and node threads make no OpenGL call.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "KSN_RenderSetup.h"
#include "KSN_RendererHooks.h"

class TKSN_MapLayer;
class TKSN_MeshRoot;
class TKSN_Object;
class TKSN_RasterizeTriangle;

class TKSN_Renderer4 {
public:
    using TNodeView = void (*)(TKSN_Renderer4* renderer, TQOROctreeNode<int>* node);

    TKSN_Renderer4();
    // Cancels and joins a running software render.
    ~TKSN_Renderer4();
    TKSN_Renderer4(const TKSN_Renderer4&) = delete;
    TKSN_Renderer4& operator=(const TKSN_Renderer4&) = delete;

    void RenderImage(TKSN_RenderSetup* setup);
    void WaitForCompletion();
    void CancelRender();
    bool IsRendering() const;
    void DrawRenderedImageToViewport(TKSN_RenderSetup* setup);

    // [SECTION] Driver steps, in call order
    void SetupViewport();
    void DrawBackground();
    void SetupLights();
    void PreRenderNodes_GL();
    void RenderAllObjects();
    static void RenderAllObjects_ThreadFunc(TKSN_Renderer4* renderer);
    void RenderObject(TKSN_Object* object);
    void RenderArbMesh(TKSN_MeshRoot* meshRoot);
    void GenerateOctreeNodeList_Recurse(TKSN_MeshRoot* meshRoot, TQOROctreeNode<int>* node);
    // Node thread: draws the node list in order within rows first <= y < end.
    static void RenderAllNodesFunc(TKSN_Renderer4* renderer, int rowFirst, int rowEnd);
    void RenderOctreeNode(TKSN_MeshRoot* meshRoot, TQOROctreeNode<int>* node);
    // False when the node is already drawn (a valid display list was called).
    bool PreRenderNode(TQOROctreeNode<int>* node);
    void PostRenderNode(TQOROctreeNode<int>* node);
    void PostRenderNodes();
    void PostRenderNodes_GL();

    // [SECTION] OpenGL node views (main thread)
    void DrawOctreeNode_SimpleGrey_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_LayerColors_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_MaterialColors_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_HotSelectionView_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_CurrentMapChannel_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_ColorTextureRender_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_Wireframe_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_VertexOverlay_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_BrushTileView_GL(TQOROctreeNode<int>* node);
    void DrawOctreeNode_QuickRender_GL(TQOROctreeNode<int>* node);

    // [SECTION] Software node views (render and node threads)
    void DrawOctreeNode_CurrentMap_Software(TQOROctreeNode<int>* node, bool currentLayerOnly);
    void DrawOctreeNode_ColorTextureRender_Software(TQOROctreeNode<int>* node);
    void DrawOctreeNode_Wireframe_Software(TQOROctreeNode<int>* node);
    void DrawOctreeNode_VertexOverlay_Software(TQOROctreeNode<int>* node);
    void DrawOctreeNode_BrushTileView_Software(TQOROctreeNode<int>* node);

    // [SECTION] Trampolines stored as NodeView
    static void DrawOctreeNode_SimpleGrey_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_LayerColors_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_MaterialColors_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_HotSelectionView_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_CurrentMapChannel_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_BrushTileView_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_QuickRender_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_BrushTileView_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_CurrentMapChannel_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);
    static void DrawOctreeNode_CurrentMaplayer_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n);

    // ---- data (fields in declared order) --------------------------------
    TNodeView NodeView = nullptr;
    std::thread RenderThread;
    bool RenderThreadStarted = false;
    std::mutex NodeListMutex;           // guards RenderError
    TKSN_RenderSetup* Setup = nullptr;
    TKSN_MeshRoot* CurrentlyRenderedMesh = nullptr;
    // The first error of the running software render, reported on the main thread.
    std::exception_ptr RenderError;
    // The project's current map layer, resolved by RenderImage on the main
    // thread before any thread starts; the node views only read it.
    TKSN_MapLayer* CurrentMapLayer = nullptr;
    // The set-up's software images and depth, fetched by RenderImage before
    // the render thread starts (the getters keep bookkeeping of their own,
    // which node threads must not touch).
    struct TSoftwareTarget {
        uint8_t* Pixels = nullptr;   // RenderedImage
        int Width = 0, Height = 0, BytesPerPixel = 0;
        float* Depth = nullptr;
        uint8_t* Unlit = nullptr;    // with RenderShadingPlanes
        uint8_t* Shade = nullptr;
    } Target;

private:
    bool IsOpenGL() const { return Setup && Setup->RenderingType == KSN_RENDERING_OPENGL; }
    // Joins the render thread once and reports a stored error.
    void JoinRenderThread();
    void ReportRenderError();
    // Software views: the record of the set-up's images, clipped to the
    // calling thread's band of rows.
    void PrepareSoftwareRecord(TKSN_RasterizeTriangle& r) const;
};

// The row band of the calling node thread (all rows outside node threads).
void KSN_Renderer4_GetThreadBand(int& rowFirst, int& rowEnd);

// Depth-tested line of the wireframe overlay: a and b are x, y, depth in
// pixels; rows outside rowFirst <= y < rowEnd are not written.
void Rasterize_Line_R4(const float* a, const float* b, const float* color, int width, int rowLength, int height,
                       unsigned char* pixels, int bytesPerPixel, float* depth, int rowFirst = 0,
                       int rowEnd = INT32_MAX);
