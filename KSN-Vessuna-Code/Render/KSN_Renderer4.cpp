// The renderer driver: set-up of viewport, background and lights, node
// collection per mesh, the OpenGL display lists per node and the software
// render thread with its banded node threads.
//
// Index: [SECTION] Thread band and errors; Construction and control;
// RenderImage; Objects and meshes; Nodes; Viewport, lights and background.
#include "KSN_Renderer4.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "GuiTheme.h"
#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_Object.h"
#include "KSN_QuickRender.h"
#include "KSN_Renderer4_Internal.h"
#include "KSN_RendererUtils.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORGL.h"
#include "QORMaterial.h"
#include "QORString.h"

// [SECTION] Thread band and errors

namespace {

thread_local int ThreadBandFirst = 0;
thread_local int ThreadBandEnd = INT32_MAX;

bool Flag(const bool& b) { return std::atomic_ref<const bool>(b).load(); }
void SetFlag(bool& b, bool v) { std::atomic_ref<bool>(b).store(v); }

// Raised on the render thread, so it shows no box there: the main thread
// reports it when it joins the render.
[[noreturn]] void ThrowInfiniteTraversal(const char* a, const char* b, const char* c)
{
    throw std::logic_error(QORFormat("Infinite list traversal detected %s,%s,%s", a, b, c));
}

} // namespace

void KSN_Renderer4_GetThreadBand(int& rowFirst, int& rowEnd)
{
    rowFirst = ThreadBandFirst;
    rowEnd = ThreadBandEnd;
}

// [SECTION] Construction and control

TKSN_Renderer4::TKSN_Renderer4() = default;

TKSN_Renderer4::~TKSN_Renderer4()
{
    if (RenderThreadStarted) {
        if (Setup) SetFlag(Setup->CancelRequested, true);
        if (RenderThread.joinable()) RenderThread.join();
        RenderThreadStarted = false;
    }
}

void TKSN_Renderer4::ReportRenderError()
{
    std::exception_ptr error;
    {
        std::scoped_lock lock(NodeListMutex);
        std::swap(error, RenderError);
    }
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        OS.ErrorMessage("%s", e.what());
    } catch (...) {
        OS.ErrorMessage("The render stopped because of an unknown error.");
    }
}

void TKSN_Renderer4::JoinRenderThread()
{
    if (!RenderThreadStarted) return;
    if (RenderThread.joinable()) RenderThread.join();
    RenderThreadStarted = false;
    ReportRenderError();
}

void TKSN_Renderer4::WaitForCompletion() { JoinRenderThread(); }

void TKSN_Renderer4::CancelRender()
{
    if (!Setup || !RenderThreadStarted) return;
    SetFlag(Setup->CancelRequested, true);
    JoinRenderThread();
}

bool TKSN_Renderer4::IsRendering() const { return Setup && Flag(Setup->Rendering); }

// [SECTION] RenderImage

