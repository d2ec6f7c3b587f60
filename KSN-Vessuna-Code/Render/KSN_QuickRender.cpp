// The quick render: the node view of view mode 7, its transparent-fragment
// pools and depth buckets, the specular table, and the view-dependent quad
// subdivision with displacement and flat shading of each final quad.
//
// Index: [SECTION] Frame state; Node view; Sampling and byte arithmetic;
// Subdivision; Shading.
#include "KSN_QuickRender.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_Renderer4.h"
#include "KSN_Renderer4_Internal.h"
#include "QORGL.h"
#include "QORLookupTables.h"
#include "QORMemory.h"
#include "QORPolyMesh.h"

// [SECTION] Frame state

bool QuickRender_UseLighting = true;
bool QuickRender_MixColors = false;
TKSN_QuadFragment* TransparentQuads[KSN_TransparentQuadBuckets] = {};
int32_t TransparentQuads_MinIndexUsed = 0;
int32_t TransparentQuads_MaxIndexUsed = -1;
TQORNewStaticList<TKSN_QuadFragment*> QuadFragmentPools(1);
TKSN_QuadFragment* cQuadFragmentPool = nullptr;
int32_t cQuadFragmentIndex = -1;
int32_t cQuadFragmentPoolIndex = -1;
uint8_t* ucSpecularTable = nullptr;

namespace {

TKSN_QuadFragment* NewPool()
{
    auto* pool = static_cast<TKSN_QuadFragment*>(QORalloc(uint64_t(KSN_QuadFragmentPoolSize) * sizeof(TKSN_QuadFragment)));
    QuadFragmentPools.Add(pool);
    return pool;
}

} // namespace

void QuickRender_Init()
{
    TransparentQuads_MinIndexUsed = KSN_TransparentQuadBuckets;
    TransparentQuads_MaxIndexUsed = 0;
    if (QuadFragmentPools.IsEmpty()) NewPool();
    cQuadFragmentPool = QuadFragmentPools[0];
    cQuadFragmentIndex = 0;
    cQuadFragmentPoolIndex = 0;
    std::fill(std::begin(TransparentQuads), std::end(TransparentQuads), nullptr);
}

TKSN_QuadFragment* QuickRender_TakeFragment()
{
    if (!cQuadFragmentPool) QuickRender_Init();
    if (cQuadFragmentIndex > KSN_QuadFragmentPoolSize - 1) {
        ++cQuadFragmentPoolIndex;
        cQuadFragmentPool = cQuadFragmentPoolIndex < QuadFragmentPools.Count() ? QuadFragmentPools[cQuadFragmentPoolIndex]
                                                                              : NewPool();
        cQuadFragmentIndex = 0;
    }
    return &cQuadFragmentPool[cQuadFragmentIndex++];
}

void QuickRender_PostRender()
{
    if (TransparentQuads_MinIndexUsed > TransparentQuads_MaxIndexUsed) return;
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_QUADS);
    for (int b = TransparentQuads_MinIndexUsed; b <= TransparentQuads_MaxIndexUsed; ++b)
        for (TKSN_QuadFragment* f = TransparentQuads[b]; f; f = f->Next) {
            glColor4ubv(f->Color);
            for (const float* v : f->Vertices) glVertex3fv(v);
        }
    glEnd();
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

void QuickRender_Clean()
{
    for (int i = 0; i < QuadFragmentPools.Count(); ++i) QORfree(QuadFragmentPools[i]);
    cQuadFragmentPool = nullptr;
    QuadFragmentPools.Clear();
}

void Create_ucSpecularTable()
{
    if (ucSpecularTable) return;
    ucSpecularTable = static_cast<uint8_t*>(QORalloc(65536));
    std::memset(ucSpecularTable, 0, 65536);
    for (int r = 1; r < 256; ++r) {
        const float f = float(r) / 255.0f;
        const float e = 1.0f / (f * f);
        for (int c = 0; c < 256; ++c) {
            const float v = float(255.0 * std::pow(double(c) / 255.0, double(e)));
            ucSpecularTable[r * 256 + c] = v > 255.0f ? 255 : (v < 0.0f ? 0 : uint8_t(v));
        }
    }
}

// [SECTION] Node view

