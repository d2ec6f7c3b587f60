// The software node views: current map channel and map layer, picture meshes,
// the wireframe and vertex overlays, and the depth-tested line. They run on
// the render thread or the node threads, each with its own record, and write
// only the rows of the calling thread's band.
#include <algorithm>
#include <cmath>

#include "KSN_Application.h"
#include "KSN_MapLayer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_RasterizeTriangle.h"
#include "KSN_Renderer4.h"
#include "KSN_Renderer4_Internal.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace {

// Object space -> pixel x, y and depth (0 far, larger nearer).
struct TScreenMap {
    const float* M;
    float W, H;
    void Project(const float* p, float* out, float lift = 0.0f) const
    {
        const float x = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
        const float y = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
        const float z = M[2] * p[0] + M[6] * p[1] + M[10] * p[2] + M[14];
        out[0] = (x + 1.0f) * 0.5f * W;
        out[1] = (y + 1.0f) * 0.5f * H;
        out[2] = (1.0f - z) * 0.5f + lift;
    }
};

float Shade(const float* n, const float* e, bool lighting)
{
    if (!lighting || !n) return 1.0f;
    const float d = std::fabs(n[0] * e[0] + n[1] * e[1] + n[2] * e[2]);
    return d > 1.0f ? 1.0f : d;
}

bool FacesViewer(const TKSN_RasterizeTriangle& r)
{
    const float* a = r.Vertex[0];
    const float* b = r.Vertex[1];
    const float* c = r.Vertex[2];
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]) >= 1e-30f;
}

bool Cancelled(const TKSN_RenderSetup& s) { return std::atomic_ref<const bool>(s.CancelRequested).load(); }

} // namespace

void TKSN_Renderer4::PrepareSoftwareRecord(TKSN_RasterizeTriangle& r) const
{
    TKSN_RenderSetup& s = *Setup;
    r.InitAll();
    static const float white[4] = {1, 1, 1, 1};
    r.AssignColors4(white, white, white);
    r.Width = r.RowLength = Target.Width;
    r.Height = Target.Height;
    r.DestPixels = r.SourcePixels = Target.Pixels;
    r.BytesPerPixel = Target.BytesPerPixel;
    r.DepthBuffer = Target.Depth;
    if (s.RenderShadingPlanes) {
        r.UnlitPixels = Target.Unlit;
        r.ShadePixels = Target.Shade;
    }
    KSN_Renderer4_GetThreadBand(r.ClipRowFirst, r.ClipRowEnd);
}

// [SECTION] Current map channel and map layer