void TKSN_Renderer4::RenderImage(TKSN_RenderSetup* setup)
{
    if (!setup) return;
    // One render at a time per renderer: a software render still running
    // would write into the images this one is about to resize.
    if (RenderThreadStarted) CancelRender();
    Setup = setup;
    SetFlag(setup->CancelRequested, false);
    SetFlag(setup->Rendering, true);
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    const bool gl = setup->RenderingType == KSN_RENDERING_OPENGL;

    if (hooks.GetSpecialDisplayMode && hooks.GetSpecialDisplayMode() == 3) {
        QuickRender_Init();
        if (auto getObjects = KSN_GetViewportProjectHooks().GetObjectList)
            for (TKSN_Object* object : getObjects())
                if (object && object->Mesh) object->Mesh->ValidateAllInOSpace(false);
    }

    // Resolving may make the tree's first layer current: a change of the
    // project that only the main thread may make.
    CurrentMapLayer = KSN_ResolveCurrentMapLayer();

    if (!gl) {
        setup->SizeImagesToViewport();
        if (!(setup->RenderFlags & RENDER_CHANGED_NODES_ONLY)) {
            if (setup->DepthBuffer.GetData()) setup->DepthBuffer.Clear();
            if (setup->RenderShadingPlanes) setup->ShadeImage.ClearToValue(0);
        }
    }

    SetupViewport();
    if (!(setup->RenderFlags & RENDER_CHANGED_NODES_ONLY)) DrawBackground();
    SetupViewport();
    SetupLights();

    if (setup->UseDisplayLists && setup->PreviousRenderingType == KSN_RENDERING_OPENGL &&
        setup->PreviousViewMode != setup->ViewMode)
        TKSN_glDisplayList::InvalidateAll();

    NodeView = nullptr;
    if (gl) {
        switch (setup->ViewMode) {
        case KSN_VIEWMODE_LAYER_COLORS: NodeView = DrawOctreeNode_LayerColors_GL_Static; break;
        case KSN_VIEWMODE_MATERIAL_COLORS: NodeView = DrawOctreeNode_MaterialColors_GL_Static; break;
        case KSN_VIEWMODE_HOT_SELECTION: NodeView = DrawOctreeNode_HotSelectionView_GL_Static; break;
        case KSN_VIEWMODE_BRUSH_TILE: NodeView = DrawOctreeNode_BrushTileView_GL_Static; break;
        case KSN_VIEWMODE_QUICK_RENDER: NodeView = DrawOctreeNode_QuickRender_GL_Static; break;
        case KSN_VIEWMODE_CURRENT_MAP_CHANNEL:
            NodeView = DrawOctreeNode_CurrentMapChannel_GL_Static;
            OS.DebugMessage("CCC- Current map channel, GL - B");
            break;
        default: NodeView = DrawOctreeNode_SimpleGrey_GL_Static; break;
        }
        PreRenderNodes_GL();
    } else {
        switch (setup->ViewMode) {
        case KSN_VIEWMODE_BRUSH_TILE: NodeView = DrawOctreeNode_BrushTileView_Software_Static; break;
        case KSN_VIEWMODE_CURRENT_MAP_LAYER: NodeView = DrawOctreeNode_CurrentMaplayer_Software_Static; break;
        case KSN_VIEWMODE_CURRENT_MAP_CHANNEL: NodeView = DrawOctreeNode_CurrentMapChannel_Software_Static; break;
        default: break;
        }
    }

    if (setup->RenderFlags & SKIP_OBJECTS) {
        SetFlag(setup->Rendering, false);
        return;
    }

    Target = TSoftwareTarget();
    if (!gl) {
        Target.Pixels = setup->RenderedImage.GetPixels();
        Target.Width = setup->RenderedImage.GetWidth();
        Target.Height = setup->RenderedImage.GetHeight();
        Target.BytesPerPixel = setup->RenderedImage.GetBytesPerPixel();
        Target.Depth = setup->DepthBuffer.GetDataFloat();
        if (setup->RenderShadingPlanes) {
            Target.Unlit = setup->UnlitImage.GetPixels();
            Target.Shade = setup->ShadeImage.GetPixels();
        }
    }

    if (gl) {
        RenderThreadStarted = false;
        try {
            RenderAllObjects();
        } catch (...) {
            SetFlag(setup->Rendering, false);
            {
                std::scoped_lock lock(NodeListMutex);
                RenderError = std::current_exception();
            }
            ReportRenderError();
        }
    } else {
        RenderThreadStarted = true;
        RenderThread = std::thread(RenderAllObjects_ThreadFunc, this);
    }
}

// [SECTION] Objects and meshes

void TKSN_Renderer4::RenderAllObjects_ThreadFunc(TKSN_Renderer4* renderer)
{
    try {
        renderer->RenderAllObjects();
    } catch (...) {
        std::scoped_lock lock(renderer->NodeListMutex);
        if (!renderer->RenderError) renderer->RenderError = std::current_exception();
    }
    SetFlag(renderer->Setup->Rendering, false);
}

