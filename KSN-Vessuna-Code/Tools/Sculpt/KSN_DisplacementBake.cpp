// Displacement-map baking: the per-vertex distances, the grouping of the
// level's polygons by target map and the triangle rasteriser with its fringe.
#include "KSN_DisplacementBake.h"

#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_SubDMesh.h"
#include "KSN_Tool.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// [SECTION] Rasteriser

namespace {

float SegmentDistanceSquared(double px, double py, const double a[2], const double b[2])
{
    const double ex = b[0] - a[0], ey = b[1] - a[1];
    const double len2 = ex * ex + ey * ey;
    double t = len2 > 1e-30 ? ((px - a[0]) * ex + (py - a[1]) * ey) / len2 : ((px - a[0]) * ex + (py - a[1]) * ey) * 1e20;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = px - (a[0] + t * ex), dy = py - (a[1] + t * ey);
    return float(dx * dx + dy * dy);
}

constexpr float InteriorRank = 1024.0f;

unsigned char ToByte(float value)
{
    const float v = std::clamp(255.0f * value, 0.0f, 255.0f);
    return (unsigned char)(int(v));
}

} // namespace

void KSN_RasterizeDisplacementMapTriangle(const float points[3][3], const float colors[3][4], int width,
                                          int rowLength, int height, unsigned char* pixels, int bytesPerPixel,
                                          float* depth, bool fringe)
{
    if (!depth) QORThrowException("DepthBuffer == NULL and USE_DEPTH_BUFFER");
    if (!pixels || width <= 0 || height <= 0) return;

    // Shifted so that pixel (x, y) is sampled at its integer coordinates.
    double p[3][2];
    for (int c = 0; c < 3; ++c) {
        p[c][0] = double(points[c][0]) - 0.5;
        p[c][1] = double(points[c][1]) - 0.5;
    }
    const int grow = fringe ? 2 : 0;
    int x0 = int(std::min({p[0][0], p[1][0], p[2][0]})) - grow;
    int x1 = int(std::max({p[0][0], p[1][0], p[2][0]})) + 1 + grow;
    int y0 = int(std::min({p[0][1], p[1][1], p[2][1]})) - grow;
    int y1 = int(std::max({p[0][1], p[1][1], p[2][1]})) + 1 + grow;
    if (x1 < 0 || x0 > width - 1 || y1 < 0 || y0 > height - 1) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width - 1);
    y1 = std::min(y1, height - 1);

    double area = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]);
    const double invArea = std::fabs(area) > 1e-30 ? 1.0 / area : area;

    bool flat = true;
    for (int k = 0; k < 4 && flat; ++k)
        flat = std::fabs(colors[0][k] - colors[1][k]) < 1e-30f && std::fabs(colors[0][k] - colors[2][k]) < 1e-30f;
    const bool flatZ = std::fabs(points[0][2] - points[1][2]) < 1e-30f && std::fabs(points[0][2] - points[2][2]) < 1e-30f;

    for (int y = y0; y <= y1; ++y) {
        bool hadInside = false;
        for (int x = x0; x <= x1; ++x) {
            // Barycentric weights of corners 0 and 1 (signed sub-areas over the area).
            const double b0 =
                ((p[1][0] - x) * (p[2][1] - y) - (p[2][0] - x) * (p[1][1] - y)) * invArea;
            const double b1 =
                ((p[2][0] - x) * (p[0][1] - y) - (p[0][0] - x) * (p[2][1] - y)) * invArea;
            const double b2 = 1.0 - b0 - b1;
            const bool inside = b0 >= -0.0001 && b0 <= 1.0001 && b1 >= -0.0001 && b1 <= 1.0001 && b2 >= -0.0001 &&
                                b2 <= 1.0001;
            float priority;
            if (inside) {
                hadInside = true;
                const float w0 = std::clamp(float(b0), 0.0f, 1.0f), w1 = std::clamp(float(b1), 0.0f, 1.0f);
                const float w2 = 1.0f - w0 - w1;
                const float z = flatZ ? points[0][2] : w0 * points[0][2] + w1 * points[1][2] + w2 * points[2][2];
                // Interior pixels rank above every fringe priority (at most
                // 255): a neighbour's gutter must not overwrite a pixel with
                // values extrapolated past its own triangle.
                priority = InteriorRank + std::clamp(z, 0.0f, 1.0f);
                float* d = depth + size_t(y) * rowLength + x;
                if (*d > priority + (z <= 1.0f ? 1e-8f : 0.0f)) continue;
                *d = priority;
            } else {
                if (!fringe) {
                    if (hadInside) break;
                    continue;
                }
                const float dist2 = std::min({SegmentDistanceSquared(x, y, p[0], p[1]),
                                              SegmentDistanceSquared(x, y, p[1], p[2]),
                                              SegmentDistanceSquared(x, y, p[2], p[0])});
                if (dist2 > 4.0f) {
                    if (hadInside) break;
                    continue;
                }
                priority = float(int(255.0f / (dist2 + 1.0f)));
                float* d = depth + size_t(y) * rowLength + x;
                if (*d > priority) continue;
                *d = priority;
            }
            const float w0 = std::clamp(float(b0), 0.0f, 1.0f), w1 = std::clamp(float(b1), 0.0f, 1.0f);
            const float w2 = 1.0f - w0 - w1;
            unsigned char* out = pixels + (size_t(y) * rowLength + x) * bytesPerPixel;
            for (int k = 0; k < 3 && k < bytesPerPixel; ++k)
                out[k] = ToByte(flat ? colors[0][k] : w0 * colors[0][k] + w1 * colors[1][k] + w2 * colors[2][k]);
        }
    }
}

