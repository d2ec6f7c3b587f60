// The OpenGL node views: simple grey, layer colours, material colours, hot
// selection, current map channel, picture meshes and the wireframe and vertex
// overlays. Each sends one node's polygons with immediate-mode OpenGL (and so
// into the node's display list while it is being compiled).
#include <cmath>

#include "KSN_Application.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_MapLayer.h"
#include "KSN_Renderer4.h"
#include "KSN_Renderer4_Internal.h"
#include "KSN_RendererUtils.h"
#include "OS.h"
#include "QORGL.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace {

const float SelectionViewBlankColorB[3] = {0.4f, 0.4f, 0.75f};
const float SimpleGreyColor[3] = {0.7f, 0.7f, 0.8f};
const float NoMapColor[3] = {190.0f / 255.0f, 190.0f / 255.0f, 243.0f / 255.0f};

GLenum PrimitiveOf(int corners) { return corners == 3 ? GL_TRIANGLES : corners == 4 ? GL_QUADS : GL_POLYGON; }

// One primitive per polygon; the first polygon continues the GL_QUADS the
// node began when it is a quad.
class TPrimitives {
public:
    void BeginNode()
    {
        glBegin(GL_QUADS);
        open = true;
        continueQuads = true;
    }
    void StartPolygon(int corners)
    {
        if (open && continueQuads && corners == 4) {
            continueQuads = false;
            return;
        }
        continueQuads = false;
        if (open) glEnd();
        glBegin(PrimitiveOf(corners));
        open = true;
    }
    // Ends the open primitive so that state outside glBegin can change.
    void Break()
    {
        if (open) glEnd();
        open = false;
        continueQuads = false;
    }
    void EndNode()
    {
        if (open) glEnd();
        open = false;
    }

private:
    bool open = false;
    bool continueQuads = false;
};

struct TSurfaceFrame {
    TKSN_MeshRoot* Mesh = nullptr;
    bool Symmetric = false;
    bool HasSelection = false;
    bool SelectionShading = false;
    int SelectionMode = 0;
};

TSurfaceFrame MakeFrame(TKSN_MeshRoot* m, const TKSN_RenderSetup& s)
{
    TSurfaceFrame f;
    f.Mesh = m;
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    f.Symmetric = hooks.DoUseSymmetry && hooks.DoUseSymmetry(m);
    f.HasSelection = m->GetSelectedVertexCount() > 0;
    const bool selecting = hooks.IsSelecting && hooks.IsSelecting();
    const bool flashing = hooks.DoFlashSelection && hooks.DoFlashSelection();
    f.SelectionShading = (s.ShowSelection && selecting) || flashing || f.HasSelection || f.Symmetric;
    f.SelectionMode = KSN_RendererSelectionMode();
    return f;
}

// fn(p, n) for every polygon of the node with at least minCorners corners that is fit to draw.
template <class Fn>
void ForEachDrawablePolygon(TKSN_MeshRoot* m, TQOROctreeNode<int>* node, int minCorners, Fn&& fn)
{
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (n < minCorners || !KSN_PolygonIsValid(m, p, n)) continue;
        fn(p, n);
    }
}

void Normal(const float* n, float k) { glNormal3f(n[0] * k, n[1] * k, n[2] * k); }

// The corners of one polygon with the normals of the common frame; withUV
// sends each corner's texture vertex first.
void SendCorners(const TSurfaceFrame& f, int p, int corners, bool flat, bool withUV)
{
    TKSN_MeshRoot* m = f.Mesh;
    const float mirror = KSN_MirrorFactor(m, f.Symmetric, p);
    const float* pn = m->polygonNormals ? m->polygonNormals + 3 * size_t(p) : nullptr;
    if (!f.SelectionShading && flat && pn) glNormal3fv(pn);
    for (int k = 0; k < corners; ++k) {
        const int v = m->vGetPolyV(p, k);
        const float* vn = m->vertexNormals ? m->vertexNormals + 3 * size_t(v) : nullptr;
        if (withUV) {
            const int vt = m->vGetPolyVT(p, k);
            if (vt >= 0 && vt < m->tVertexCount) glTexCoord2fv(m->tVertices + 2 * size_t(vt));
        }
        if (f.SelectionShading) {
            const float* base = flat ? pn : vn;
            float kf = mirror;
            if (f.HasSelection)
                kf *= 0.5f + 0.5f * (f.SelectionMode == 1 ? m->GetResolvedPSelect(p) : m->GetResolvedVSelect(v));
            if (base) Normal(base, kf);
        } else if (!flat && vn) {
            glNormal3fv(vn);
        }
        glVertex3fv(m->resolvedVertices + 3 * size_t(v));
    }
}

