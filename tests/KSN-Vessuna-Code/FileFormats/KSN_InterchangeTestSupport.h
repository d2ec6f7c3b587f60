// Shared by the set, pose-file, exchange and sculpted-prim tests: the
// document fixture (a project in a temporary main folder, scripted dialogs,
// the warnings and prints of the message panel) and small file helpers.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../Document/KSN_ProjectFileTestSupport.h"

namespace ksn_interchange_test {

using namespace ksn_file_test;

inline std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline bool Contains(const std::vector<std::string>& list, const std::string& text)
{
    for (const std::string& entry : list)
        if (entry.find(text) != std::string::npos) return true;
    return false;
}

inline std::vector<std::string> MorphNames(TKSN_Mesh* mesh)
{
    std::vector<std::string> names;
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    for (TKSN_Morph* morph : *morphs) names.push_back(morph->GetName());
    return names;
}

// A polygon group whose name is stored as given: figure imports keep part
// names such as "head:1", which SetName would clean.
struct TRawNamedGroup : TQORGroup2 {
    explicit TRawNamedGroup(const std::string& raw) { StoreName(raw); }
};

// A flat grid of cols x rows quads in the unit square (z = 0), vertex (i, j)
// at (i / cols, j / rows) with the same texture coordinates, numbered row by
// row from the bottom; one material "Skin". group (may be null) names each
// polygon's group index (-1 none) into groups.
inline TKSN_Object* MakeGridObject(TKSN_Project* project, const char* name, int cols, int rows,
                                   const std::vector<std::string>& groups = {},
                                   int (*group)(int polygon) = nullptr)
{
    TKSN_Object* object = project->CreateNewObject();
    object->SetName("%s", name);
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    const int vertices = (cols + 1) * (rows + 1);
    mesh->Create(vertices, vertices, vertices, cols * rows);
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            const int v = j * (cols + 1) + i;
            mesh->baseVertices[3 * v] = float(i) / float(cols);
            mesh->baseVertices[3 * v + 1] = float(j) / float(rows);
            mesh->baseVertices[3 * v + 2] = 0.0f;
            mesh->tVertices[2 * v] = float(i) / float(cols);
            mesh->tVertices[2 * v + 1] = float(j) / float(rows);
        }
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            const int p = j * cols + i;
            const int v = j * (cols + 1) + i;
            const int corners[4] = {v, v + 1, v + cols + 2, v + cols + 1};
            TQORPolygon& quad = mesh->Polygons[p];
            quad.SetCount(4);
            for (int k = 0; k < 4; ++k) quad.Points[k].V = quad.Points[k].VT = corners[k];
            quad.Material = 0;
            quad.Group = int16_t(group ? group(p) : -1);
        }
    mesh->Materials->AddItem(KSN_NewMaterial("Skin"));
    for (size_t g = 0; g < groups.size(); ++g) {
        auto* g2 = new TRawNamedGroup(groups[g]);
        g2->Index = int(g);
        mesh->Groups2->AddItem(g2);
    }
    mesh->AfterRawBuild();
    mesh->ResolveGroupVertexMaps();
    return object;
}

} // namespace ksn_interchange_test
