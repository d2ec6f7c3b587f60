// TODO(stub): least stand-ins for the OBJ reader, quick weld, OBJ writer and
// the import set-up that the CR2 import and rewrite call (see
// KSN_CR2_Internal.h). Each goes once the OBJ import and export of this
// library are connected.
#include "KSN_CR2_Internal.h"

#include "KSN_CR2Tree.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <vector>

namespace {

// Index into a list of count items from an OBJ corner number (1-based, or
// negative from the end); -1 when it names nothing.
int CornerIndex(long number, int count)
{
    if (number > 0 && number <= count) return int(number - 1);
    if (number < 0 && -number <= count) return int(count + number);
    return -1;
}

int IndexOfName(std::vector<std::string>& names, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return int(i);
    names.push_back(name);
    return int(names.size() - 1);
}

}  // namespace

bool CR2_LoadObjectStandIn(TKSN_Object* object, const char* path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) return false;
    struct TFace {
        std::vector<std::pair<int, int>> corners;
        int group, material;
    };
    std::vector<float> vertices, uvs;
    std::vector<TFace> faces;
    std::vector<std::string> groups, materials;
    int group = -1, material = -1;
    std::string line;
    while (CR2_ReadLine(file.get(), line)) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "v") {
            float p[3] = {0, 0, 0};
            in >> p[0] >> p[1] >> p[2];
            vertices.insert(vertices.end(), p, p + 3);
        } else if (key == "vt") {
            float t[2] = {0, 0};
            in >> t[0] >> t[1];
            uvs.insert(uvs.end(), t, t + 2);
        } else if (key == "g") {
            std::string name;
            in >> name;
            group = IndexOfName(groups, name.empty() ? "default" : name);
        } else if (key == "usemtl") {
            std::string name;
            in >> name;
            material = IndexOfName(materials, name);
        } else if (key == "f") {
            TFace face{{}, group, material};
            for (std::string corner; in >> corner;) {
                const long v = std::strtol(corner.c_str(), nullptr, 10);
                const size_t slash = corner.find('/');
                const long vt = slash == std::string::npos ? 0 : std::strtol(corner.c_str() + slash + 1, nullptr, 10);
                const int vi = CornerIndex(v, int(vertices.size() / 3));
                if (vi < 0) return false;
                face.corners.push_back({vi, vt ? CornerIndex(vt, int(uvs.size() / 2)) : -1});
            }
            if (face.corners.size() >= 3) faces.push_back(std::move(face));
        }
    }

    auto mesh = std::make_unique<TKSN_Mesh>(object);
    const int vertexCount = int(vertices.size() / 3);
    mesh->Create(vertexCount, int(uvs.size() / 2), vertexCount, int(faces.size()));
    mesh->SetBaseVertexArray(vertices.data(), vertexCount);
    if (!uvs.empty()) mesh->SetTVertexArray(uvs.data(), int(uvs.size() / 2));
    for (size_t i = 0; i < groups.size(); ++i) {
        auto* g = new TQORGroup2();
        g->SetName("%s", groups[i].c_str());
        g->Index = int(i);
        mesh->Groups2->AddItem(g);
    }
    for (const std::string& name : materials) {
        auto* m = new TQORMaterial();
        m->SetName("%s", name.c_str());
        mesh->Materials->AddItem(m);
    }
    for (size_t p = 0; p < faces.size(); ++p) {
        TQORPolygon& polygon = mesh->Polygons[p];
        polygon.SetCount(int(faces[p].corners.size()));
        for (size_t k = 0; k < faces[p].corners.size(); ++k)
            polygon.Points[k] = {faces[p].corners[k].first, faces[p].corners[k].second};
        polygon.Group = int16_t(faces[p].group);
        polygon.Material = int16_t(faces[p].material);
    }
    mesh->AfterRawBuild();
    mesh->CopyBaseVerticesToResolvedVertices();
    object->Mesh = std::move(mesh);
    return true;
}

void CR2_QuickWeldStandIn(TKSN_Mesh* mesh, float tolerance)
{
    const int count = mesh->vertexCount;
    std::vector<float> base(size_t(count) * 3);
    if (count > 0) mesh->GetBaseVertexArray(base.data(), count);
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return base[3 * a] < base[3 * b]; });
    for (int v = 0; v < count; ++v) mesh->VertexInfo[v].WeldMaster = v;
    for (size_t i = 0; i < order.size(); ++i) {
        const int a = order[i];
        for (size_t j = i + 1; j < order.size() && base[3 * order[j]] - base[3 * a] <= tolerance; ++j) {
            const int b = order[j];
            if (std::abs(base[3 * a + 1] - base[3 * b + 1]) > tolerance ||
                std::abs(base[3 * a + 2] - base[3 * b + 2]) > tolerance)
                continue;
            int& ma = mesh->VertexInfo[a].WeldMaster;
            int& mb = mesh->VertexInfo[b].WeldMaster;
            const int m = std::min(ma, mb);
            ma = mb = m;
        }
    }
    // Masters of masters: every vertex names the lowest vertex of its class.
    for (int v = 0; v < count; ++v) {
        int m = mesh->VertexInfo[v].WeldMaster;
        while (mesh->VertexInfo[m].WeldMaster != m) m = mesh->VertexInfo[m].WeldMaster;
        mesh->VertexInfo[v].WeldMaster = m;
    }
    mesh->Welded = true;
}

bool CR2_ExportObjectFileStandIn(TKSN_Mesh* mesh, const char* path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "wb"), std::fclose);
    if (!file) return false;
    std::vector<float> resolved(size_t(mesh->vertexCount) * 3);
    if (mesh->vertexCount > 0) mesh->GetResolvedVertexArray(resolved.data(), mesh->vertexCount);
    std::vector<float> uvs(size_t(mesh->tVertexCount) * 2);
    if (mesh->tVertexCount > 0) mesh->GetTVertexArray(uvs.data(), mesh->tVertexCount);
    for (int v = 0; v < mesh->vertexCount; ++v)
        std::fprintf(file.get(), "v %.6f %.6f %.6f\n", resolved[3 * v], resolved[3 * v + 1], resolved[3 * v + 2]);
    for (int t = 0; t < mesh->tVertexCount; ++t) std::fprintf(file.get(), "vt %.6f %.6f\n", uvs[2 * t], uvs[2 * t + 1]);
    int lastGroup = -2;
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        if (polygon.Group != lastGroup) {
            lastGroup = polygon.Group;
            TQORGroup2* g = mesh->Groups2->GetItemAs(polygon.Group);
            std::fprintf(file.get(), "g %s\n", g ? g->GetName() : "default");
        }
        std::fputs("f", file.get());
        for (int k = 0; k < polygon.Count; ++k) {
            if (polygon.Points[k].VT >= 0)
                std::fprintf(file.get(), " %d/%d", polygon.Points[k].V + 1, polygon.Points[k].VT + 1);
            else
                std::fprintf(file.get(), " %d", polygon.Points[k].V + 1);
        }
        std::fputs("\n", file.get());
    }
    return std::fflush(file.get()) == 0;
}

void CR2_SetupAfterImportStandIn(TKSN_Mesh* mesh)
{
    if (mesh) mesh->CopyBaseVerticesToResolvedVertices();
}