void TKSN_Renderer4::RenderAllObjects()
{
    // Whatever ends the walk, the render is over afterwards.
    struct TEnd {
        TKSN_RenderSetup* s;
        ~TEnd() { SetFlag(s->Rendering, false); }
    } end{Setup};

    std::vector<TKSN_Object*> objects;
    if (auto getObjects = KSN_GetViewportProjectHooks().GetObjectList) objects = getObjects();
    for (size_t i = 0; i < objects.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (objects[i] && objects[i] == objects[j]) ThrowInfiniteTraversal("TKSN_ObjectPtr", "Object", "PARSE_OBJECT_LIST");

    for (TKSN_Object* object : objects) {
        if (!object || !object->Mesh) continue;
        if (Flag(Setup->CancelRequested)) break;
        RenderObject(object);
    }
    if (Flag(Setup->CancelRequested)) return;
    PostRenderNodes();
    if (Flag(Setup->CancelRequested)) return;
    if (Setup->OnRenderComplete) Setup->OnRenderComplete(Setup->OnRenderCompleteData);
}

void TKSN_Renderer4::RenderObject(TKSN_Object* object)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    const int count = mesh->GetMaterialCount();
    std::vector<TQORMaterial*> seen;
    for (int i = 0; i < count; ++i) {
        TQORMaterial* material = mesh->GetMaterial(i);
        if (!material) break;
        if (std::find(seen.begin(), seen.end(), material) != seen.end())
            ThrowInfiniteTraversal("TQORMaterial *", "Mat", "Object->Mesh->Materials");
        seen.push_back(material);
        material->ResetCachedPointers();
        material->CacheChannels();
    }

    Setup->BackfaceCull = !object->RenderDoubleSided;
    if (Setup->ViewMode == KSN_VIEWMODE_QUICK_RENDER) {
        TKSN_QuickRenderSettings settings;
        if (auto get = KSN_GetRendererProjectHooks().GetQuickRenderSettings) get(settings);
        if (settings.RenderDoubleSided) Setup->BackfaceCull = false;
    }
    Setup->DirectionCull = Setup->BackfaceCull && Setup->ViewMode != KSN_VIEWMODE_QUICK_RENDER;
    if (IsOpenGL()) {
        if (Setup->BackfaceCull)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
    }
    RenderArbMesh(mesh);
}

void TKSN_Renderer4::RenderArbMesh(TKSN_MeshRoot* meshRoot)
{
    if (!meshRoot->IsOctreeValid()) meshRoot->BuildOctree();
    if (!NodeView) return;
    const int n = std::clamp(Setup->ThreadCount, 1, 32);
    const bool gl = IsOpenGL();
    if (!gl) {
        // The lazily built lists are built here, before any node thread reads
        // them; building them may discard the octree, so the node list comes after.
        meshRoot->GetSelectedVertexCount();
        meshRoot->GetVisibleVertexCount();
        if (!meshRoot->IsOctreeValid()) meshRoot->BuildOctree();
    }
    Setup->NodeList.clear();
    GenerateOctreeNodeList_Recurse(meshRoot, meshRoot->octreeRoot.get());

    if (gl) {
        for (TQOROctreeNode<int>* node : Setup->NodeList) {
            if (Flag(Setup->CancelRequested)) break;
            RenderOctreeNode(meshRoot, node);
        }
        return;
    }

    // Software: which nodes to draw is settled here, once, so that the
    // changed marks are read and cleared by one thread only.
    std::vector<TQOROctreeNode<int>*> drawn;
    drawn.reserve(Setup->NodeList.size());
    for (TQOROctreeNode<int>* node : Setup->NodeList) {
        if ((Setup->RenderFlags & RENDER_CHANGED_NODES_ONLY) && !(node->Flags & QOROctree_DisplayChanged)) continue;
        if (Setup->RenderFlags & CLEAR_CHANGED_NODES) node->Flags &= ~QOROctree_DisplayChanged;
        drawn.push_back(node);
    }
    Setup->NodeList.swap(drawn);
    CurrentlyRenderedMesh = meshRoot;
    const int height = Target.Height;
    if (n == 1 || height <= 1) {
        RenderAllNodesFunc(this, 0, INT32_MAX);
    } else {
        const int band = (height + n - 1) / n;
        std::vector<std::thread> threads;
        threads.reserve(n);
        for (int i = 0; i < n && i * band < height; ++i)
            threads.emplace_back(RenderAllNodesFunc, this, i * band, std::min(height, (i + 1) * band));
        for (std::thread& t : threads) t.join();
    }
    // The vertex overlay tests each vertex against the depth of a pixel that
    // may lie in another thread's band, so it runs after all bands are done,
    // against the finished depth: a vertex hidden by any surface stays hidden.
    if (Setup->DrawVertexOverlay)
        for (TQOROctreeNode<int>* node : Setup->NodeList) {
            if (Flag(Setup->CancelRequested)) break;
            DrawOctreeNode_VertexOverlay_Software(node);
        }
    Setup->NodeList.swap(drawn);
}

