// Small scenes for the renderer tests: real objects with real meshes and
// materials, served to the renderer through the project hooks.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Renderer4.h"
#include "KSN_RendererHooks.h"
#include "KSN_Viewport.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace RenderTest {

inline std::vector<TKSN_Object*> g_Objects;

struct TPoly {
    std::vector<int> Corners;
};

// An object whose mesh has the given vertices (3 floats each), texture
// vertices (one per vertex, 2 floats each, may be empty) and polygons (texture
// vertex = vertex), all of material 0.
inline std::unique_ptr<TKSN_Object> MakeObject(const std::vector<float>& xyz, const std::vector<float>& uv,
                                               const std::vector<TPoly>& polys)
{
    auto object = std::make_unique<TKSN_Object>();
    object->Mesh = std::make_unique<TKSN_Mesh>(object.get());
    TKSN_Mesh* m = object->Mesh.get();
    const int nv = int(xyz.size() / 3), ntv = int(uv.size() / 2);
    m->Create(nv, ntv, nv, int(polys.size()));
    for (int v = 0; v < nv; ++v) {
        for (int a = 0; a < 3; ++a) m->baseVertices[3 * v + a] = xyz[3 * v + a];
        m->VertexInfo[v].Flags = 0;
        m->VertexInfo[v].Select = 0.0f;
    }
    for (int t = 0; t < ntv; ++t) {
        m->tVertices[2 * t] = uv[2 * t];
        m->tVertices[2 * t + 1] = uv[2 * t + 1];
    }
    m->CopyBaseVerticesToResolvedVertices();
    for (size_t p = 0; p < polys.size(); ++p) {
        const auto& c = polys[p].Corners;
        m->Polygons[p].SetCount(unsigned(c.size()));
        for (size_t k = 0; k < c.size(); ++k) m->Polygons[p].Points[k] = {c[k], ntv > 0 ? c[k] : -1};
        m->Polygons[p].Material = 0;
        m->Polygons[p].Select = 0.0f;
        m->PolygonFlags[p] = 0;
    }
    TQORMaterial* material = KSN_NewMaterial("Material");
    material->CacheChannels();
    m->Materials->AddItem(material);
    m->BuildVertexPolygons();
    m->CalculateOpenEdges();
    m->RecalculateNormals(false);
    m->CalculateBounds();
    return object;
}

// A square of side 2·h centred at (cx, cy) in plane z, facing +z, UVs 0..1.
inline std::unique_ptr<TKSN_Object> MakeSquare(float cx, float cy, float h, float z = 0.0f)
{
    return MakeObject({cx - h, cy - h, z, cx + h, cy - h, z, cx + h, cy + h, z, cx - h, cy + h, z},
                      {0, 0, 1, 0, 1, 1, 0, 1}, {{{0, 1, 2, 3}}});
}

// The project hooks of a test scene: g_Objects as the object list and the
// box −1..1 as the displayed bounds.
inline void InstallSceneHooks()
{
    TKSN_ViewportProjectHooks viewport;
    viewport.GetObjectList = [] { return g_Objects; };
    KSN_SetViewportProjectHooks(viewport);
    TKSN_RendererProjectHooks hooks;
    hooks.GetDisplayBoundingBox = [](TKSN_Viewport*, float* min, float* max) {
        for (int a = 0; a < 3; ++a) {
            min[a] = -1.0f;
            max[a] = 1.0f;
        }
    };
    KSN_SetRendererProjectHooks(hooks);
}

inline void RemoveSceneHooks()
{
    KSN_SetViewportProjectHooks({});
    KSN_SetRendererProjectHooks({});
    g_Objects.clear();
}

// Object space -> software pixel position, as the views map it.
inline void ToPixel(const TKSN_RenderSetup& s, const float* p, float* out)
{
    const float* M = s.Viewport.CombinedMatrix;
    const float x = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
    const float y = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
    out[0] = (x + 1.0f) * 0.5f * float(s.RenderedImage.GetWidth());
    out[1] = (y + 1.0f) * 0.5f * float(s.RenderedImage.GetHeight());
}

} // namespace RenderTest