void TKSN_Renderer4::DrawOctreeNode_CurrentMap_Software(TQOROctreeNode<int>* node, bool currentLayerOnly)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TKSN_RenderSetup& s = *Setup;
    TKSN_MapLayer* layer = CurrentMapLayer;
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    const bool symmetric = hooks.DoUseSymmetry && hooks.DoUseSymmetry(m);
    const bool hasSelection = m->GetSelectedVertexCount() >= 1;
    const int selectionMode = KSN_RendererSelectionMode();
    const bool byPolygon = hasSelection && selectionMode == 1, byVertex = hasSelection && selectionMode == 0;
    const bool doubleSided = m->DoRenderDoubleSided();
    const bool hasUVs = m->tVertexCount > 0 && m->tVertices;

    TKSN_RasterizeTriangle r;
    PrepareSoftwareRecord(r);
    if (!r.DestPixels || !r.DepthBuffer || r.Width <= 0 || r.Height <= 0) return;
    const TScreenMap screen{s.Viewport.CombinedMatrix, float(r.Width), float(r.Height)};
    const float* eye = s.Viewport.ViewVector;

    // A screen-space pattern: one texel per pixel, tiled across the screen.
    struct TPattern {
        uint8_t* Pixels = nullptr;
        int W = 0, H = 0;
        bool Valid() const { return Pixels && W > 0 && H > 0; }
    };
    auto guiImage = [&](const char* name) {
        TPattern p;
        if (hooks.GetGuiImageRGB && !hooks.GetGuiImageRGB(name, &p.Pixels, &p.W, &p.H)) p = TPattern();
        return p;
    };
    TPattern pattern;
    if (!hasUVs && s.PaintTabActive) pattern = guiImage("NoUVMap");

    bool haveMap = false;
    int previous = -2;
    auto usePattern = [&](const TPattern& p) {
        r.ColorMap = p.Pixels;
        r.ColorMapWidth = p.W;
        r.ColorMapHeight = p.H;
        r.ColorMapBytesPerPixel = 3;
        r.AlphaMap = nullptr;
    };
    if (pattern.Valid()) usePattern(pattern);

    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        if (Cancelled(s)) return;
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (hasUVs && m->vGetPolyM(p) != previous) {
            previous = m->vGetPolyM(p);
            haveMap = false;
            pattern = TPattern();
            r.ColorMap = nullptr;
            r.AlphaMap = nullptr;
            TQORMaterialMapSource* source = KSN_ChannelMapOfPolygon(&s.Viewport, m, p);
            TQORMaterialMapSource* layerMap = source && layer ? source->GetMapLayer(layer, false) : nullptr;
            TQORMaterialMapSource* map = currentLayerOnly ? layerMap : source;
            uint8_t* pixels = map ? map->GetPixels() : nullptr;
            if (map && pixels && map->GetBytesPerPixel() >= 3 && map->GetWidth() > 0 && map->GetHeight() > 0) {
                haveMap = true;
                r.ColorMap = pixels;
                r.ColorMapBytesPerPixel = map->GetBytesPerPixel();
                r.ColorMapWidth = map->GetWidth();
                r.ColorMapHeight = map->GetHeight();
                if (layerMap) {
                    r.AlphaMap = layerMap->GetAlphaMaskPixels();
                    r.AlphaMapWidth = layerMap->GetWidth();
                    r.AlphaMapHeight = layerMap->GetHeight();
                }
            } else if (s.PaintTabActive) {
                pattern = guiImage("NoMapApplied");
                if (pattern.Valid()) usePattern(pattern);
            }
        }
        if (n < 3 || !KSN_PolygonIsValid(m, p, n)) continue;

        const float mirror = symmetric ? KSN_MirrorFactor(m, true, p) : 1.0f;
        const float* pn = m->polygonNormals ? m->polygonNormals + 3 * size_t(p) : nullptr;
        auto cornerLight = [&](int c) {
            const int v = m->vGetPolyV(p, c);
            const float* nrm = s.FlatShading ? pn : (m->vertexNormals ? m->vertexNormals + 3 * size_t(v) : nullptr);
            float l = Shade(nrm, eye, s.UseLighting);
            if (byPolygon) l *= 0.5f + 0.5f * m->GetResolvedPSelect(p);
            if (byVertex) l *= 0.5f + 0.5f * m->GetResolvedVSelect(v);
            return l * mirror;
        };
        auto cornerUV = [&](int c, float* uv) {
            const int vt = m->vGetPolyVT(p, c);
            if (hasUVs && vt >= 0 && vt < m->tVertexCount) {
                uv[0] = m->tVertices[2 * vt];
                uv[1] = m->tVertices[2 * vt + 1];
            } else {
                uv[0] = uv[1] = 0.0f;
            }
        };
        auto fill = [&](int slot, int c) {
            const int v = m->vGetPolyV(p, c);
            screen.Project(m->resolvedVertices + 3 * size_t(v), r.Vertex[slot]);
            r.Light[slot] = cornerLight(c);
            if (pattern.Valid()) {
                r.UV[slot][0] = r.Vertex[slot][0] / float(pattern.W);
                r.UV[slot][1] = r.Vertex[slot][1] / float(pattern.H);
            } else {
                cornerUV(c, r.UV[slot]);
            }
        };

        void (*raster)(TKSN_RasterizeTriangle*) = KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap;
        if (pattern.Valid())
            raster = KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic;
        else if (haveMap && hasUVs)
            raster = s.FilterTextures ? KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map
                                      : KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map_NoFilter;

        r.InitPoly(p);
        r.InitTriangle(0);
        r.ExtendEdges = false;
        fill(0, 0);
        fill(1, 1);
        fill(2, 2);
        for (int t = 0;; ++t) {
            if (doubleSided || FacesViewer(r)) raster(&r);
            if (t + 3 >= n) break;
            // The fan's next triangle keeps corner 0 and the last corner.
            for (int a = 0; a < 3; ++a) r.Vertex[1][a] = r.Vertex[2][a];
            r.UV[1][0] = r.UV[2][0];
            r.UV[1][1] = r.UV[2][1];
            r.Light[1] = r.Light[2];
            r.TriangleIndex = t + 1;
            fill(2, t + 3);
        }
    }
}