void TKSN_Renderer4::GenerateOctreeNodeList_Recurse(TKSN_MeshRoot* meshRoot, TQOROctreeNode<int>* node)
{
    if (!node) return;
    const float margin = Setup->ViewMode == KSN_VIEWMODE_QUICK_RENDER ? meshRoot->maxDisplacementReach : 1e-30f;
    if (!Setup->Viewport.CubeInView(node->ContentMin, node->ContentMax, margin)) return;
    if (Setup->DirectionCull &&
        !TestOctreeNodeAgaistDirectionVector(node->NormalMin, node->NormalMax, nullptr, nullptr, 0,
                                             Setup->Viewport.ViewVector, nullptr))
        return;
    const int count = node->GetPolygonCount();
    const bool leaf = !node->HasChildren() && count > 0;
    if (IsOpenGL() && Setup->ViewMode != KSN_VIEWMODE_QUICK_RENDER && count <= 999) {
        Setup->NodeList.push_back(node);
    } else if (leaf) {
        Setup->NodeList.push_back(node);
    } else if (node->HasChildren()) {
        for (auto& child : node->Children) GenerateOctreeNodeList_Recurse(meshRoot, child.get());
    }
}

// [SECTION] Nodes

void TKSN_Renderer4::RenderAllNodesFunc(TKSN_Renderer4* renderer, int rowFirst, int rowEnd)
{
    ThreadBandFirst = rowFirst;
    ThreadBandEnd = rowEnd;
    TKSN_RenderSetup* setup = renderer->Setup;
    try {
        std::vector<TQOROctreeNode<int>*>* list = nullptr;
        {
            std::scoped_lock lock(renderer->NodeListMutex);
            list = &setup->NodeList;
        }
        TKSN_MeshRoot* mesh = renderer->CurrentlyRenderedMesh;
        for (TQOROctreeNode<int>* node : *list) {
            if (Flag(setup->CancelRequested)) break;
            TKSN_Mesh* owner = mesh->GetOwnerMesh();
            auto isPicture = KSN_GetRendererProjectHooks().IsPictureMesh;
            if (owner && isPicture && isPicture(owner))
                renderer->DrawOctreeNode_ColorTextureRender_Software(node);
            else
                renderer->NodeView(renderer, node);
            if (setup->DrawWireframe) renderer->DrawOctreeNode_Wireframe_Software(node);
        }
    } catch (...) {
        std::scoped_lock lock(renderer->NodeListMutex);
        if (!renderer->RenderError) renderer->RenderError = std::current_exception();
        SetFlag(setup->CancelRequested, true);
    }
    ThreadBandFirst = 0;
    ThreadBandEnd = INT32_MAX;
}

