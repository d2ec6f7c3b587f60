// The brush-tile view: the colourised texture brush repeated over the model
// through the project's tiled paint mapping, in OpenGL (the texture repeats)
// and in software (two rasterisers over the common scan: the plain one writes
// the brush colour and alpha, the grid-baking one blends the transparent
// parts of the brush over a checkerboard of 4 × 4 brush texels).
#include <cmath>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_RasterizeTriangle.h"
#include "KSN_Rasterizers_Internal.h"
#include "KSN_Renderer4.h"
#include "KSN_Renderer4_Internal.h"
#include "QORGL.h"
#include "QORImageMap.h"
#include "QORMemory.h"

namespace {

template <bool BakeInGrid> struct TBrushTileKernel {
    static constexpr bool NeedsMapWeights = true;
    const TKSN_RasterizeTriangle* R;
    bool Shading = false;
    bool LightVaries = false;
    uint8_t Grid[2][3] = {};   // [0] first colour, [1] second

    bool NeedsValueWeights() const { return LightVaries; }

    void operator()(long long n, const TScanWeights& w) const
    {
        const TKSN_RasterizeTriangle& r = *R;
        float light = LightVaries ? w.w[0] * r.Light[0] + w.w[1] * r.Light[1] + w.w[2] * r.Light[2] : r.Light[0];
        light *= 255.0f;
        const int l = light >= 255.0f ? 255 : (light > 0.0f ? int(light) : 0);
        const float U = float(w.m[0] * r.UV[0][0] + w.m[1] * r.UV[1][0] + w.m[2] * r.UV[2][0]);
        const float V = float(w.m[0] * r.UV[0][1] + w.m[1] * r.UV[1][1] + w.m[2] * r.UV[2][1]);
        const int Wc = r.ColorMapWidth, Hc = r.ColorMapHeight;
        const float x = U * float(Wc) - 0.5f, y = V * float(Hc) - 0.5f;
        int c[3];
        KSN_Bilinear3(r.ColorMap, Wc, KSN_WrapAxis(x, Wc), KSN_WrapAxis(y, Hc), c);
        const bool alphaMap = r.AlphaMap != nullptr;
        int a = 255;
        if (alphaMap)
            a = KSN_Bilinear(r.AlphaMap, r.AlphaMapWidth, 1, KSN_WrapAxis(x, r.AlphaMapWidth),
                             KSN_WrapAxis(y, r.AlphaMapHeight), 0);
        if constexpr (BakeInGrid) {
            if (alphaMap && a != 255) {
                const int cell = ((KSN_TruncCoord(double(U) * Wc) >> 2) + (KSN_TruncCoord(double(V) * Hc) >> 2)) & 1;
                const uint8_t* g = cell == 1 ? Grid[0] : Grid[1];
                for (int k = 0; k < 3; ++k) c[k] = g[k] + (c[k] - g[k]) * a / 255;
            }
        }
        uint8_t* d = r.DestPixels + n * r.BytesPerPixel;
        for (int k = 0; k < 3; ++k) d[k] = uint8_t(Shading ? KSN_Div255(c[k] * l) : c[k]);
        if (r.BytesPerPixel >= 4) d[3] = uint8_t(a);
    }
};

template <bool BakeInGrid> void RunBrushTile(TKSN_RasterizeTriangle* t)
{
    if (!t->DepthBuffer) QORThrowException("DepthBuffer == NULL and USE_DEPTH_BUFFER");
    if (!t->ColorMap) QORThrowException("ColorMap == NULL and USE_COLOR_MAP");
    if (t->ColorMapWidth <= 0 || t->ColorMapHeight <= 0 || !t->DestPixels || t->BytesPerPixel < 3) return;
    TBrushTileKernel<BakeInGrid> k{t};
    if (t->AlphaMap && (t->AlphaMapWidth <= 0 || t->AlphaMapHeight <= 0)) t->AlphaMap = nullptr;
    for (float l : t->Light)
        if (std::fabs(l - 1.0f) > 1e-30f) k.Shading = true;
    k.LightVaries = std::fabs(t->Light[1] - t->Light[0]) >= 1e-30f || std::fabs(t->Light[2] - t->Light[0]) >= 1e-30f;
    if constexpr (BakeInGrid)
        if (App) App->GetBackgroundGridColorsForTextures(k.Grid[0], k.Grid[1]);
    TScanTriangle scan;
    for (int v = 0; v < 3; ++v) scan.p[v] = t->Vertex[v];
    scan.Width = t->Width;
    scan.RowLength = t->RowLength;
    scan.Height = t->Height;
    scan.Depth = t->DepthBuffer;
    scan.ClipRowFirst = t->ClipRowFirst;
    scan.ClipRowEnd = t->ClipRowEnd;
    KSN_ScanTriangle(scan, k);
}

void TiledUV(TKSN_Viewport* viewport, float* uvw, const float* position, const float* centre, int vertex)
{
    uvw[0] = uvw[1] = uvw[2] = 0.0f;
    if (auto get = KSN_GetRendererProjectHooks().GetTiledUVMapForVertex) get(viewport, uvw, position, centre, vertex);
}

void PolygonCentre(TKSN_MeshRoot* m, int p, int n, float* c)
{
    c[0] = c[1] = c[2] = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float* v = m->resolvedVertices + 3 * size_t(m->vGetPolyV(p, k));
        for (int a = 0; a < 3; ++a) c[a] += v[a];
    }
    for (int a = 0; a < 3; ++a) c[a] /= float(n);
}

} // namespace