void BindMapTexture(TQORMaterialMapSource* source)
{
    float c1[3] = {0, 0, 0}, c2[3] = {0, 0, 0};
    if (App)
        for (int c = 0; c < 3; ++c) {
            c1[c] = App->textureGridColor1[c];
            c2[c] = App->textureGridColor2[c];
        }
    source->MakeThumbnail(c1, c2);
    const GLuint texture = source->GetPreviewTexture();
    if (texture) {
        glEnable(GL_TEXTURE_2D);
        QORglBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    } else {
        QORglBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
}

void SelectionColor(float w, float* out)
{
    static const float red[3] = {1, 0, 0}, yellow[3] = {1, 1, 0};
    const float* first = App ? App->warmSelectionColor : red;
    const float* second = App ? App->hotSelectionColor : yellow;
    for (int c = 0; c < 3; ++c)
        out[c] = w < 0.5f ? (1 - 2 * w) * SelectionViewBlankColorB[c] + 2 * w * first[c]
                          : (2 - 2 * w) * first[c] + (2 * w - 1) * second[c];
}

} // namespace

// [SECTION] Surface views

void TKSN_Renderer4::DrawOctreeNode_SimpleGrey_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m || !m->GetOwnerMesh()) return;
    const TSurfaceFrame f = MakeFrame(m, *Setup);
    glColor3fv(SimpleGreyColor);
    OS.DebugMessage("FFF- drawing octree node...");
    TPrimitives prim;
    prim.BeginNode();
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        prim.StartPolygon(n);
        SendCorners(f, p, n, Setup->FlatShading, false);
    });
    prim.EndNode();
}

void TKSN_Renderer4::DrawOctreeNode_LayerColors_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    const TSurfaceFrame f = MakeFrame(m, *Setup);
    glColor3f(1, 1, 1);
    TPrimitives prim;
    prim.BeginNode();
    bool first = true;
    uint32_t previous = 0;
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        const uint32_t mask = m->GetPolyLayerFlags(p);
        if (first || mask != previous) {
            if (TKSN_Layer* layer = ChoosePolygonLayer(m, p)) glColor3fv(layer->Color);
            previous = mask;
            first = false;
        }
        prim.StartPolygon(n);
        SendCorners(f, p, n, Setup->FlatShading, false);
    });
    prim.EndNode();
    glColor3f(1, 1, 1);
}

void TKSN_Renderer4::DrawOctreeNode_MaterialColors_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    const TSurfaceFrame f = MakeFrame(m, *Setup);
    glColor3f(1, 1, 1);
    TPrimitives prim;
    prim.BeginNode();
    int previous = -2;
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        const int material = m->vGetPolyM(p);
        if (material != previous) {
            previous = material;
            if (TQORMaterial* mat = m->GetMaterial(material))
                if (TQORMaterialChannel* color = mat->GetChannelFromName("Color")) glColor3fv(color->Color);
        }
        prim.StartPolygon(n);
        SendCorners(f, p, n, Setup->FlatShading, false);
    });
    prim.EndNode();
    glColor3f(1, 1, 1);
}

void TKSN_Renderer4::DrawOctreeNode_HotSelectionView_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TSurfaceFrame f = MakeFrame(m, *Setup);
    glColor3fv(SelectionViewBlankColorB);
    int lastSent = -10000;
    auto sendWeight = [&](float w) {
        const int t = int(255.0f * w);
        if (t == lastSent) return;
        lastSent = t;
        float c[3];
        SelectionColor(w, c);
        glColor3fv(c);
    };
    TPrimitives prim;
    prim.BeginNode();
    const bool flat = Setup->FlatShading;
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        prim.StartPolygon(n);
        const float mirror = KSN_MirrorFactor(m, f.Symmetric, p);
        if (flat && m->polygonNormals) Normal(m->polygonNormals + 3 * size_t(p), mirror);
        if (f.SelectionMode == 1) sendWeight(m->GetResolvedPSelect(p));
        for (int c = 0; c < n; ++c) {
            const int v = m->vGetPolyV(p, c);
            if (f.SelectionMode != 1) sendWeight(m->GetResolvedVSelect(v));
            if (!flat && m->vertexNormals) Normal(m->vertexNormals + 3 * size_t(v), mirror);
            glVertex3fv(m->resolvedVertices + 3 * size_t(v));
        }
    });
    prim.EndNode();
}

void TKSN_Renderer4::DrawOctreeNode_CurrentMapChannel_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    KSN_ResolveCurrentMapLayer();
    const TSurfaceFrame f = MakeFrame(m, *Setup);
    const bool hasUVs = m->tVertexCount > 0 && m->tVertices;
    if (!hasUVs && Setup->PaintTabActive)
        glColor3fv(NoMapColor);
    else
        glColor3f(1, 1, 1);
    TPrimitives prim;
    prim.BeginNode();
    bool textured = false;
    int previous = -2;
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        const int material = m->vGetPolyM(p);
        if (hasUVs && material != previous) {
            previous = material;
            prim.Break();
            glColor3f(1, 1, 1);
            textured = false;
            if (TQORMaterialMapSource* source = KSN_ChannelMapOfPolygon(&Setup->Viewport, m, p)) {
                BindMapTexture(source);
                textured = source->GetPreviewTexture() != 0;
            } else {
                if (Setup->PaintTabActive) glColor3fv(NoMapColor);
                glDisable(GL_TEXTURE_2D);
            }
        }
        prim.StartPolygon(n);
        SendCorners(f, p, n, Setup->FlatShading, textured);
    });
    prim.EndNode();
    glColor3f(1, 1, 1);
    glDisable(GL_TEXTURE_2D);
}

