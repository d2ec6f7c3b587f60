// Merging objects: who takes part, what the merged mesh holds and how its
// materials are named, the refusals, and one texture skin.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ObjectMerge.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMaterial.h"
#include "QORVirtualMemory.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string>& Panel()
{
    static std::vector<std::string> messages;
    return messages;
}

class ProjectMerge : public ::testing::Test {
protected:
    TTestMainFolder Main;
    TBoxRecorder Boxes{TOSBoxAnswer::Yes};

    void SetUp() override
    {
        Main.Open("ksn_merge_");
        OS.SetDialogProvider(&Boxes);
        Panel().clear();
        OS.AssignOnWarningMessage([](char* text) { Panel().push_back(text); });
        QOREvents_Clean();
        QORVirtualMemory_Initialize();
        Project = new TKSN_Project();
    }
    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        QORVirtualMemory_Cleanup();
        QOREvents_Clean();
        OS.AssignOnWarningMessage(nullptr);
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    // A strip of one triangle per material (all UVs across the unit square),
    // placed at x offset, with vertex 0 selected when asked.
    TKSN_Object* AddObject(const char* name, std::vector<const char*> materials, bool selected, float offset = 0)
    {
        auto* object = new TKSN_Object();
        object->SetName("%s", name);
        object->Mesh.reset(new TKSN_Mesh(object));
        TKSN_Mesh* mesh = object->Mesh.get();
        const int n = int(materials.size());
        mesh->Create(n + 2, n + 2, n + 2, n);
        for (int i = 0; i < n + 2; ++i) {
            const float p[3] = {offset + float(i / 2), float(i % 2), 0.0f};
            std::copy(p, p + 3, mesh->baseVertices + 3 * i);
            mesh->tVertices[2 * i] = float(i) / float(n + 1);
            mesh->tVertices[2 * i + 1] = float(i % 2);
        }
        for (int m = 0; m < n; ++m) {
            TQORMaterial* material = KSN_NewMaterial(materials[size_t(m)]);
            material->MaterialIndex = m;
            mesh->Materials->AddItem(material);
            TQORPolygon& polygon = mesh->Polygons[m];
            polygon.SetCount(3);
            for (int c = 0; c < 3; ++c) polygon.Points[c] = {m + c, m + c};
            polygon.Material = int16_t(m);
            polygon.Group = 0;
            polygon.LayerFlags = uint32_t(1u << m);
        }
        auto* group = new TQORGroup2();
        group->SetName("%s", "body");
        group->Index = 0;
        mesh->Groups2->AddItem(group);
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterRawBuild();
        if (selected) mesh->SetVSelect(0, 1.0f);
        mesh->SelectedListsValid = false;
        Project->Objects->AddItem(object);
        return object;
    }
    std::vector<std::string> ObjectNames()
    {
        std::vector<std::string> names;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
        for (TKSN_Object* object : *list) names.push_back(object->GetName());
        return names;
    }
    static std::vector<std::string> MaterialNames(TKSN_Mesh* mesh)
    {
        std::vector<std::string> names;
        for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) names.push_back(mesh->Materials->GetItem(i)->GetName());
        return names;
    }
};

TEST_F(ProjectMerge, SelectedObjectsBecomeOne)
{
    TKSN_Object* head = AddObject("Head", {"Skin", "Eyes"}, true);
    AddObject("Loose", {"Skin"}, false, 5);
    TKSN_Object* body = AddObject("Body", {"Skin"}, true, 10);
    TKSN_Object* locked = AddObject("Locked", {"Skin"}, true, 20);
    locked->SetCustomBooleanProperty("COMPLETELY_LOCKED", true);
    auto* camera = new TKSN_Camera();
    camera->SetName("%s", "Camera");
    Project->Objects->AddItem(camera);
    const int vertices = head->Mesh->vertexCount + body->Mesh->vertexCount;
    // The set-up after the merge keeps only the bits of layers in use (bit 2 is layer 2).
    Project->PolygonLayers[2]->Enable();

    Project->MergeAllObjects(true, true, false, false, false);

    EXPECT_EQ(ObjectNames(), (std::vector<std::string>{"Loose", "Locked", "Camera", "Merged Object"}));
    TKSN_Object* merged = Project->GetCurrentObject();
    ASSERT_NE(merged, nullptr);
    EXPECT_STREQ(merged->GetName(), "Merged Object");
    TKSN_Mesh* mesh = merged->Mesh.get();
    EXPECT_EQ(mesh->vertexCount, vertices);
    EXPECT_EQ(mesh->polygonCount, 3);
    EXPECT_EQ(MaterialNames(mesh), (std::vector<std::string>{"Head-Skin", "Head-Eyes", "Body"}));
    EXPECT_EQ(mesh->Polygons[2].Material, 2);        // Body's material 0 after Head's two
    EXPECT_EQ(mesh->Polygons[2].Points[0].V, 4);     // shifted by Head's four vertices
    EXPECT_EQ(mesh->Polygons[2].Points[0].VT, 4);
    EXPECT_EQ(mesh->Polygons[1].LayerFlags, 2u);     // the layer bits come along
    EXPECT_FLOAT_EQ(mesh->baseVertices[3 * 4], 10.0f);
    ASSERT_EQ(mesh->Groups2->GetItemCount(), 2);
    EXPECT_STREQ(mesh->Groups2->GetItem(0)->GetName(), "Head");   // one group each: renamed after the object
    EXPECT_EQ(Project->UndoList, nullptr);
    EXPECT_EQ(Project->RedoList, nullptr);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].find("All maps"), std::string::npos);
    EXPECT_NE(std::find(Panel().begin(), Panel().end(), "A new object named \"Merged Object\" has been created."),
              Panel().end());
}

