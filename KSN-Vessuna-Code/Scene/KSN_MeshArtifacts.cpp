#include "KSN_MeshArtifacts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "KSN_Mesh.h"
#include "QORMemory.h"

void GetDataForSelectArtifacts(TKSN_Mesh* mesh, float** vertexNormals, float** polygonNormals)
{
    QORfree(*vertexNormals);
    QORfree(*polygonNormals);
    *vertexNormals = *polygonNormals = nullptr;
    if (!mesh) return;
    const size_t vertexFloats = 3 * size_t(std::max(mesh->GetVCount(), 0));
    const size_t polygonFloats = 3 * size_t(std::max(mesh->GetPCount(), 0));
    *vertexNormals = static_cast<float*>(QORalloc(std::max<size_t>(vertexFloats, 1) * sizeof(float)));
    *polygonNormals = static_cast<float*>(QORalloc(std::max<size_t>(polygonFloats, 1) * sizeof(float)));

    float* saved = static_cast<float*>(QORalloc(std::max<size_t>(vertexFloats, 1) * sizeof(float)));
    if (vertexFloats) std::memcpy(saved, mesh->resolvedVertices, vertexFloats * sizeof(float));
    mesh->ClearResolvedVertices();
    mesh->RecalculateNormals(true);
    if (vertexFloats) std::memcpy(*vertexNormals, mesh->vertexNormals, vertexFloats * sizeof(float));
    if (polygonFloats) std::memcpy(*polygonNormals, mesh->polygonNormals, polygonFloats * sizeof(float));
    if (vertexFloats) std::memcpy(mesh->resolvedVertices, saved, vertexFloats * sizeof(float));
    QORfree(saved);
    mesh->RecalculateNormals(true);
}

namespace {

// The largest angle between the vertex normal and the normals of its polygons.
float Spread(const int* row, const float* vertexNormal, const float* polygonNormals)
{
    float spread = 0.0f;
    for (int k = 1; k <= row[0]; ++k) {
        const float* m = polygonNormals + 3 * size_t(row[k]);
        const float dot = std::fabs(vertexNormal[0] * m[0] + vertexNormal[1] * m[1] + vertexNormal[2] * m[2]);
        spread = std::max(spread, std::acos(std::min(dot, 1.0f)));
    }
    return spread;
}

} // namespace

float GetArtifactValue(TKSN_Mesh* mesh, int vertex, const float* baseVertexNormals, const float* basePolygonNormals)
{
    if (!mesh || vertex < 0 || vertex >= mesh->GetVCount() || !baseVertexNormals || !basePolygonNormals) return 0.0f;
    if (mesh->vertexPolygons.GetRowCount() != mesh->GetVCount()) mesh->BuildVertexPolygons();
    const int* row = mesh->vertexPolygons.GetRow(vertex);
    if (!row || row[0] <= 0) return 0.0f;
    const float base = Spread(row, baseVertexNormals + 3 * size_t(vertex), basePolygonNormals);
    const float current = Spread(row, mesh->vertexNormals + 3 * size_t(vertex), mesh->polygonNormals);
    return std::clamp(std::fabs(current - base), 0.0f, 1.0f);
}