// [SECTION] Picture meshes

void TKSN_Renderer4::DrawOctreeNode_ColorTextureRender_Software(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TKSN_RenderSetup& s = *Setup;
    TKSN_Mesh* owner = m->GetOwnerMesh();
    if (!owner) return;
    const bool doubleSided = owner->GetOwnerObject() && owner->GetOwnerObject()->RenderDoubleSided;

    TKSN_RasterizeTriangle r;
    PrepareSoftwareRecord(r);
    if (!r.DestPixels || !r.DepthBuffer || r.Width <= 0 || r.Height <= 0) return;
    const TScreenMap screen{s.Viewport.CombinedMatrix, float(r.Width), float(r.Height)};
    int previous = -2;
    bool haveMap = false;
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        if (Cancelled(s)) return;
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (m->vGetPolyM(p) != previous) {
            previous = m->vGetPolyM(p);
            haveMap = false;
            TQORMaterialMapSource* map = KSN_ColorMapOfPolygon(&s.Viewport, m, p);
            uint8_t* pixels = map ? map->GetPixels() : nullptr;
            if (pixels && map->GetBytesPerPixel() >= 3 && map->GetWidth() > 0 && map->GetHeight() > 0) {
                haveMap = true;
                r.ColorMap = pixels;
                r.ColorMapBytesPerPixel = map->GetBytesPerPixel();
                r.ColorMapWidth = map->GetWidth();
                r.ColorMapHeight = map->GetHeight();
            }
        }
        if (n < 3 || !KSN_PolygonIsValid(m, p, n)) continue;
        r.InitPoly(p);
        for (int t = 0; t + 2 < n; ++t) {
            r.InitTriangle(t);
            const int corners[3] = {0, t + 1, t + 2};
            for (int a = 0; a < 3; ++a) {
                const int v = m->vGetPolyV(p, corners[a]);
                screen.Project(m->resolvedVertices + 3 * size_t(v), r.Vertex[a]);
                r.Light[a] = Shade(m->vertexNormals ? m->vertexNormals + 3 * size_t(v) : nullptr,
                                   s.Viewport.ViewVector, s.UseLighting);
                const int vt = m->vGetPolyVT(p, corners[a]);
                if (vt >= 0 && vt < m->tVertexCount) {
                    r.UV[a][0] = m->tVertices[2 * vt];
                    r.UV[a][1] = m->tVertices[2 * vt + 1];
                }
            }
            if (!doubleSided && !FacesViewer(r)) continue;
            if (haveMap)
                KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&r);
            else
                KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap(&r);
        }
    }
}

// [SECTION] Overlays

void TKSN_Renderer4::DrawOctreeNode_Wireframe_Software(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m || !m->GetOwnerMesh()) return;
    TKSN_RenderSetup& s = *Setup;
    const int W = Target.Width, H = Target.Height;
    uint8_t* pixels = Target.Pixels;
    float* depth = Target.Depth;
    if (!pixels || !depth || W <= 0 || H <= 0) return;
    float color[3] = {0, 0, 0};
    if (auto get = KSN_GetRendererProjectHooks().GetWireframeColor) get(color);
    int rowFirst = 0, rowEnd = INT32_MAX;
    KSN_Renderer4_GetThreadBand(rowFirst, rowEnd);
    const TScreenMap screen{s.Viewport.CombinedMatrix, float(W), float(H)};
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (n < 2 || !KSN_PolygonIsValid(m, p, n)) continue;
        for (int c = 0; c < n; ++c) {
            float a[3], b[3];
            screen.Project(m->resolvedVertices + 3 * size_t(m->vGetPolyV(p, c)), a, 0.001f);
            screen.Project(m->resolvedVertices + 3 * size_t(m->vGetPolyV(p, (c + 1) % n)), b, 0.001f);
            Rasterize_Line_R4(a, b, color, W, W, H, pixels, Target.BytesPerPixel, depth, rowFirst, rowEnd);
        }
    }
}

