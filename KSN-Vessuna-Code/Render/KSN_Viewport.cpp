// The viewport: matrices, standard views, cloning, framing, the rendered-image
// cache, and the application object's side of the declared viewport interface.
// Index:
//   [SECTION] Hooks and octree services
//   [SECTION] Construction and rendered image
//   [SECTION] Matrix set-up
//   [SECTION] Standard views, cloning and copying
//   [SECTION] Framing
//   [SECTION] Declared interface of the application object
#include "KSN_Viewport.h"

#include <cmath>
#include <cstring>

#include "KSN_RendererUtils.h"
#include "KSN_Viewport_Internal.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QOROctree.h"

// [SECTION] Hooks and octree services

namespace {

TKSN_ViewportProjectHooks ProjectHooks;

const float Identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The command that tells the interface a viewport was framed.
constexpr int32_t FramedViewportCommand = 298;

const float* OctreeCombinedMatrix(TKSN_Viewport* viewport) { return viewport->CombinedMatrix; }
const float* OctreeProjectionMatrix(TKSN_Viewport* viewport) { return viewport->ProjectionMatrix; }
bool OctreeCubeInView(TKSN_Viewport* viewport, float* min, float* max, float margin)
{
    return viewport->CubeInView(min, max, margin);
}

} // namespace

void KSN_SetViewportProjectHooks(const TKSN_ViewportProjectHooks& hooks) { ProjectHooks = hooks; }
const TKSN_ViewportProjectHooks& KSN_GetViewportProjectHooks() { return ProjectHooks; }

void KSN_RegisterViewportOctreeServices()
{
    TKSN_ViewportOctreeServices services = KSN_GetViewportOctreeServices();
    services.CombinedMatrix = OctreeCombinedMatrix;
    services.ProjectionMatrix = OctreeProjectionMatrix;
    services.CubeInView = OctreeCubeInView;
    services.NormalsMayFaceViewer = [](TKSN_Viewport* viewport, float* normalMin, float* normalMax) {
        return TestOctreeNodeAgaistDirectionVector(normalMin, normalMax, nullptr, nullptr, 0, viewport->ViewVector,
                                                   nullptr);
    };
    KSN_SetViewportOctreeServices(services);
}

// [SECTION] Construction and rendered image

TKSN_Viewport::TKSN_Viewport() : GrabTexture(std::make_unique<TQORGrabTexture>())
{
    RegisterForLookup();
}

TKSN_Viewport::~TKSN_Viewport() { ClearRenderedPixels(); }

int32_t TKSN_Viewport::SetRenderedSceneStatus(int32_t s)
{
    if (s > renderedSceneStatus) renderedSceneStatus = s;
    return renderedSceneStatus;
}

void TKSN_Viewport::ClearRenderedPixels()
{
    delete[] DisplayedPixels;
    DisplayedPixels = nullptr;
    DisplayedWidth = DisplayedHeight = 0;
}

TKSN_DepthBuffer* TKSN_Viewport::GetDepthBuffer() { return renderSetup ? &renderSetup->DepthBuffer : nullptr; }

void TKSN_Viewport::GetRenderedPixelInfo(int* w, int* h, unsigned char** colour, unsigned char** unlit, int**,
                                         unsigned char** shade)
{
    TKSN_RenderSetup* s = renderSetup.get();
    if (w) *w = s ? s->RenderedImage.GetWidth() : 0;
    if (h) *h = s ? s->RenderedImage.GetHeight() : 0;
    if (colour) *colour = s ? s->RenderedColorImage.GetPixels() : nullptr;
    if (unlit) *unlit = s ? s->UnlitImage.GetPixels() : nullptr;
    if (shade) *shade = s ? s->ShadeImage.GetPixels() : nullptr;
}

void TKSN_Viewport::OnCacheViewport() { GrabTexture->Get(WindowX, WindowY, WindowWidth, WindowHeight); }

bool TKSN_Viewport::IsCachedViewportValid() const { return GrabTexture->IsValid(); }