TEST_F(ProjectMerge, KeptNamesAndOnePerObject)
{
    AddObject("Head", {"Skin", "Eyes"}, true);
    AddObject("Body", {"Skin"}, true, 10);
    Project->MergeAllObjects(false, false, true, true, false);
    TKSN_Mesh* mesh = Project->GetPolyMesh();
    EXPECT_EQ(MaterialNames(mesh), (std::vector<std::string>{"Head", "Body"}));
    EXPECT_EQ(mesh->Polygons[1].Material, 0);
    EXPECT_EQ(mesh->Polygons[2].Group, 1);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_NE(Boxes.Boxes[0].find("- All maps will be discarded."), std::string::npos);

    AddObject("Arm", {"Skin"}, true, 20);
    Project->GetPolyMesh()->SetVSelect(0, 1.0f);
    Project->GetPolyMesh()->SelectedListsValid = false;
    Project->MergeAllObjects(false, false, false, false, false);
    // Kept names repeat; the merged list makes them unique.
    EXPECT_EQ(MaterialNames(Project->GetPolyMesh()), (std::vector<std::string>{"Head", "Body", "Skin"}));
}

TEST_F(ProjectMerge, RefusalsChangeNothing)
{
    AddObject("Head", {"Skin"}, true);
    AddObject("Body", {"Skin"}, false);
    Project->MergeAllObjects(true, true, false, false, false);
    EXPECT_EQ(Panel(), (std::vector<std::string>{"Please select at least two objects before merging."}));
    EXPECT_TRUE(Boxes.Boxes.empty());

    AddObject("Arm", {"Skin"}, true);
    Boxes.Answer = TOSBoxAnswer::No;
    Project->MergeAllObjects(true, true, false, false, false);
    EXPECT_EQ(ObjectNames(), (std::vector<std::string>{"Head", "Body", "Arm"}));
}

TEST_F(ProjectMerge, SingleSkinRegionsNeverOverlap)
{
    AddObject("Head", {"Skin", "Eyes", "Teeth"}, true);
    AddObject("Body", {"Skin", "Nails"}, true, 10);
    Project->MergeAllObjects(true, true, false, false, true);
    TKSN_Mesh* mesh = Project->GetPolyMesh();
    const int materials = mesh->Materials->GetItemCount();
    ASSERT_EQ(materials, 5);
    std::vector<std::array<float, 4>> boxes(size_t(materials), {1e9f, 1e9f, -1e9f, -1e9f});
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        auto& box = boxes[size_t(polygon.Material)];
        for (int c = 0; c < polygon.Count; ++c) {
            const float* uv = mesh->tVertices + 2 * polygon.Points[c].VT;
            box = {std::min(box[0], uv[0]), std::min(box[1], uv[1]), std::max(box[2], uv[0]), std::max(box[3], uv[1])};
            EXPECT_GE(uv[0], 0.0f);
            EXPECT_LE(uv[0], 1.0f);
            EXPECT_GE(uv[1], 0.0f);
            EXPECT_LE(uv[1], 1.0f);
        }
    }
    for (int a = 0; a < materials; ++a)
        for (int b = a + 1; b < materials; ++b) {
            const auto& A = boxes[size_t(a)];
            const auto& B = boxes[size_t(b)];
            const bool apart = A[2] <= B[0] + 1e-5f || B[2] <= A[0] + 1e-5f || A[3] <= B[1] + 1e-5f ||
                               B[3] <= A[1] + 1e-5f;
            EXPECT_TRUE(apart) << a << " and " << b;
        }
}

} // namespace