void TKSN_Renderer4::DrawOctreeNode_VertexOverlay_Software(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    TKSN_RenderSetup& s = *Setup;
    if (!m || Target.BytesPerPixel != 4 || !m->visibleVertices) return;
    const int W = Target.Width, H = Target.Height;
    uint8_t* pixels = Target.Pixels;
    const float* depth = Target.Depth;
    if (!pixels || !depth || W <= 0 || H <= 0) return;
    float color[3] = {0, 0, 0};
    if (auto get = KSN_GetRendererProjectHooks().GetWireframeColor) get(color);
    uint8_t bytes[3];
    for (int c = 0; c < 3; ++c) {
        const float v = 255.0f * color[c];
        bytes[c] = v >= 255.0f ? 255 : (v > 0.0f ? uint8_t(v) : 0);
    }
    int rowFirst = 0, rowEnd = INT32_MAX;
    KSN_Renderer4_GetThreadBand(rowFirst, rowEnd);
    const float* M = s.Viewport.CombinedMatrix;
    const int begin = std::max(node->VertexBegin, 0), end = std::min(node->VertexEnd, m->visibleVertexCount);
    for (int k = begin; k < end; ++k) {
        const int v = m->visibleVertices[k];
        if (v < 0 || v >= m->vertexCount) continue;
        const float* p = m->resolvedVertices + 3 * size_t(v);
        const float x = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
        const float y = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
        const float z = M[2] * p[0] + M[6] * p[1] + M[10] * p[2] + M[14];
        const float fu = (x + 1.0f) * 0.5f * float(W), fv = (y + 1.0f) * 0.5f * float(H);
        if (!(fu > -1.0f && fu < float(W)) || !(fv > -1.0f && fv < float(H))) continue;
        const int u = int(fu), w = int(fv);
        if (!(u > 0 && u <= W - 2 && w > 0 && w <= H - 2)) continue;
        if (depth[(long long)w * W + u] > (1.0f - z) * 0.5f + 0.001f) continue;
        for (int row = std::max(w - 1, rowFirst); row <= w + 1 && row < rowEnd; ++row)
            for (int col = u - 1; col <= u + 1; ++col) {
                uint8_t* d = pixels + ((long long)row * W + col) * 4;
                d[0] = bytes[0];
                d[1] = bytes[1];
                d[2] = bytes[2];
                d[3] = 255;
            }
    }
}

// [SECTION] Depth-tested line

void Rasterize_Line_R4(const float* a, const float* b, const float* color, int width, int rowLength, int height,
                       unsigned char* pixels, int bytesPerPixel, float* depth, int rowFirst, int rowEnd)
{
    if (!pixels || !depth || width < 3 || height < 3) return;
    uint8_t bytes[3];
    for (int c = 0; c < 3; ++c) {
        const float v = 255.0f * color[c];
        bytes[c] = v >= 255.0f ? 255 : (v > 0.0f ? uint8_t(v) : 0);
    }
    float p[3] = {a[0], a[1], a[2]}, q[3] = {b[0], b[1], b[2]};
    if (!ClipLineInsideViewportFrame(p, q, width, height)) return;
    const int major = std::fabs(q[0] - p[0]) > std::fabs(q[1] - p[1]) ? 0 : 1, minor = 1 - major;
    const float* first = p[major] <= q[major] ? p : q;
    const float* second = first == p ? q : p;
    const int J = int(first[major]), I = int(second[major]);
    const float step = I == J ? 0.0f : 1.0f / float(I - J);
    const float dMinor = (second[minor] - first[minor]) * step, dDepth = (second[2] - first[2]) * step;
    float pos[2];
    pos[major] = first[major];
    pos[minor] = first[minor];
    float z = first[2];
    for (int i = J; i < I; ++i) {
        if (z >= 0.0f && z <= 1.0f) {
            const int x = int(pos[0]), y = int(pos[1]);
            if (y >= rowFirst && y < rowEnd) {
                const long long index = (long long)y * rowLength + x;
                if (depth[index] <= z + 1e-8f) {
                    uint8_t* d = pixels + index * bytesPerPixel;
                    d[0] = bytes[0];
                    d[1] = bytes[1];
                    d[2] = bytes[2];
                    if (bytesPerPixel >= 4) d[3] = 255;
                }
            }
        }
        pos[major] += 1.0f;
        pos[minor] += dMinor;
        z += dDepth;
    }
}
