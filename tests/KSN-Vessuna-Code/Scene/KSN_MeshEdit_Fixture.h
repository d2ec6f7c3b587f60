// Shared fixture of the edit-bracket and selection-editing tests: a plane of
// quads built in code, the virtual-memory store in a private temporary
// folder, the application's selection type set by the test, and the boxes and
// warnings the mesh raises collected instead of shown.
#pragma once

#include "KSN_Mesh.h"

#include "OS.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace meshedit_test {

namespace fs = std::filesystem;

// The toolkit's base answers the temporary folder of the virtual-memory store
// (the toolkit counts its initialisations, so several test files may do this).
[[maybe_unused]] inline const auto* const RegisteredWx = KsnRegisterWxBase();

inline int32_t SelectionType = 0;
inline std::vector<std::string> Warnings;
inline int32_t GetSelectionType() { return SelectionType; }

using TCollectBoxes = TBoxRecorder;

class MeshEditTest : public ::testing::Test {
protected:
    TTempStoreFolder Store;
    TCollectBoxes Boxes;

    void SetUp() override
    {
        SelectionType = 0;
        Warnings.clear();
        TKSN_MeshApplicationHooks hooks;
        hooks.GetSelectionType = GetSelectionType;
        KSN_SetMeshApplicationHooks(hooks);
        OS.SetDialogProvider(&Boxes);
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        OS.AssignOnPrintMessage([](char*) {});
        OS.AssignOnDebugMessage([](char*) {});

        ASSERT_TRUE(Store.Open("ksn_meshedit_"));
    }

    void TearDown() override
    {
        Store.Close();
        OS.SetDialogProvider(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        KSN_SetMeshApplicationHooks({});
        KSN_SetMeshEditHooks({});
    }

    // A plane of columns × rows vertices in z = 0, x running from −(columns−1)/2
    // so that it is symmetric across x = 0; vertex (x, y) is y·columns + x and
    // quad (i, j) is j·(columns−1) + i with corners (i,j), (i+1,j), (i+1,j+1), (i,j+1).
    // Each corner has its own texture vertex (u, v) = (x, y) of a shared grid.
    static std::unique_ptr<TKSN_Mesh> MakePlane(int columns, int rows)
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        const int quads = (columns - 1) * (rows - 1);
        mesh->Create(columns * rows, columns * rows, columns * rows, quads);
        std::vector<float> base;
        std::vector<float> uv;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                base.insert(base.end(), {float(x) - 0.5f * float(columns - 1), float(y), 0.0f});
                uv.insert(uv.end(), {float(x), float(y)});
            }
        EXPECT_TRUE(mesh->SetBaseVertexArray(base.data(), columns * rows));
        EXPECT_TRUE(mesh->SetTVertexArray(uv.data(), columns * rows));
        for (int j = 0; j < rows - 1; ++j)
            for (int i = 0; i < columns - 1; ++i) {
                TQORPolygon& q = mesh->Polygons[j * (columns - 1) + i];
                q.SetCount(4);
                const int corners[4] = {j * columns + i, j * columns + i + 1, (j + 1) * columns + i + 1,
                                        (j + 1) * columns + i};
                for (int k = 0; k < 4; ++k) q.Points[k] = {corners[k], corners[k]};
            }
        mesh->AfterRawBuild();
        mesh->CopyBaseVerticesToResolvedVertices();
        return mesh;
    }

    static std::vector<float> VertexWeights(TKSN_Mesh& mesh)
    {
        std::vector<float> w;
        for (int v = 0; v < mesh.vertexCount; ++v) w.push_back(mesh.VertexInfo[v].Select);
        return w;
    }
    static std::vector<float> PolygonWeights(TKSN_Mesh& mesh)
    {
        std::vector<float> w;
        for (int p = 0; p < mesh.polygonCount; ++p) w.push_back(mesh.Polygons[p].Select);
        return w;
    }
    static void SetVertexWeights(TKSN_Mesh& mesh, const std::vector<float>& w)
    {
        for (int v = 0; v < mesh.vertexCount; ++v) mesh.VertexInfo[v].Select = w[size_t(v)];
    }
    static void SetPolygonWeights(TKSN_Mesh& mesh, const std::vector<float>& w)
    {
        for (int p = 0; p < mesh.polygonCount; ++p) mesh.Polygons[p].Select = w[size_t(p)];
    }
};

}  // namespace meshedit_test