void TKSN_Renderer4::RenderOctreeNode(TKSN_MeshRoot* meshRoot, TQOROctreeNode<int>* node)
{
    if (Flag(Setup->CancelRequested)) return;
    if ((Setup->RenderFlags & RENDER_CHANGED_NODES_ONLY) && !(node->Flags & QOROctree_DisplayChanged)) return;
    if (Setup->RenderFlags & CLEAR_CHANGED_NODES) node->Flags &= ~QOROctree_DisplayChanged;
    const bool draw = PreRenderNode(node);
    if (draw) {
        TKSN_Mesh* owner = meshRoot->GetOwnerMesh();
        auto isPicture = KSN_GetRendererProjectHooks().IsPictureMesh;
        const bool picture = owner && isPicture && isPicture(owner);
        if (IsOpenGL()) {
            if (picture)
                DrawOctreeNode_ColorTextureRender_GL(node);
            else
                NodeView(this, node);
            if (Setup->DrawWireframe) DrawOctreeNode_Wireframe_GL(node);
            if (Setup->DrawVertexOverlay) DrawOctreeNode_VertexOverlay_GL(node);
        } else {
            if (picture)
                DrawOctreeNode_ColorTextureRender_Software(node);
            else
                NodeView(this, node);
            if (Setup->DrawWireframe) DrawOctreeNode_Wireframe_Software(node);
            if (Setup->DrawVertexOverlay) DrawOctreeNode_VertexOverlay_Software(node);
        }
    }
    PostRenderNode(node);
}

bool TKSN_Renderer4::PreRenderNode(TQOROctreeNode<int>* node)
{
    static int drawnCount = 0, createdCount = 0, plainCount = 0;
    Setup->DrawNodeGeometry = true;
    Setup->CompilingDisplayList = false;
    // The quick render's transparent quads are collected while a node is
    // drawn and drawn at the end of the frame; a stored list would replay the
    // opaque quads only, so quick render draws its nodes every frame.
    if (!IsOpenGL() || !Setup->UseDisplayLists || Setup->ViewMode == KSN_VIEWMODE_QUICK_RENDER) return true;
    if (!node->DisplayList) node->DisplayList = std::make_unique<TKSN_glDisplayList>();
    if (node->DisplayList->IsValid()) {
        if (Setup->ReadDisplayLists) {
            node->DisplayList->CallList();
            Setup->DrawNodeGeometry = false;
            OS.DebugMessage("BBB- drawing existing glDisplayList %d", drawnCount++);
        }
    } else if (Setup->WriteDisplayLists) {
        node->DisplayList->BeginCompile();
        Setup->CompilingDisplayList = true;
        OS.DebugMessage("BBB- Creating glDisplayList %d", createdCount++);
    } else {
        OS.DebugMessage("BBB- draw octree node without display list %d", plainCount++);
    }
    return Setup->DrawNodeGeometry;
}

void TKSN_Renderer4::PostRenderNode(TQOROctreeNode<int>* node)
{
    if (!Setup->CompilingDisplayList) return;
    Setup->CompilingDisplayList = false;
    node->DisplayList->EndCompile();
    node->DisplayList->CallList();
}

void TKSN_Renderer4::PreRenderNodes_GL()
{
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_COLOR_MATERIAL);
    const GLfloat black[4] = {0, 0, 0, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glColor3f(1, 1, 1);
    glEnable(GL_RESCALE_NORMAL);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1, 1);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void TKSN_Renderer4::PostRenderNodes()
{
    auto mode = KSN_GetRendererProjectHooks().GetSpecialDisplayMode;
    if (IsOpenGL() && mode && mode() == 3) QuickRender_PostRender();
    if (!IsOpenGL() && Setup->SplitRenderedImage) {
        const int w = Setup->RenderedImage.GetWidth(), h = Setup->RenderedImage.GetHeight();
        Setup->RenderedColorImage.SetDimensions(w, h, 3);
        const uint8_t* src = Setup->RenderedImage.GetPixels();
        uint8_t* dst = Setup->RenderedColorImage.GetPixels();
        if (src && dst)
            for (long long i = 0; i < (long long)w * h; ++i)
                for (int c = 0; c < 3; ++c) dst[i * 3 + c] = src[i * 4 + c];
    }
    if (IsOpenGL()) PostRenderNodes_GL();
    Setup->PreviousRenderingType = Setup->RenderingType;
    Setup->PreviousViewMode = Setup->ViewMode;
}