void KSN_RenderBrushTileTexture_Triangle_Software(TKSN_RasterizeTriangle* t) { RunBrushTile<false>(t); }
void KSN_RenderBrushTileTexture_Triangle_Software_BakeInGrid(TKSN_RasterizeTriangle* t) { RunBrushTile<true>(t); }

void TKSN_Renderer4::DrawOctreeNode_BrushTileView_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m || !m->GetOwnerMesh()) return;
    if (static_cast<TKSN_MeshRoot*>(m->GetOwnerMesh()) != m) {
        DrawOctreeNode_SimpleGrey_GL(node);
        return;
    }
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glColor3f(1, 1, 1);
    TQORImageMap* rgb = hooks.GetCurrentColorizeTextureBrushImageRGB ? hooks.GetCurrentColorizeTextureBrushImageRGB() : nullptr;
    if (rgb) {
        rgb->GetPixels();
        if (TQORImageMap* alpha = hooks.GetCurrentColorizeTextureBrushImageAlpha ? hooks.GetCurrentColorizeTextureBrushImageAlpha() : nullptr)
            alpha->GetPixels();
        TQORImageMap* shown = hooks.GetCurrentColorizeTextureBrushImage ? hooks.GetCurrentColorizeTextureBrushImage() : nullptr;
        if (shown) {
            shown->MakeThumbnail(nullptr, nullptr);
            if (const GLuint texture = shown->GetPreviewTexture()) {
                glEnable(GL_TEXTURE_2D);
                QORglBindTexture(GL_TEXTURE_2D, texture);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
            }
        }
    }
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (n < 3 || !KSN_PolygonIsValid(m, p, n)) continue;
        glBegin(n == 3 ? GL_TRIANGLES : n == 4 ? GL_QUADS : GL_POLYGON);
        float c[3];
        PolygonCentre(m, p, n, c);
        if (Setup->FlatShading && m->polygonNormals) glNormal3fv(m->polygonNormals + 3 * size_t(p));
        for (int a = 0; a < n; ++a) {
            const int v = m->vGetPolyV(p, a);
            const float* pos = m->resolvedVertices + 3 * size_t(v);
            if (!Setup->FlatShading && m->vertexNormals) glNormal3fv(m->vertexNormals + 3 * size_t(v));
            float uvw[3];
            TiledUV(&Setup->Viewport, uvw, pos, c, v);
            glTexCoord3fv(uvw);
            glVertex3fv(pos);
        }
        glEnd();
    }
    QORglBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