// [SECTION] Bake

float KSN_ComputeScaledDisplacements(TKSN_MeshRoot* level, float* out)
{
    const int n = level->GetVCount();
    const float* B = level->baseVertices;
    const float* R = level->resolvedVertices;
    const float* N = level->vertexNormals;
    float m = 0.0f;
    for (int i = 0; i < n; ++i) {
        float d = 0.0f;
        if (B && R && N) {
            const float dx = R[3 * i] - B[3 * i], dy = R[3 * i + 1] - B[3 * i + 1], dz = R[3 * i + 2] - B[3 * i + 2];
            if (dx * dx + dy * dy + dz * dz < 1e29f) {
                const float* nn = N + 3 * i;
                const float len = std::sqrt(nn[0] * nn[0] + nn[1] * nn[1] + nn[2] * nn[2]);
                const float inv = len > 1e-30f ? 1.0f / len : 1.0f;
                d = (dx * nn[0] + dy * nn[1] + dz * nn[2]) * inv;
            }
        }
        out[i] = d;
        m = std::max(m, std::fabs(d));
    }
    const float k = m > 1e-30f ? 0.5f / m : 0.5f;
    for (int i = 0; i < n; ++i) out[i] = std::clamp(0.5f + k * out[i], 0.0f, 1.0f);
    return m;
}

namespace {

TQORMaterialMapSource* DisplacementTarget(TKSN_Mesh* mesh, int materialIndex, TQORMaterialChannel** channel)
{
    *channel = nullptr;
    if (materialIndex < 0 || materialIndex >= mesh->GetMaterialCount()) return nullptr;
    TQORMaterial* material = mesh->GetMaterial(materialIndex);
    if (!material) return nullptr;
    TQORMaterialChannel* ch = material->GetChannelFromName("Displacement");
    if (!ch || ch->GetMapID() == 0) return nullptr;
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(ch->GetMapID()));
    TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
    if (!source || !source->GetPixels() || source->GetWidth() <= 0 || source->GetHeight() <= 0) return nullptr;
    *channel = ch;
    return source;
}

} // namespace