namespace {

void SetupSlotsForMaterial(TKSN_QuickRenderData& data, TKSN_MeshRoot* m, int materialIndex,
                           const TKSN_QuickRenderSettings& settings, float stepScale, bool interaction)
{
    data.ClearMaps();
    TQORMaterial* material = m->GetMaterial(materialIndex);
    if (!material) return;
    const bool lit = QuickRender_UseLighting;
    auto fill = [&](int slot, bool on) {
        if (on) KSN_FillQuickRenderSlot(*data.TextureSlots[slot], material, slot, stepScale);
    };
    fill(KSN_QR_SLOT_DISPLACEMENT, settings.RenderDisplacementMaps);
    if (settings.RenderDisplacementMaps) {
        TKSN_QuickRenderDataTextureData& d = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
        d.Scale = m->boundsDiagonal * d.Strength * settings.GlobalDisplacementStrength;
    }
    fill(KSN_QR_SLOT_BUMP, settings.RenderBumpMaps && lit);
    if (settings.RenderBumpMaps && lit) {
        TKSN_QuickRenderDataTextureData& b = *data.TextureSlots[KSN_QR_SLOT_BUMP];
        b.Scale = 0.05f * b.Strength * settings.GlobalBumpStrength;
    }
    fill(KSN_QR_SLOT_COLOR, settings.RenderColorMaps);
    fill(KSN_QR_SLOT_SPECULAR, settings.RenderSpecularMaps && lit);
    fill(KSN_QR_SLOT_AMBIENT, settings.RenderAmbientMaps && lit);
    fill(KSN_QR_SLOT_TRANSPARENCY, settings.RenderTransparencyMaps);
    if (interaction)
        for (TKSN_QuickRenderDataTextureData* slot : data.TextureSlots) {
            slot->TexelStepU *= 2.0f;
            slot->TexelStepV *= 2.0f;
        }
}

const float ZeroUV[2] = {0.0f, 0.0f};

} // namespace

float KSN_QuickRenderSplitThreshold(int viewportWidth, int viewportHeight, float quality)
{
    const int m = std::max(viewportWidth, viewportHeight);
    const int range = m > 1024 ? 924 : (m >= 100 ? m - 100 : 0);
    const int N = int(quality * float(range) + 100.0f);
    const float s = 2.0f / float(N) + 2.0f / float(N);
    return s * s;
}

