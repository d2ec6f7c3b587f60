// Small editable meshes for the subdivision tests (scene and document):
// positions, texture vertices and polygons given in code, one material each,
// and map sources of a chosen size bound to a material channel.
#pragma once

#include "KSN_Mesh.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace SubDTest {

struct TPoly {
    std::vector<int> V;
    std::vector<int> VT;   // empty: the texture vertex of each corner is its vertex index
};

// The mesh's derived data (bounds, normals, vertex-to-polygon table) is built;
// every polygon has material 0 of the given number of materials.
inline std::unique_ptr<TKSN_Mesh> MakeMesh(const std::vector<std::array<float, 3>>& positions,
                                           const std::vector<std::array<float, 2>>& uvs,
                                           const std::vector<TPoly>& polygons, int materials = 1)
{
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    mesh->Create(int(positions.size()), int(uvs.size()), int(positions.size()), int(polygons.size()));
    for (size_t v = 0; v < positions.size(); ++v) {
        for (int i = 0; i < 3; ++i) mesh->baseVertices[3 * v + size_t(i)] = positions[v][size_t(i)];
        mesh->VertexInfo[v].Flags = 0;
    }
    for (size_t t = 0; t < uvs.size(); ++t)
        for (int i = 0; i < 2; ++i) mesh->tVertices[2 * t + size_t(i)] = uvs[t][size_t(i)];
    mesh->CopyBaseVerticesToResolvedVertices();
    for (size_t p = 0; p < polygons.size(); ++p) {
        const TPoly& poly = polygons[p];
        mesh->Polygons[p].SetCount(unsigned(poly.V.size()));
        for (size_t k = 0; k < poly.V.size(); ++k)
            mesh->Polygons[p].Points[k] = {poly.V[k], uvs.empty() ? -1 : (poly.VT.empty() ? poly.V[k] : poly.VT[k])};
        mesh->Polygons[p].Material = 0;
        mesh->PolygonFlags[p] = 0;
    }
    for (int m = 0; m < materials; ++m) {
        TQORMaterial* material = KSN_NewMaterial(("Material" + std::to_string(m)).c_str());
        material->CacheChannels();
        mesh->Materials->AddItem(material);
    }
    mesh->CalculateBounds();
    mesh->BuildVertexPolygons();
    mesh->RecalculateNormals(false);
    return mesh;
}

inline TQORMaterial* Material(TKSN_Mesh& mesh, int index) { return mesh.Materials->GetItemAs(index); }

// A size x size map source filled with one byte value, bound to the mesh and
// named by channel; the caller keeps the source alive.
inline std::unique_ptr<TQORMaterialMapSource> BindMap(TKSN_Mesh& mesh, TQORMaterialChannel* channel, int size,
                                                      unsigned char value)
{
    auto source = std::make_unique<TQORMaterialMapSource>();
    std::vector<unsigned char> pixels(size_t(size) * size_t(size) * 3, value);
    source->InitializeWithPixelData(size, size, pixels.data());
    auto* binding = new TQORMaterialMap();
    binding->SetMapSource(source->GetID());
    mesh.MaterialMaps->Add(binding);
    channel->SetMapID(int(binding->GetID()));
    return source;
}

// A unit quad in z = 0 mapped by position onto uv 0..span.
inline std::unique_ptr<TKSN_Mesh> MakeQuad(float span = 1.0f)
{
    return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0}, {span, 0}, {span, span}, {0, span}},
                    {{{0, 1, 2, 3}, {}}});
}

// A flat n x n quad grid in z = 0 over 0..1, (n + 1)^2 vertices, row-major, with UVs over 0.25..0.75.
inline std::unique_ptr<TKSN_Mesh> MakeFlatGrid(int n)
{
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 2>> uvs;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            positions.push_back({float(x) / n, float(y) / n, 0.0f});
            uvs.push_back({0.25f + 0.5f * float(x) / n, 0.25f + 0.5f * float(y) / n});
        }
    std::vector<TPoly> polygons;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int v = y * (n + 1) + x;
            polygons.push_back({{v, v + 1, v + n + 2, v + n + 1}, {}});
        }
    return MakeMesh(positions, uvs, polygons);
}

} // namespace SubDTest