void TKSN_Renderer4::PostRenderNodes_GL()
{
    glEnable(GL_COLOR_MATERIAL);
    glColor3f(1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glDisable(GL_RESCALE_NORMAL);
    glPolygonOffset(0, 0);
    glDisable(GL_POLYGON_OFFSET_FILL);
}

// [SECTION] Viewport, lights and background

void TKSN_Renderer4::SetupViewport()
{
    TKSN_Viewport& v = Setup->Viewport;
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    if (hooks.GetDisplayBoundingBox) {
        hooks.GetDisplayBoundingBox(&v, Setup->DisplayBoundsMin, Setup->DisplayBoundsMax);
    }
    v.SetupMatrix(Setup->DisplayBoundsMin, Setup->DisplayBoundsMax);
    v.calcViewVolumePlanes();
    if (IsOpenGL()) {
        const int windowHeight = QORglut_GetAssignedWindowHeight();
        glViewport(v.WindowX, windowHeight - v.WindowY - v.WindowHeight, v.WindowWidth, v.WindowHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(v.ProjectionMatrix);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(v.ModelViewMatrix);
    }
    if (hooks.BeforeConsiderTiling) hooks.BeforeConsiderTiling(&v);
}

void TKSN_Renderer4::SetupLights()
{
    if (!IsOpenGL()) return;
    if (!Setup->UseLighting || Setup->ViewMode == KSN_VIEWMODE_QUICK_RENDER) {
        glDisable(GL_LIGHTING);
        return;
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    GLint maxLights = 8;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    for (int i = 1; i < maxLights; ++i) glDisable(GLenum(GL_LIGHT0 + i));
    // The point (0, 0, 1) through the inverse rotation: towards the viewer.
    const float* r = Setup->Viewport.TransposedRotationMatrix;
    const GLfloat position[4] = {r[8] + r[12], r[9] + r[13], r[10] + r[14], 0.0f};
    const GLfloat white[4] = {1, 1, 1, 1}, black[4] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions && QORstrstri(extensions, "EXT_separate_specular_color"))
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    if (Setup->ViewMode == KSN_VIEWMODE_DEFAULT) {
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 128.0f);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    } else {
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    }
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_FALSE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
}

namespace {
float PatternTextureBrightness = -1.0f;   // the brightness the pattern texture was made with
} // namespace

void TKSN_Renderer4::DrawBackground()
{
    TKSN_RenderSetup& s = *Setup;
    TKSN_Viewport& v = s.Viewport;
    const bool gl = IsOpenGL();
    const int W = s.RenderedImage.GetWidth(), H = s.RenderedImage.GetHeight();
    const bool grab = !gl && (!s.BackgroundGridValid || s.BackgroundImage.GetWidth() != W ||
                              s.BackgroundImage.GetHeight() != H);
    SetupBackgroundPatternIfNecessary();

    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    const float z = v.GetZoomFactor();
    float R = hooks.GetSceneRadius ? hooks.GetSceneRadius() : 1.0f;
    if (!(R > 1e-30f)) R = 1.0f;
    const float sc = z / R;
    const float ox = v.ViewOffsetU, oy = v.ViewOffsetV, a = v.Aspect;
    const int vw = v.WindowWidth, vh = v.WindowHeight;
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    float tex[4][2];
    for (int k = 0; k < 4; ++k) {
        tex[k][0] = ((ox / z + corners[k][0]) * sc / 8.0f) * (float(vw) / 20.0f) * 0.5f + 0.5f;
        tex[k][1] = ((oy / z / a + corners[k][1]) * sc / 8.0f) * (float(vh) / 20.0f) * 0.5f + 0.5f;
    }
    TKSN_Viewport* current = hooks.GetCurrentViewport ? hooks.GetCurrentViewport() : nullptr;
    const bool isCurrent = !current || current->index == v.index;

    if (s.DrawBackgroundPattern) {
        const float brightness = QORglutWigits_InterfaceBrightness;
        if (std::fabs(brightness - PatternTextureBrightness) > 0.0001f && BackgroundPatternGLTexture != 0) {
            QORglDeleteTextures(1, &BackgroundPatternGLTexture);
            BackgroundPatternGLTexture = 0;
        }
        if (sc > 8.0f) {
            float f = 0.25f * brightness + 0.75f;
            if (!isCurrent) f *= 0.9f;
            glColor3f(QORglutWigits_DefaultBackgroundColorB[0] * f, QORglutWigits_DefaultBackgroundColorB[1] * f,
                      QORglutWigits_DefaultBackgroundColorB[2] * f);
        } else {
            glEnable(GL_TEXTURE_2D);
            if (BackgroundPatternGLTexture == 0) {
                PatternTextureBrightness = brightness;
                QORglGenTextures(1, &BackgroundPatternGLTexture);
                QORglBindTexture(GL_TEXTURE_2D, BackgroundPatternGLTexture);
                glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, BackgroundPattern);
            } else {
                QORglBindTexture(GL_TEXTURE_2D, BackgroundPatternGLTexture);
            }
            const float c = isCurrent ? 1.0f : 0.9f;
            glColor3f(c, c, c);
        }
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2fv(tex[k]);
            glVertex2fv(corners[k]);
        }
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glColor3f(1, 1, 1);
    }

    if (grab && W == vw && H == vh) {
        s.BackgroundImage.SetDimensions(W, H, 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 8);
        const int windowHeight = QORglut_GetAssignedWindowHeight();
        QORglReadPixels(v.WindowX, windowHeight - v.WindowY - v.WindowHeight, W, H, GL_RGB, GL_UNSIGNED_BYTE,
                        s.BackgroundImage.GetPixels(), false);
        s.BackgroundGridValid = true;
    }

    if (!gl && s.BackgroundImage.GetWidth() == W && s.BackgroundImage.GetHeight() == H &&
        s.BackgroundImage.GetBytesPerPixel() == 3 && W > 0 && H > 0) {
        const uint8_t* src = s.BackgroundImage.GetPixels();
        uint8_t* dst = s.RenderedImage.GetPixels();
        if (src && dst)
            for (long long i = 0; i < (long long)W * H; ++i) {
                for (int c = 0; c < 3; ++c) dst[i * 4 + c] = src[i * 3 + c];
                dst[i * 4 + 3] = 0;
            }
        if (s.RenderShadingPlanes) {
            uint8_t* unlit = s.UnlitImage.GetPixels();
            if (src && unlit && s.UnlitImage.GetWidth() == W && s.UnlitImage.GetHeight() == H)
                std::copy(src, src + (long long)W * H * 3, unlit);
        }
    }
}