void TKSN_Renderer4::DrawOctreeNode_QuickRender_GL(TQOROctreeNode<int>* node)
{
    TKSN_MeshRoot* m = node->Owner;
    if (!m) return;
    TKSN_QuickRenderData data;
    data.Init();
    // Quick render draws base meshes only: a subdivision level is skipped.
    if (static_cast<TKSN_MeshRoot*>(m->GetOwnerMesh()) != m) return;
    TKSN_Viewport& v = Setup->Viewport;
    QuickRender_UseLighting = (v.layer.DisplayFlags & TKSN_Layer::UseLighting) != 0;
    const TKSN_RendererProjectHooks& hooks = KSN_GetRendererProjectHooks();
    TKSN_QuickRenderSettings settings;
    if (hooks.GetQuickRenderSettings) hooks.GetQuickRenderSettings(settings);
    QuickRender_MixColors = settings.RenderMixColors;
    const bool interaction = hooks.IsInteractionInProgress && hooks.IsInteractionInProgress();
    const float q = interaction ? 0.0f : settings.RenderQuality;
    const float stepScale = interaction ? 1.0f : 1.0f - 0.8f * q;
    data.SplitThreshold = KSN_QuickRenderSplitThreshold(v.WindowWidth, v.WindowHeight, q);
    const float z = v.GetZoomFactor();
    data.InvZoomSquared = 1.0f / (z * z);
    std::memcpy(data.Matrix, v.CombinedMatrix, sizeof(data.Matrix));
    std::memcpy(data.ViewDirection, v.ViewVector, sizeof(data.ViewDirection));
    data.CullBackFaces = Setup->BackfaceCull;
    data.MinEdgeSquared = 0.0064f;
    if (!m->displacementDeltas) return;

    auto* polyMesh = dynamic_cast<TQORPolyMesh*>(m);
    glBegin(GL_QUADS);
    int previousMaterial = 0;
    bool first = true;
    const TNodePolygons list = KSN_NodePolygons(m, node);
    for (int k = list.Begin; k < list.End; ++k) {
        const int p = list.At(k), n = m->vGetPolyN(p);
        if (n < 3 || !KSN_PolygonIsValid(m, p, n)) continue;
        const int material = m->vGetPolyM(p);
        if (first || material != previousMaterial) {
            SetupSlotsForMaterial(data, m, material, settings, stepScale, interaction);
            previousMaterial = material;
            first = false;
        }
        for (int t = 3; t <= n; t += 2) {
            const bool last = t + 2 > n;
            const int corners[4] = {0, t - 2, t - 1, t == n ? t - 1 : t};
            float* P[4];
            float* N[4];
            float* UV[4];
            float deltaStore[4][3];
            float* D[4];
            int vt[4], vx[4];
            float viewStore[4][3];
            float* view[4];
            for (int c = 0; c < 4; ++c) {
                const int vi = m->vGetPolyV(p, corners[c]);
                vx[c] = vi;
                P[c] = m->resolvedVertices + 3 * size_t(vi);
                N[c] = m->vertexNormals + 3 * size_t(vi);
                vt[c] = m->vGetPolyVT(p, corners[c]);
                UV[c] = vt[c] >= 0 && vt[c] < m->tVertexCount ? m->tVertices + 2 * size_t(vt[c]) : const_cast<float*>(ZeroUV);
                std::memcpy(deltaStore[c], m->displacementDeltas + 3 * size_t(vi), sizeof(deltaStore[c]));
                D[c] = deltaStore[c];
                view[c] = viewStore[c];
                float pd[3] = {P[c][0] + D[c][0], P[c][1] + D[c][1], P[c][2] + D[c][2]};
                const float* M = data.Matrix;
                view[c][0] = M[0] * pd[0] + M[4] * pd[1] + M[8] * pd[2] + M[12];
                view[c][1] = M[1] * pd[0] + M[5] * pd[1] + M[9] * pd[2] + M[13];
                view[c][2] = M[2] * pd[0] + M[6] * pd[1] + M[10] * pd[2] + M[14];
            }
            // Seam pairs: the texture vertices across a UV seam of each edge.
            float* seams[8];
            float seamStore[8][2];
            for (int e = 0; e < 4; ++e) {
                const int a = e, b = (e + 1) % 4;
                seams[2 * e] = UV[a];
                seams[2 * e + 1] = UV[b];
                if (e == 3 && !last) continue;   // the fan's interior diagonal
                if (!polyMesh || vx[a] == vx[b] || vt[a] < 0 || vt[b] < 0) continue;
                const int lo = std::min(vx[a], vx[b]), hi = std::max(vx[a], vx[b]);
                if (lo + 1 >= int(polyMesh->EdgeRowStart.size())) continue;
                for (int32_t k = polyMesh->EdgeRowStart[size_t(lo)]; k < polyMesh->EdgeRowStart[size_t(lo) + 1]; ++k) {
                    const TQORPolygonEdge& edge = polyMesh->Edges[size_t(k)];
                    if (edge.V2 != hi) continue;
                    int oa = -1, ob = -1;
                    edge.GetOppositeVTs(oa, ob, vx[a], vx[b], vt[a], vt[b]);
                    if (oa < 0 || ob < 0 || oa >= m->tVertexCount || ob >= m->tVertexCount) break;
                    const float* ua = m->tVertices + 2 * size_t(oa);
                    const float* ub = m->tVertices + 2 * size_t(ob);
                    auto differs = [](const float* x, const float* y) {
                        return std::fabs(x[0] - y[0]) >= 1e-8f || std::fabs(x[1] - y[1]) >= 1e-8f;
                    };
                    if (differs(ua, UV[a]) || differs(ub, UV[b])) {
                        std::memcpy(seamStore[2 * e], ua, 8);
                        std::memcpy(seamStore[2 * e + 1], ub, 8);
                        seams[2 * e] = seamStore[2 * e];
                        seams[2 * e + 1] = seamStore[2 * e + 1];
                    }
                    break;
                }
            }
            if (data.CullBackFaces && !data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT]->HasMap()) {
                const float A1 = (view[1][0] - view[0][0]) * (view[2][1] - view[0][1]) -
                                 (view[1][1] - view[0][1]) * (view[2][0] - view[0][0]);
                const float A2 = (view[2][0] - view[0][0]) * (view[3][1] - view[0][1]) -
                                 (view[3][0] - view[0][0]) * (view[2][1] - view[0][1]);
                const bool triangle = P[2] == P[3];
                if (A1 < 1e-30f && (triangle || A2 < 1e-30f)) continue;
            }
            float** pp = P;
            float** dd = D;
            float** nn = N;
            float** uu = UV;
            float** ss = seams;
            DynamicallySubdividedQuad2(data, pp, dd, nn, uu, ss, view, 0);
        }
    }
    glEnd();
}