void TKSN_Renderer4::DrawOctreeNode_ColorTextureRender_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TKSN_Mesh* owner = m->GetOwnerMesh();
    glColor3f(1, 1, 1);
    glDisable(GL_TEXTURE_2D);
    TPrimitives prim;
    prim.BeginNode();
    int previous = -2;
    bool textured = false;
    const bool flat = Setup->FlatShading;
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        const int material = m->vGetPolyM(p);
        if (material != previous) {
            previous = material;
            TQORMaterial* mat = owner ? owner->GetMaterial(material) : nullptr;
            if (mat) {
                if (TQORMaterialChannel* specular = mat->GetChannelFromName("Specular")) {
                    const GLfloat s[4] = {specular->Color[0], specular->Color[1], specular->Color[2], 1.0f};
                    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, s);
                }
                if (TQORMaterialMapSource* source = KSN_ColorMapOfPolygon(&Setup->Viewport, m, p)) {
                    prim.Break();
                    BindMapTexture(source);
                    textured = source->GetPreviewTexture() != 0;
                } else {
                    glDisable(GL_TEXTURE_2D);
                    textured = false;
                }
            }
        }
        prim.StartPolygon(n);
        if (flat && m->polygonNormals) glNormal3fv(m->polygonNormals + 3 * size_t(p));
        for (int c = 0; c < n; ++c) {
            const int v = m->vGetPolyV(p, c), vt = m->vGetPolyVT(p, c);
            if (textured && vt >= 0 && vt < m->tVertexCount) glTexCoord2fv(m->tVertices + 2 * size_t(vt));
            if (!flat && m->vertexNormals) glNormal3fv(m->vertexNormals + 3 * size_t(v));
            glVertex3fv(m->resolvedVertices + 3 * size_t(v));
        }
    });
    prim.EndNode();
    glDisable(GL_TEXTURE_2D);
}

// [SECTION] Overlays

namespace {

struct TOverlayState {
    GLboolean Lighting, Culling, ColorMaterial, Depth;
    void Save()
    {
        Lighting = glIsEnabled(GL_LIGHTING);
        Culling = glIsEnabled(GL_CULL_FACE);
        ColorMaterial = glIsEnabled(GL_COLOR_MATERIAL);
        Depth = glIsEnabled(GL_DEPTH_TEST);
    }
    static void Set(GLenum cap, GLboolean on)
    {
        if (on)
            glEnable(cap);
        else
            glDisable(cap);
    }
    void Restore() const
    {
        Set(GL_LIGHTING, Lighting);
        Set(GL_CULL_FACE, Culling);
        Set(GL_COLOR_MATERIAL, ColorMaterial);
        Set(GL_DEPTH_TEST, Depth);
    }
};

void BeginOverlay(TOverlayState& state)
{
    state.Save();
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDepthFunc(GL_LEQUAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    float color[3] = {0, 0, 0};
    if (auto get = KSN_GetRendererProjectHooks().GetWireframeColor) get(color);
    glColor3fv(color);
    glDepthMask(GL_FALSE);
}

} // namespace

void TKSN_Renderer4::DrawOctreeNode_Wireframe_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TOverlayState state;
    BeginOverlay(state);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    TPrimitives prim;
    prim.BeginNode();
    ForEachDrawablePolygon(m, node, 3, [&](int p, int n) {
        prim.StartPolygon(n);
        if (m->polygonNormals) glNormal3fv(m->polygonNormals + 3 * size_t(p));
        for (int c = 0; c < n; ++c) glVertex3fv(m->resolvedVertices + 3 * size_t(m->vGetPolyV(p, c)));
    });
    prim.EndNode();
    glColor3f(1, 1, 1);
    glDepthMask(GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    state.Restore();
}

void TKSN_Renderer4::DrawOctreeNode_VertexOverlay_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TOverlayState state;
    BeginOverlay(state);
    glPointSize(3.0f);
    glBegin(GL_POINTS);
    ForEachDrawablePolygon(m, node, 1, [&](int p, int n) {
        if (m->polygonNormals) glNormal3fv(m->polygonNormals + 3 * size_t(p));
        for (int c = 0; c < n; ++c) glVertex3fv(m->resolvedVertices + 3 * size_t(m->vGetPolyV(p, c)));
    });
    glEnd();
    glDepthMask(GL_TRUE);
    glColor3f(1, 1, 1);
    state.Restore();
}