void TKSN_Viewport::DrawCachedViewport()
{
    if (GrabTexture->IsValid()) GrabTexture->Draw();
}

void TKSN_Viewport::InvalidateGrabTexture() { GrabTexture->Invalidate(); }

void TKSN_Viewport::RecreateGrabTexture() { GrabTexture = std::make_unique<TQORGrabTexture>(); }

int TKSN_Viewport::GetValidationCounter()
{
    std::scoped_lock lock(ValidationMutex);
    return ValidationCounter;
}

// [SECTION] Matrix set-up

void TKSN_Viewport::SetupModelViewMatrix()
{
    float f = GetZoomFactor();
    float m[16], t[16];
    QORMatrix_CreateTranslation4x4(m, -LookAt[0], -LookAt[1], -LookAt[2]);
    KSN_MatrixProduct(RotationMatrix, m, m);
    QORMatrix_CreateScale4x4(t, 1.0f / f, 1.0f / f, 1.0f / f);
    KSN_MatrixProduct(t, m, m);
    QORMatrix_CreateTranslation4x4(t, 0.0f, 0.0f, -EyeDistance);
    KSN_MatrixProduct(t, m, ModelViewMatrix);
}

void TKSN_Viewport::SetupMatrix(const float* min, const float* max)
{
    EyeDistance = 0.0f;
    SetupModelViewMatrix();
    CalculateNearAndFar(min, max);
    EyeDistance = 1.0f - Near;
    SetupModelViewMatrix();
    CalculateNearAndFar(min, max);
    Near = 0.9f * Near;
    Far = float(double(Far) * 1.1);

    // Computed here rather than read back from OpenGL, so the view maths
    // needs no context; it equals what glOrtho builds.
    double heightOverWidth = double(WindowHeight < 1 ? 1 : WindowHeight) / double(WindowWidth < 1 ? 1 : WindowWidth);
    KSN_OrthoMatrix(ProjectionMatrix, -1.0, 1.0, -heightOverWidth, heightOverWidth, Near, Far);
    KSN_MatrixProduct(ProjectionMatrix, ModelViewMatrix, CombinedMatrix);
    SetupInverseMatrix();
    const float* t = TransposedRotationMatrix;
    for (int k = 0; k < 3; ++k) ViewVector[k] = t[8 + k] + t[12 + k];
}

void TKSN_Viewport::SetupInverseMatrix()
{
    std::memcpy(InverseProjectionMatrix, Identity, sizeof Identity);
    InverseProjectionMatrix[0] = 1.0f;
    InverseProjectionMatrix[5] = float(WindowHeight < 1 ? 1 : WindowHeight) / float(WindowWidth < 1 ? 1 : WindowWidth);
    InverseProjectionMatrix[10] = -(Far - Near) * 0.5f;
    InverseProjectionMatrix[14] = -(Far + Near) * 0.5f;

    float f = GetZoomFactor();
    float m[16], t[16];
    QORMatrix_CreateTranslation4x4(m, 0.0f, 0.0f, EyeDistance);
    QORMatrix_CreateScale4x4(t, f, f, f);
    KSN_MatrixProduct(t, m, m);
    KSN_MatrixProduct(TransposedRotationMatrix, m, m);
    QORMatrix_CreateTranslation4x4(t, LookAt[0], LookAt[1], LookAt[2]);
    KSN_MatrixProduct(t, m, InverseModelViewMatrix);
    KSN_MatrixProduct(InverseModelViewMatrix, InverseProjectionMatrix, InverseCombinedMatrix);
}

void TKSN_Viewport::GetUVBuffersForDisplacements(float& u, float& v, float displacement)
{
    float a = std::fabs(displacement);
    const float* r = TransposedRotationMatrix;
    const float* c = CombinedMatrix;
    auto reach = [&](int axis) {
        float o[3], d[3];
        for (int k = 0; k < 3; ++k) {
            o[k] = a * r[12 + k];
            d[k] = a * (r[4 * axis + k] + r[12 + k]);
        }
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            double to = c[k] * o[0] + c[4 + k] * o[1] + c[8 + k] * o[2] + c[12 + k];
            double td = c[k] * d[0] + c[4 + k] * d[1] + c[8 + k] * d[2] + c[12 + k];
            sum += (td - to) * (td - to);
        }
        return float(std::sqrt(sum));
    };
    u = reach(0);
    v = reach(1);
}