// [SECTION] Sampling and byte arithmetic

namespace {

struct TAxis {
    int i0, i1;
    float f;
};

TAxis ClampAxis(float x, int size)
{
    TAxis a{0, 0, 0.0f};
    if (x > float(size - 1)) {
        a.i0 = size - 1;
    } else if (x < 0.0f || !(x == x)) {
        a.i0 = 0;
    } else {
        a.i0 = int(x);
        a.f = x - float(a.i0);
    }
    a.i1 = std::min(a.i0 + 1, size - 1);
    return a;
}

float Bilinear(const TKSN_QuickRenderDataTextureData& s, float x, float y, int c)
{
    const TAxis u = ClampAxis(x, s.Width), v = ClampAxis(y, s.Height);
    auto at = [&](int i, int j) { return float(s.Pixels[(size_t(j) * size_t(s.Width) + size_t(i)) * 3 + c]); };
    return (at(u.i0, v.i0) * (1 - u.f) + at(u.i1, v.i0) * u.f) * (1 - v.f) +
           (at(u.i0, v.i1) * (1 - u.f) + at(u.i1, v.i1) * u.f) * v.f;
}

int HeightByte(const TKSN_QuickRenderDataTextureData& s, float x, float y) { return int(Bilinear(s, x, y, 0)) & 0xff; }

float ByteToFloat(int b) { return UCCharToFloatTable ? UCCharToFloatTable[b] : float(b) / 255.0f; }

float HeightAtUV(const TKSN_QuickRenderDataTextureData& s, const float* uv)
{
    return ByteToFloat(HeightByte(s, float(s.Width) * uv[0] - 0.5f, float(s.Height) * uv[1] - 0.5f));
}

// The colour of a slot at a UV: its map sample, or its Color without a map.
void SlotColor(const TKSN_QuickRenderDataTextureData& s, float uc, float vc, int* out)
{
    if (!s.HasMap()) {
        for (int c = 0; c < 3; ++c) out[c] = s.Color[c];
        return;
    }
    const float x = float(s.Width) * uc - 0.5f, y = float(s.Height) * vc - 0.5f;
    for (int c = 0; c < 3; ++c) out[c] = int(Bilinear(s, x, y, c));
}

// floor(a × b / 255) for bytes a, b.
int Mul255(int a, int b)
{
    const int p = a * b;
    return DivideBy255Table ? DivideBy255Table[QORDivideBy255TableOffset + p] : p / 255;
}

float FastInvSqrt(float x)
{
    int32_t bits;
    std::memcpy(&bits, &x, 4);
    bits = 0x5F3759DF - (bits >> 1);
    float y;
    std::memcpy(&y, &bits, 4);
    return y * (1.5f - 0.5f * x * y * y);
}

void Normalize(float* v)
{
    const float l = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (!(l > 0.0f)) return;
    const float y = FastInvSqrt(l);
    for (int k = 0; k < 3; ++k) v[k] *= y;
}

void Transform(const float* M, const float* p, float* out)
{
    out[0] = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
    out[1] = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
    out[2] = M[2] * p[0] + M[6] * p[1] + M[10] * p[2] + M[14];
}

bool Coarser(const TKSN_QuickRenderDataTextureData& s, float du, float dv)
{
    return s.HasMap() && (du > s.TexelStepU || dv > s.TexelStepV);
}

} // namespace

// [SECTION] Subdivision

