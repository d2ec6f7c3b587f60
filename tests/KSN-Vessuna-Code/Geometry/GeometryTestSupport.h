// Small meshes built in code, and capture of the messages the OS layer shows,
// shared by the geometry tests.
#pragma once

#include "KsnTestSupport.h"
#include "OS.h"
#include "QORMaterial.h"
#include "QORPolyMesh.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace GeometryTest {

struct Corner {
    int V;
    int VT;
};

// A mesh with the given base positions (copied to the resolved ones), texture
// vertices and polygons; nothing is rebuilt (callers run AfterRawBuild when
// they want the derived data).
inline std::unique_ptr<TQORPolyMesh> MakeMesh(const std::vector<std::array<float, 3>>& vertices,
                                              const std::vector<std::vector<int>>& polygons,
                                              const std::vector<std::array<float, 2>>& tvertices = {})
{
    auto mesh = std::make_unique<TQORPolyMesh>();
    mesh->Create(int(vertices.size()), int(tvertices.size()), int(vertices.size()), int(polygons.size()));
    for (size_t v = 0; v < vertices.size(); ++v)
        for (int i = 0; i < 3; ++i) mesh->baseVertices[3 * v + i] = vertices[v][size_t(i)];
    for (size_t t = 0; t < tvertices.size(); ++t)
        for (int i = 0; i < 2; ++i) mesh->tVertices[2 * t + i] = tvertices[t][size_t(i)];
    mesh->CopyBaseVerticesToResolvedVertices();
    for (size_t p = 0; p < polygons.size(); ++p) {
        TQORPolygon& poly = mesh->Polygons[p];
        poly.SetCount(unsigned(polygons[p].size()));
        for (size_t k = 0; k < polygons[p].size(); ++k) {
            poly.Points[k].V = polygons[p][k];
            poly.Points[k].VT = tvertices.empty() ? -1 : polygons[p][k];
        }
    }
    return mesh;
}

// Records every modal box and panel text while it lives; answers boxes "closed".
struct MessageCapture : TBoxRecorder {
    static inline std::vector<std::string> Panel;

    MessageCapture()
    {
        Panel.clear();
        OS.SetDialogProvider(this);
        OS.AssignOnWarningMessage([](char* text) { Panel.push_back(text); });
        OS.AssignOnPrintMessage([](char* text) { Panel.push_back(text); });
    }
    ~MessageCapture() override
    {
        OS.SetDialogProvider(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
    }
};

}  // namespace GeometryTest