int BakeDisplacementMapsForMesh(TKSN_MeshRoot* level, TKSN_Mesh* mesh)
{
    if (!level || !mesh) return 0;
    const int materialCount = mesh->GetMaterialCount();
    for (int i = 0; i < materialCount; ++i) {
        TQORMaterial* material = mesh->GetMaterial(i);
        if (!material) break;
        material->CacheChannels();
    }
    if (!level->IsOctreeValid()) level->BuildOctree();

    const int n = level->GetVCount();
    std::vector<float> t(size_t(std::max(n, 0)));
    const float m = KSN_ComputeScaledDisplacements(level, t.data());
    const float diameter = mesh->boundsDiagonal;
    const float strength = diameter > 1e-30f ? 2.0f * m / diameter : 0.0f;

    // Group the polygons by the map they reach, in order of first use, so
    // that interleaved materials sharing a map all reach it.
    struct TTarget {
        TQORMaterialMapSource* Source;
        std::vector<TQORMaterialChannel*> Channels;
        std::vector<int> Polygons;
    };
    std::vector<TTarget> targets;
    std::vector<int> targetOfMaterial(size_t(std::max(materialCount, 0)), -2);
    for (int q = 0, polygons = level->GetPCount(); q < polygons; ++q) {
        const int mi = level->vGetPolyM(q);
        if (mi < 0 || mi >= materialCount) continue;
        int& slot = targetOfMaterial[size_t(mi)];
        if (slot == -2) {
            TQORMaterialChannel* channel = nullptr;
            TQORMaterialMapSource* source = DisplacementTarget(mesh, mi, &channel);
            slot = -1;
            if (source) {
                auto it = std::find_if(targets.begin(), targets.end(),
                                       [source](const TTarget& x) { return x.Source == source; });
                if (it == targets.end()) {
                    targets.push_back({source, {}, {}});
                    it = targets.end() - 1;
                }
                it->Channels.push_back(channel);
                slot = int(it - targets.begin());
            }
        }
        if (slot >= 0) targets[size_t(slot)].Polygons.push_back(q);
    }

    const auto& hooks = KSN_GetToolProjectHooks();
    int written = 0;
    for (TTarget& target : targets) {
        unsigned char* pixels = target.Source->GetPixels();
        const int width = target.Source->GetWidth(), height = target.Source->GetHeight();
        const int bpp = target.Source->GetBytesPerPixel();
        if (!pixels || bpp < 1) continue;
        std::vector<float> depth(size_t(width) * size_t(height), 0.0f);
        for (int q : target.Polygons) {
            const int corners = level->vGetPolyN(q);
            const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (int k = 0; k < (corners == 3 ? 1 : 2); ++k) {
                float points[3][3], colors[3][4];
                bool ok = true;
                for (int c = 0; c < 3; ++c) {
                    const int corner = tris[k][c];
                    const int v = level->vGetPolyV(q, corner), vt = level->vGetPolyVT(q, corner);
                    if (v < 0 || v >= n || vt < 0 || vt >= level->GetTVCount()) {
                        ok = false;
                        break;
                    }
                    points[c][0] = level->tVertices[2 * vt] * float(width);
                    points[c][1] = level->tVertices[2 * vt + 1] * float(height);
                    points[c][2] = 1.0f;
                    colors[c][0] = colors[c][1] = colors[c][2] = t[size_t(v)];
                    colors[c][3] = 1.0f;
                }
                if (ok)
                    KSN_RasterizeDisplacementMapTriangle(points, colors, width, width, height, pixels, bpp,
                                                         depth.data(), true);
            }
        }
        for (TQORMaterialChannel* channel : target.Channels) channel->Strength = strength;
        if (hooks.OnWholeMapChanged) hooks.OnWholeMapChanged(target.Source);
        ++written;
    }
    return written;
}

int BakeDisplacementMaps()
{
    const auto& hooks = KSN_GetToolProjectHooks();
    if (!hooks.GetMeshes) return 0;
    std::vector<TKSN_Mesh*> meshes;
    hooks.GetMeshes(meshes);
    int written = 0;
    for (TKSN_Mesh* mesh : meshes)
        if (TKSN_SubDMesh* level = mesh ? mesh->GetSubD_MaxLevel() : nullptr)
            written += BakeDisplacementMapsForMesh(level, mesh);
    return written;
}