void DynamicallySubdividedQuad2(TKSN_QuickRenderData& data, float**& positions, float**& deltas, float**& normals,
                                float**& uvs, float**& seams, float** view, int level)
{
    float** P = positions;
    float** D = deltas;
    float minX = 1e30f, maxX = -1e30f, minY = 1e30f, maxY = -1e30f;
    for (int k = 0; k < 4; ++k) {
        float pd[3] = {P[k][0], P[k][1], P[k][2]};
        if (D)
            for (int a = 0; a < 3; ++a) pd[a] += D[k][a];
        Transform(data.Matrix, pd, view[k]);
        minX = std::min(minX, view[k][0]);
        maxX = std::max(maxX, view[k][0]);
        minY = std::min(minY, view[k][1]);
        maxY = std::max(maxY, view[k][1]);
    }

    const TKSN_QuickRenderDataTextureData& color = *data.TextureSlots[KSN_QR_SLOT_COLOR];
    const TKSN_QuickRenderDataTextureData& bump = *data.TextureSlots[KSN_QR_SLOT_BUMP];
    const TKSN_QuickRenderDataTextureData& disp = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
    bool split[4] = {false, false, false, false};
    bool shortEdge = false, resample = false, anySplit = false;
    for (int k = 0; k < 4; ++k) {
        const int b = (k + 1) % 4;
        float s = 0.0f;
        for (int a = 0; a < 3; ++a) s += (P[k][a] - P[b][a]) * (P[k][a] - P[b][a]);
        s *= data.InvZoomSquared;
        if (s < data.MinEdgeSquared) shortEdge = true;
        if (!(s >= data.SplitThreshold)) continue;
        float du = std::fabs(uvs[k][0] - uvs[b][0]), dv = std::fabs(uvs[k][1] - uvs[b][1]);
        if (seams) {
            du = std::min(du, std::fabs(seams[2 * k][0] - seams[2 * k + 1][0]));
            dv = std::min(dv, std::fabs(seams[2 * k][1] - seams[2 * k + 1][1]));
        }
        const bool dispCoarser = Coarser(disp, du, dv);
        split[k] = Coarser(color, du, dv) || Coarser(bump, du, dv) || dispCoarser;
        if (split[k] && dispCoarser) resample = true;
        anySplit = anySplit || split[k];
    }

    const float X = (!shortEdge && anySplit) ? data.ViewBoundX : 1.0f;
    const float Y = (!shortEdge && anySplit) ? data.ViewBoundY : 1.0f;
    if (minX > X || maxX < -X || minY > Y || maxY < -Y) return;
    if (!anySplit || level >= data.MaxLevel) {
        RenderSubdividedQuadWithSubDs2(data, positions, deltas, normals, uvs, seams, view);
        return;
    }

    // New points: the centre (index 4) and the four midpoints (0..3).
    float np[5][3], nd[5][3], nn[5][3], nuv[5][2], sm[4][2];
    for (int a = 0; a < 3; ++a) {
        np[4][a] = nd[4][a] = nn[4][a] = 0.0f;
        for (int k = 0; k < 4; ++k) {
            np[4][a] += 0.25f * P[k][a];
            nd[4][a] += D ? 0.25f * D[k][a] : 0.0f;
            nn[4][a] += 0.25f * normals[k][a];
        }
    }
    nuv[4][0] = 0.25f * (uvs[0][0] + uvs[1][0] + uvs[2][0] + uvs[3][0]);
    nuv[4][1] = 0.25f * (uvs[0][1] + uvs[1][1] + uvs[2][1] + uvs[3][1]);
    for (int k = 0; k < 4; ++k) {
        const int b = (k + 1) % 4;
        for (int a = 0; a < 3; ++a) {
            np[k][a] = 0.5f * (P[k][a] + P[b][a]);
            nd[k][a] = D ? 0.5f * (D[k][a] + D[b][a]) : 0.0f;
            nn[k][a] = 0.5f * (normals[k][a] + normals[b][a]);
        }
        for (int a = 0; a < 2; ++a) {
            nuv[k][a] = 0.5f * (uvs[k][a] + uvs[b][a]);
            if (seams) sm[k][a] = 0.5f * (seams[2 * k][a] + seams[2 * k + 1][a]);
        }
    }
    if (resample) {
        const float S = disp.Scale, O = disp.Offset;
        for (int k = 0; k < 4; ++k) {
            float d = (HeightAtUV(disp, nuv[k]) - O) * S;
            if (seams) d = (HeightAtUV(disp, nuv[k]) - O) * S / 2 + (HeightAtUV(disp, sm[k]) - O) * S / 2;
            for (int a = 0; a < 3; ++a) nd[k][a] = d * nn[k][a];
        }
        const float d = (HeightAtUV(disp, nuv[4]) - O) * S;
        for (int a = 0; a < 3; ++a) nd[4][a] = d * nn[4][a];
    }

    float zeroDelta[3] = {0, 0, 0};
    // Ring points 0..7: even = corner r / 2, odd = midpoint (r - 1) / 2.
    auto active = [&](int r) { return r % 2 == 0 || split[(r - 1) / 2]; };
    auto nextActive = [&](int r) {
        do r = (r + 1) % 8;
        while (!active(r));
        return r;
    };
    auto ringP = [&](int r) { return r % 2 == 0 ? P[r / 2] : np[(r - 1) / 2]; };
    auto ringD = [&](int r) { return r % 2 == 0 ? (D ? D[r / 2] : zeroDelta) : nd[(r - 1) / 2]; };
    auto ringN = [&](int r) { return r % 2 == 0 ? normals[r / 2] : nn[(r - 1) / 2]; };
    auto ringUV = [&](int r) { return r % 2 == 0 ? uvs[r / 2] : nuv[(r - 1) / 2]; };
    // Seam coordinate of the half-edge leaving / entering ring point r.
    auto leave = [&](int r) { return r % 2 == 0 ? seams[2 * (r / 2)] : sm[(r - 1) / 2]; };
    auto enter = [&](int r) { return r % 2 == 0 ? seams[2 * ((r / 2 + 3) % 4) + 1] : sm[(r - 1) / 2]; };

    const int start = (split[0] && split[3]) ? 7 : (split[0] ? 1 : split[1] ? 3 : split[2] ? 5 : 7);
    int cur = start;
    for (;;) {
        int next = nextActive(cur);
        int after;
        bool end = false;
        if (next == start) {
            after = start;
            end = true;
        } else {
            after = nextActive(next);
            end = after == start;
        }
        const int ring[3] = {cur, next, after};
        float* cP[4] = {np[4], ringP(ring[0]), ringP(ring[1]), ringP(ring[2])};
        float* cD[4] = {nd[4], ringD(ring[0]), ringD(ring[1]), ringD(ring[2])};
        float* cN[4] = {nn[4], ringN(ring[0]), ringN(ring[1]), ringN(ring[2])};
        float* cUV[4] = {nuv[4], ringUV(ring[0]), ringUV(ring[1]), ringUV(ring[2])};
        float* cS[8];
        float** childSeams = nullptr;
        if (seams) {
            cS[0] = cUV[0];
            cS[1] = cUV[1];
            cS[2] = leave(ring[0]);
            cS[3] = enter(ring[1]);
            if (ring[1] == ring[2]) {
                cS[4] = cUV[2];
                cS[5] = cUV[3];
            } else {
                cS[4] = leave(ring[1]);
                cS[5] = enter(ring[2]);
            }
            cS[6] = cUV[3];
            cS[7] = cUV[0];
            auto same = [](const float* x, const float* y) {
                return std::fabs(x[0] - y[0]) < 1e-8f && std::fabs(x[1] - y[1]) < 1e-8f;
            };
            const bool onSeam = !(same(cS[2], cUV[1]) && same(cS[3], cUV[2]) && same(cS[4], cUV[2]) && same(cS[5], cUV[3]));
            if (onSeam) childSeams = cS;
        }
        float childView[4][3];
        float* cV[4] = {childView[0], childView[1], childView[2], childView[3]};
        float** p = cP;
        float** d = cD;
        float** n = cN;
        float** u = cUV;
        DynamicallySubdividedQuad2(data, p, d, n, u, childSeams, cV, level + 1);
        if (end) break;
        cur = after;
    }
}