void TKSN_Renderer4::DrawRenderedImageToViewport(TKSN_RenderSetup*)
{
    if (!Setup || IsOpenGL()) return;
    TKSN_Viewport& v = Setup->Viewport;
    const int windowHeight = QORglut_GetAssignedWindowHeight();
    glViewport(v.WindowX, windowHeight - v.WindowY - v.WindowHeight, v.WindowWidth, v.WindowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glOrtho(0, v.WindowWidth, 0, v.WindowHeight, -1, 1);
    QORglRasterPos2i_For_DrawPixels(0, 0);
    TQORImageMap& image = Setup->RenderedImage;
    if (image.GetWidth() > 0 && image.GetHeight() > 0 && image.GetPixels())
        QORglDrawPixels(image.GetWidth(), image.GetHeight(), GL_RGBA, GL_UNSIGNED_BYTE, image.GetPixels(), false);
}

// [SECTION] Trampolines

void TKSN_Renderer4::DrawOctreeNode_SimpleGrey_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_SimpleGrey_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_LayerColors_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_LayerColors_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_MaterialColors_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_MaterialColors_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_HotSelectionView_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_HotSelectionView_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_CurrentMapChannel_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_CurrentMapChannel_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_BrushTileView_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_BrushTileView_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_QuickRender_GL_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_QuickRender_GL(n); }
void TKSN_Renderer4::DrawOctreeNode_BrushTileView_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_BrushTileView_Software(n); }
void TKSN_Renderer4::DrawOctreeNode_CurrentMapChannel_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_CurrentMap_Software(n, false); }
void TKSN_Renderer4::DrawOctreeNode_CurrentMaplayer_Software_Static(TKSN_Renderer4* r, TQOROctreeNode<int>* n) { r->DrawOctreeNode_CurrentMap_Software(n, true); }