// [SECTION] Standard views, cloning and copying

void TKSN_Viewport::SetToStandardView(const float* constant, void (TKSN_Application::*get)(float*) const,
                                      bool autoView)
{
    AutoView = autoView;
    CopyViewportIndex = -1;
    float m[16];
    if (App)
        (App->*get)(m);
    else
        std::memcpy(m, constant, sizeof m);
    SetRotationMatrix(m);
    std::memcpy(DefaultRotationMatrix, m, sizeof m);
}

void TKSN_Viewport::SetToFront(bool autoView)
{
    SetToStandardView(FrontMatrix, &TKSN_Application::GetFrontMatrix, autoView);
    standardView = TKSN_StandardView::Front;
}

void TKSN_Viewport::SetToBack(bool autoView)
{
    SetToStandardView(BackMatrix, &TKSN_Application::GetBackMatrix, autoView);
    standardView = TKSN_StandardView::Back;
}

void TKSN_Viewport::SetToLeft(bool autoView)
{
    SetToStandardView(LeftMatrix, &TKSN_Application::GetLeftMatrix, autoView);
    standardView = TKSN_StandardView::Left;
}

void TKSN_Viewport::SetToRight(bool autoView) { SetToStandardView(RightMatrix, &TKSN_Application::GetRightMatrix, autoView); }

void TKSN_Viewport::SetToTop(bool autoView)
{
    SetToStandardView(TopMatrix, &TKSN_Application::GetTopMatrix, autoView);
    standardView = TKSN_StandardView::Top;
}

void TKSN_Viewport::SetToBottom(bool autoView)
{
    SetToStandardView(BottomMatrix, &TKSN_Application::GetBottomMatrix, autoView);
}

void TKSN_Viewport::CloneViewport(int index, bool autoView)
{
    AutoView = autoView;
    if (unsigned(index) > 3u) {
        CopyViewportIndex = -1;
        return;
    }
    CopyViewportIndex = index;
    TKSN_Viewport* other = App ? App->viewports[index] : nullptr;
    if (!other || other == this) return;
    SetRotationMatrix(other->RotationMatrix);
    SetLookAt(other->LookAt, nullptr, 0.0f, false);
    SetZoom(other->GetZoom());
}

void TKSN_Viewport::Copy(TKSN_Viewport* other)
{
    if (!other || other == this) return;
    WindowX = other->WindowX;
    WindowY = other->WindowY;
    WindowWidth = other->WindowWidth;
    WindowHeight = other->WindowHeight;
    Aspect = other->Aspect;
    index = other->index;
    std::memcpy(CombinedMatrix, other->CombinedMatrix, sizeof CombinedMatrix);
    std::memcpy(InverseCombinedMatrix, other->InverseCombinedMatrix, sizeof InverseCombinedMatrix);
    std::memcpy(TransposedRotationMatrix, other->TransposedRotationMatrix, sizeof TransposedRotationMatrix);
    std::memcpy(RotationMatrix, other->RotationMatrix, sizeof RotationMatrix);
    std::memcpy(DefaultRotationMatrix, other->DefaultRotationMatrix, sizeof DefaultRotationMatrix);
    SetLookAtForLoadingOnly(other->LookAt);
    SetZoomForLoadingOnly(other->GetZoom());
    AutoView = other->AutoView;
    if (other->Locked)
        Lock();
    else
        Unlock();
    CopyViewportIndex = other->CopyViewportIndex;
    Current = other->Current;
    Maximized = other->Maximized;
    CameraID = other->CameraID;
    DisplayMode = other->DisplayMode;
    KSN_CopyChannelName(materialChannelName, sizeof materialChannelName, other->materialChannelName);
    layer.Copy(&other->layer);
    ViewOffsetU = other->ViewOffsetU;
    ViewOffsetV = other->ViewOffsetV;
}