// [SECTION] Shading

void RenderSubdividedQuadWithSubDs2(TKSN_QuickRenderData& data, float**& positions, float**& deltas, float**&,
                                    float**& uvs, float**&, float**& view)
{
    if (!ucSpecularTable) Create_ucSpecularTable();
    const bool triangle = positions[2] == positions[3];
    const float w = triangle ? 1.0f / 3.0f : 0.25f;
    const int count = triangle ? 3 : 4;
    float P[4][3];
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a) P[k][a] = positions[k][a] + (deltas ? deltas[k][a] : 0.0f);
    float Z = 0.0f;
    for (int k = 0; k < count; ++k) Z += view[k][2];
    Z *= w;

    auto cross = [](const float* a, const float* b, const float* c, float* out) {
        const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        out[0] = u[1] * v[2] - u[2] * v[1];
        out[1] = u[2] * v[0] - u[0] * v[2];
        out[2] = u[0] * v[1] - u[1] * v[0];
    };
    auto dot = [](const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    float N[3], N2[3];
    cross(P[0], P[1], P[2], N);
    const bool back1 = data.CullBackFaces && dot(N, data.ViewDirection) < 0.0f;
    bool back2 = data.CullBackFaces;
    if (!triangle) {
        cross(P[0], P[2], P[3], N2);
        back2 = data.CullBackFaces && dot(N2, data.ViewDirection) < 0.0f;
        for (int a = 0; a < 3; ++a) N[a] += N2[a];
    }
    Normalize(N);
    if (back1 && back2) return;

    float uc = 0.0f, vc = 0.0f;
    for (int k = 0; k < count; ++k) {
        uc += uvs[k][0];
        vc += uvs[k][1];
    }
    uc *= w;
    vc *= w;

    const TKSN_QuickRenderDataTextureData& bump = *data.TextureSlots[KSN_QR_SLOT_BUMP];
    if (bump.HasMap()) {
        float h[4], avg = 0.0f, Pc[3] = {0, 0, 0};
        for (int k = 0; k < count; ++k) {
            float e[2] = {uvs[k][0] - uc, uvs[k][1] - vc};
            const float l = e[0] * e[0] + e[1] * e[1];
            if (l > 0.0f) {
                const float y = FastInvSqrt(l);
                e[0] *= y;
                e[1] *= y;
            }
            h[k] = bump.Scale * ByteToFloat(HeightByte(bump, float(bump.Width) * uc + e[0] - 0.5f,
                                                       float(bump.Height) * vc + e[1] - 0.5f));
            avg += h[k];
            for (int a = 0; a < 3; ++a) Pc[a] += P[k][a];
        }
        avg *= w;
        for (float& c : Pc) c *= w;
        for (int k = 0; k < count; ++k) {
            float d[3] = {Pc[0] - P[k][0], Pc[1] - P[k][1], Pc[2] - P[k][2]};
            Normalize(d);
            for (int a = 0; a < 3; ++a) N[a] += d[a] * (h[k] - avg) * 100.0f;
        }
        Normalize(N);
    }

    const TKSN_QuickRenderDataTextureData& colorSlot = *data.TextureSlots[KSN_QR_SLOT_COLOR];
    int base[3], ambient[3], specular[3];
    SlotColor(colorSlot, uc, vc, base);
    SlotColor(*data.TextureSlots[KSN_QR_SLOT_AMBIENT], uc, vc, ambient);
    SlotColor(*data.TextureSlots[KSN_QR_SLOT_SPECULAR], uc, vc, specular);

    const TKSN_QuickRenderDataTextureData& tr = *data.TextureSlots[KSN_QR_SLOT_TRANSPARENCY];
    int A = 255 - tr.StrengthByte;
    if (tr.HasMap()) {
        const int t = HeightByte(tr, float(tr.Width) * uc - 0.5f, float(tr.Height) * vc - 0.5f);
        A = 255 - Mul255(255 - t, tr.StrengthByte);
    }
    if (colorSlot.HasMap() && QuickRender_MixColors)
        for (int c = 0; c < 3; ++c) base[c] = Mul255(base[c], colorSlot.Color[c]);

    int L = 255;
    if (QuickRender_UseLighting) {
        const int i = int(std::fabs(dot(N, data.ViewDirection)) * 255.0f) & 0xff;
        L = 255 - Mul255(A, 255 - i);
    }
    uint8_t out[3];
    for (int c = 0; c < 3; ++c) {
        int v = Mul255(std::min(L + ambient[c], 255), base[c]);
        if (QuickRender_UseLighting) {
            const int s = ucSpecularTable[20 * 256 + L];
            v = std::min(255, std::max(v, ambient[c]) + Mul255(specular[c], s));
        }
        out[c] = uint8_t(v);
    }

    if (A == 255) {
        glColor3ub(out[0], out[1], out[2]);
        glNormal3fv(N);
        for (const float* p : P) glVertex3f(p[0], p[1], p[2]);
        return;
    }
    int b = int((1.0f - Z) * 0.5f * float(KSN_TransparentQuadBuckets));
    b = std::clamp(b, 0, KSN_TransparentQuadBuckets - 1);
    TransparentQuads_MinIndexUsed = std::min(TransparentQuads_MinIndexUsed, b);
    TransparentQuads_MaxIndexUsed = std::max(TransparentQuads_MaxIndexUsed, b);
    TKSN_QuadFragment* f = QuickRender_TakeFragment();
    f->Color[0] = out[0];
    f->Color[1] = out[1];
    f->Color[2] = out[2];
    f->Color[3] = uint8_t(A);
    std::memcpy(f->Vertices, P, sizeof(P));
    f->Next = TransparentQuads[b];
    TransparentQuads[b] = f;
}
