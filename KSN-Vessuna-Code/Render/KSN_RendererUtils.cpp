#include "KSN_RendererUtils.h"

#include <cmath>
#include <new>

#include "GuiTheme.h"
#include "KSN_Application.h"
#include "KSN_PolygonLayer.h"
#include "KSN_MeshRoot.h"
#include "KSN_RasterizeTriangle.h"
#include "KSN_RendererHooks.h"
#include "QORMemory.h"
#include "QORString.h"

// [SECTION] Project hooks

namespace {
TKSN_RendererProjectHooks RendererHooks;
} // namespace

void KSN_SetRendererProjectHooks(const TKSN_RendererProjectHooks& hooks) { RendererHooks = hooks; }
const TKSN_RendererProjectHooks& KSN_GetRendererProjectHooks() { return RendererHooks; }

// [SECTION] Background checkerboard

uint8_t BackgroundPattern[8 * 8 * 3] = {};
bool BackgroundPatternInitialized = false;
GLuint BackgroundPatternGLTexture = 0;

void SetupBackgroundPatternIfNecessary()
{
    if (BackgroundPatternInitialized) return;
    BackgroundPatternInitialized = true;
    const float f = 0.25f * QORglutWigits_InterfaceBrightness + 0.75f;
    static const float none[3] = {0, 0, 0};
    const float* c1 = App ? App->textureGridColor1 : none;
    const float* c2 = App ? App->textureGridColor2 : none;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const float* c = (x + y) % 2 == 0 ? c2 : c1;
            uint8_t* p = BackgroundPattern + (y * 8 + x) * 3;
            for (int k = 0; k < 3; ++k) {
                const float v = c[k] * 255.0f * f;
                p[k] = v >= 255.0f ? 255 : (v > 0.0f ? uint8_t(v) : 0);
            }
        }
}

void InvalidateBackgroundPattern()
{
    BackgroundPatternInitialized = false;
    if (BackgroundPatternGLTexture != 0) QORglDeleteTextures(1, &BackgroundPatternGLTexture);
    BackgroundPatternGLTexture = 0;
}

// [SECTION] Marquee

void Rasterize_Line_For_SelectionOverlay_Marquee_With_GL_Points(const float* a, const float* b, int width,
                                                                 int height, unsigned char alpha)
{
    float p[3] = {a[0], a[1], a[2]}, q[3] = {b[0], b[1], b[2]};
    if (!ClipLineInsideViewportFrame(p, q, width, height)) return;
    bool black = QORrandom(2) != 0;
    const int major = std::fabs(q[0] - p[0]) > std::fabs(q[1] - p[1]) ? 0 : 1, minor = 1 - major;
    const int s = int(p[major]), e = int(q[major]);
    const int step = e >= s ? 1 : -1;
    for (int i = s;; i += step) {
        const int m = s == e ? int(p[minor]) : int(p[minor] + float(i - s) / float(e - s) * (q[minor] - p[minor]));
        const unsigned char c = black ? 0 : 255;
        glColor4ub(c, c, c, alpha);
        if (major == 0)
            glVertex2i(i, m);
        else
            glVertex2i(m, i);
        black = !black;
        if (i == e) break;
    }
}

// [SECTION] Octree direction test

bool TestOctreeNodeAgaistDirectionVector(float* normalMin, float* normalMax, float*, float*, int, float* direction,
                                         float*)
{
    const double lmax =
        std::sqrt(double(normalMax[0]) * normalMax[0] + double(normalMax[1]) * normalMax[1] + double(normalMax[2]) * normalMax[2]);
    if (lmax < 1e-30) return true;
    double m = -1.0;
    for (int corner = 0; corner < 8; ++corner) {
        double c[3];
        for (int k = 0; k < 3; ++k) c[k] = (corner >> k) & 1 ? normalMax[k] : normalMin[k];
        const double l = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (l > 1e-30)
            for (double& v : c) v /= l;
        const double d = c[0] * direction[0] + c[1] * direction[1] + c[2] * direction[2];
        if (d > m) m = d;
    }
    return m > -1e-30;
}

// [SECTION] Per-row paint mutexes

TKSN_ScanlineMutexes PaintScanlineMutexes;

TKSN_ScanlineMutexes::~TKSN_ScanlineMutexes() { SetHeight(0); }

void TKSN_ScanlineMutexes::SetHeight(int height)
{
    if (height < 0) height = 0;
    if (height == RowCount) return;
    for (int i = 0; i < RowCount; ++i) RowMutexes[i].~mutex();
    QORfree(RowMutexes);
    RowMutexes = nullptr;
    RowCount = height;
    if (height == 0) return;
    RowMutexes = static_cast<std::mutex*>(QORalloc(uint64_t(height) * sizeof(std::mutex)));
    for (int i = 0; i < height; ++i) new (&RowMutexes[i]) std::mutex();
}

void InitPaintScanlineMutexes(int height) { PaintScanlineMutexes.SetHeight(height); }

// [SECTION] Polygon layer of a polygon

TKSN_Layer* ChoosePolygonLayer(TKSN_MeshRoot* mesh, int polygon)
{
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    if (!hooks.GetPolygonLayer) return nullptr;
    auto holds = [&](int i) {
        return mesh && polygon >= 0 && polygon < mesh->GetPCount() && hooks.GetPolygonLayer(i) &&
               mesh->TestPolyLayerFlag(polygon, 1u << (i - 1));
    };
    for (int i = 31; i >= 1; --i)
        if (holds(i) && hooks.GetPolygonLayer(i)->Locked) return hooks.GetPolygonLayer(i);
    const int current = hooks.GetCurrentPolygonLayerIndex ? hooks.GetCurrentPolygonLayerIndex() : 0;
    if (current >= 1 && current <= 31 && holds(current)) return hooks.GetPolygonLayer(current);
    for (int i = 31; i >= 1; --i)
        if (holds(i)) return hooks.GetPolygonLayer(i);
    return hooks.GetPolygonLayer(0);
}