void TKSN_Renderer4::DrawOctreeNode_BrushTileView_Software(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TKSN_RenderSetup& s = *Setup;
    const bool doubleSided = m->DoRenderDoubleSided();
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    TQORImageMap* rgb = hooks.GetCurrentColorizeTextureBrushImageRGB ? hooks.GetCurrentColorizeTextureBrushImageRGB() : nullptr;
    uint8_t* rgbPixels = rgb ? rgb->GetPixels() : nullptr;
    if (!rgbPixels || rgb->GetBytesPerPixel() != 3 || rgb->GetWidth() <= 0 || rgb->GetHeight() <= 0) return;
    TQORImageMap* alpha = hooks.GetCurrentColorizeTextureBrushImageAlpha ? hooks.GetCurrentColorizeTextureBrushImageAlpha() : nullptr;
    // The alpha image is addressed with the RGB image's size: one of another
    // size (or depth) would be read out of bounds, so the brush draws opaque.
    uint8_t* alphaPixels = nullptr;
    if (alpha && alpha->GetWidth() == rgb->GetWidth() && alpha->GetHeight() == rgb->GetHeight() &&
        alpha->GetBytesPerPixel() == 1)
        alphaPixels = alpha->GetPixels();

    TKSN_RasterizeTriangle r;
    PrepareSoftwareRecord(r);
    if (!r.DestPixels || !r.DepthBuffer || r.Width <= 0 || r.Height <= 0) return;
    r.UnlitPixels = r.ShadePixels = nullptr;
    r.ColorMap = rgbPixels;
    r.ColorMapWidth = rgb->GetWidth();
    r.ColorMapHeight = rgb->GetHeight();
    r.ColorMapBytesPerPixel = 3;
    r.AlphaMap = alphaPixels;
    r.AlphaMapWidth = rgb->GetWidth();
    r.AlphaMapHeight = rgb->GetHeight();
    const float* M = s.Viewport.CombinedMatrix;
    const float W = float(r.Width), H = float(r.Height);
    auto project = [&](const float* p, float* out) {
        const float x = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
        const float y = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
        const float z = M[2] * p[0] + M[6] * p[1] + M[10] * p[2] + M[14];
        out[0] = (x + 1.0f) * 0.5f * W;
        out[1] = (y + 1.0f) * 0.5f * H;
        out[2] = (1.0f - z) * 0.5f;
    };
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        if (std::atomic_ref<const bool>(s.CancelRequested).load()) return;
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (n < 3 || !KSN_PolygonIsValid(m, p, n)) continue;
        float c[3];
        PolygonCentre(m, p, n, c);
        float uvw0[3];
        const int v0 = m->vGetPolyV(p, 0);
        TiledUV(&s.Viewport, uvw0, m->resolvedVertices + 3 * size_t(v0), c, v0);
        r.InitPoly(p);
        for (int t = 0; t + 2 < n; ++t) {
            r.InitTriangle(t);
            const int corners[3] = {0, t + 1, t + 2};
            int v[3];
            for (int a = 0; a < 3; ++a) {
                v[a] = m->vGetPolyV(p, corners[a]);
                project(m->resolvedVertices + 3 * size_t(v[a]), r.Vertex[a]);
            }
            const float area = (r.Vertex[1][0] - r.Vertex[0][0]) * (r.Vertex[2][1] - r.Vertex[0][1]) -
                               (r.Vertex[1][1] - r.Vertex[0][1]) * (r.Vertex[2][0] - r.Vertex[0][0]);
            if (!doubleSided && area < 1e-30f) continue;
            if (s.UseLighting) {
                const float* D = s.Viewport.ViewVector;
                for (int a = 0; a < 3; ++a) {
                    const float* nrm = s.FlatShading ? (m->polygonNormals ? m->polygonNormals + 3 * size_t(p) : nullptr)
                                                     : (m->vertexNormals ? m->vertexNormals + 3 * size_t(v[a]) : nullptr);
                    float d = nrm ? std::fabs(nrm[0] * D[0] + nrm[1] * D[1] + nrm[2] * D[2]) : 1.0f;
                    r.Light[a] = d > 1.0f ? 1.0f : d;
                }
            }
            float uvw1[3], uvw2[3];
            TiledUV(&s.Viewport, uvw1, m->resolvedVertices + 3 * size_t(v[1]), c, v[1]);
            TiledUV(&s.Viewport, uvw2, m->resolvedVertices + 3 * size_t(v[2]), c, v[2]);
            r.AssignUVs2(uvw0, uvw1, uvw2);
            if (s.ShowSelection)
                KSN_RenderBrushTileTexture_Triangle_Software_BakeInGrid(&r);
            else
                KSN_RenderBrushTileTexture_Triangle_Software(&r);
        }
    }
}