// [SECTION] Framing

void TKSN_Viewport::FrameView(TKSN_Object* object, TKSN_Framing_Style style)
{
    std::vector<TKSN_Object*> objects;
    if (style != KSN_FRAME_OBJECT && ProjectHooks.GetObjectList) objects = ProjectHooks.GetObjectList();
    std::vector<float> points;
    if (!KSN_GatherFramingPoints(object, style, objects, ProjectHooks.CanAffectObject, points)) return;
    FrameViewOnPoints(points, style == KSN_FRAME_ALL);
}

void TKSN_Viewport::FrameViewOnPoints(const std::vector<float>& points, bool emptyMeansOrigin)
{
    if (points.empty() && !emptyMeansOrigin) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(811));
        return;
    }
    float min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
    for (size_t i = 0; i + 2 < points.size(); i += 3)
        for (int k = 0; k < 3; ++k) {
            float p = points[i + size_t(k)];
            if (i == 0 || p < min[k]) min[k] = p;
            if (i == 0 || p > max[k]) max[k] = p;
        }
    float centre[3];
    for (int k = 0; k < 3; ++k) centre[k] = (min[k] + max[k]) * 0.5f;
    SetLookAt(centre, nullptr, 0.0f, false);
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        double half = (double(max[k]) - double(min[k])) * 0.5;
        sum += half * half;
    }
    float r = float(std::sqrt(sum));
    if (r < 1e-10f) r = 1.0f;
    SetZoom(Aspect > 1e-30f ? r / Aspect : 1.0f);
    DefaultZoomFactor = GetZoom();
    QOREvents_PushEvent(new TQOREvent(nullptr, GetID(), FramedViewportCommand));
}

// [SECTION] Declared interface of the application object

TKSN_Viewport* KSN_NewViewport()
{
    auto* viewport = new TKSN_Viewport;
    viewport->renderSetup = std::make_unique<TKSN_RenderSetup>();
    return viewport;
}

void KSN_DeleteViewport(TKSN_Viewport* viewport) { delete viewport; }

float* KSN_GetViewportMatrix(TKSN_Viewport* viewport) { return viewport->CombinedMatrix; }

void KSN_ApplyViewportStandardSetup(TKSN_Viewport* viewport, const TKSN_ViewportStandardSetup& setup)
{
    viewport->layer.Init();
    viewport->SetName("%s", setup.name);
    viewport->index = setup.index;
    viewport->layerMask1 = viewport->layerMask2 = setup.layerMask;
    viewport->furtherMask1 = viewport->furtherMask2 = setup.furtherMask;
    viewport->layer.IsMainViewportSettings = setup.mainViewport;
    if (setup.mainViewport)
        viewport->layer.DisplayFlags &= ~TKSN_Layer::UseViewportDefault;
    else
        viewport->layer.DisplayFlags |= TKSN_Layer::UseViewportDefault;
    switch (setup.view) {
    case TKSN_StandardView::Front: viewport->SetToFront(setup.automaticView); break;
    case TKSN_StandardView::Top: viewport->SetToTop(setup.automaticView); break;
    case TKSN_StandardView::Left: viewport->SetToLeft(setup.automaticView); break;
    case TKSN_StandardView::Back: viewport->SetToBack(setup.automaticView); break;
    }
    if (setup.locked) viewport->Lock();
}

TKSN_DepthBuffer* KSN_NewDepthBuffer(int32_t type)
{
    auto* buffer = new TKSN_DepthBuffer;
    buffer->SetType(eDepthBufferType(type));
    return buffer;
}

void KSN_DeleteDepthBuffer(TKSN_DepthBuffer* buffer) { delete buffer; }

void KSN_ResizeDepthBuffer(TKSN_DepthBuffer* buffer, int32_t width, int32_t height)
{
    if (buffer) buffer->Resize(width, height);
}
