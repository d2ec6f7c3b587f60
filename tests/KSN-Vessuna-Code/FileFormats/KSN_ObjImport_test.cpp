// Quick weld, and the project's import of objects and morphs with its
// options, sub-division levels and the export entries.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Morph.h"
#include "KSN_ObjReader.h"
#include "KSN_ObjTestSupport.h"
#include "KSN_ObjWeld.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project_Import.h"
#include "QORMaterial.h"

using namespace ksn_obj_test;

namespace {

class QuickWeld : public TMessagesFixture {
protected:
    TTempFolder Folder;
    std::unique_ptr<TKSN_Mesh> Load(const std::string& text)
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        EXPECT_TRUE(LoadObjData(Folder.Write("W.obj", text).c_str(), mesh.get(), false)) << AllPanel();
        return mesh;
    }
};

TEST_F(QuickWeld, TrianglesMeetingInSpaceShareAnEdge)
{
    // Vertices 4 and 5 lie on 2 and 3.
    auto mesh = Load("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 4 6 5\n");
    EXPECT_EQ(mesh->EdgeCount, 6);
    QuickWeld3(mesh.get(), 1e-8f);
    EXPECT_TRUE(mesh->Welded);
    EXPECT_EQ(mesh->EdgeCount, 5);
    const int pairs[2][2] = {{1, 3}, {2, 4}};
    for (const auto& pair : pairs) {
        // Whichever copy sorted first represents the other; the first keeps itself.
        const int a = mesh->VertexInfo[pair[0]].WeldMaster, b = mesh->VertexInfo[pair[1]].WeldMaster;
        EXPECT_EQ(a, b);
        EXPECT_TRUE(a == pair[0] || a == pair[1]);
    }
    EXPECT_EQ(mesh->VertexInfo[0].WeldMaster, 0);
    EXPECT_EQ(mesh->VertexInfo[5].WeldMaster, 5);
}

TEST_F(QuickWeld, VerticesOfOnePolygonAndAPointMesh)
{
    // Vertices 1 and 2 of one triangle nearly coincide: not welded to each other.
    auto close = Load("v 0 0 0\nv 1 0 0\nv 1 0.000000001 0\nf 1 2 3\n");
    QuickWeld3(close.get(), 1e-3f);
    for (int v = 0; v < 3; ++v) EXPECT_EQ(close->VertexInfo[v].WeldMaster, v);

    auto point = Load("v 2 2 2\nv 2 2 2\nv 2 2 2\nv 2 2 2\nf 1 2 3\nf 2 4 3\n");
    QuickWeld3(point.get(), 1e-8f);
    EXPECT_TRUE(point->Welded);
    for (int v = 0; v < 4; ++v) EXPECT_EQ(point->VertexInfo[v].WeldMaster, v);
}

class ObjImport : public TProjectFixture {
protected:
    std::string Write(const std::string& name, const std::string& text) { return Folder.Write(name, text); }
    int ObjectCount() { return Project->GetObjectCount(); }
    TKSN_Mesh* CurrentMesh() { return Project->GetPolyMesh(); }
};

const char* const kQuad = "v 2 0 0\nv 4 0 0\nv 4 1 0\nv 2 1 0\nvt 0.25 0.1\nvt 1 0\nvt 1 1\nvt 0 1\n"
                          "f 1/1 2/2 3/3 4/4\n";

TEST_F(ObjImport, ImportAddsACurrentObjectAndKeepsTheOthers)
{
    ASSERT_TRUE(Project->ImportObject(Write("First.obj", kQuad).c_str())) << AllPanel();
    TKSN_Object* first = Project->GetCurrentObject();
    // The project's set-up after the import: the scene takes the quad's half diagonal.
    EXPECT_NEAR(Project->SceneRadius, 0.5f * std::sqrt(5.0f), 1e-5f);
    EXPECT_STREQ(Project->PolygonLayers[0]->GetName(), "All Polygons");
    ASSERT_TRUE(Project->ImportObject(Write("Second.obj", kQuad).c_str()));
    EXPECT_EQ(ObjectCount(), 2);
    TKSN_Object* second = Project->GetCurrentObject();
    EXPECT_NE(second, first);
    EXPECT_STREQ(second->GetName(), "Second.obj");
    EXPECT_EQ(second->FileName, Folder.File("Second.obj"));
    EXPECT_EQ(first->Mesh->vertexCount, 4);
    EXPECT_FLOAT_EQ(second->Mesh->resolvedVertices[0], 2.0f);   // no option on: as in the file
}

TEST_F(ObjImport, RefusedAndMissingFilesAddNothing)
{
    ASSERT_TRUE(Project->ImportObject(Write("Good.obj", kQuad).c_str()));
    EXPECT_FALSE(Project->ImportObject(Write("Bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n").c_str()));
    EXPECT_NE(AllPanel().find("Cannot read \"Bad.obj\", line 3: face refers to vertex 3, but the file defines 2"),
              std::string::npos)
        << AllPanel();
    EXPECT_FALSE(Project->ImportObject(Folder.File("Missing.obj").c_str()));
    EXPECT_FALSE(Project->ImportObject(Write("Empty.obj", "# none\n").c_str()));
    EXPECT_EQ(ObjectCount(), 1);
    EXPECT_STREQ(Project->GetCurrentObject()->GetName(), "Good.obj");
}

TEST_F(ObjImport, Options)
{
    Project->FlipUVsHorizontallyOnImport = Project->FlipUVsVerticallyOnImport = true;
    Project->FlipNormalsOnImport = true;
    Project->CenterOnImport = Project->ScaleOnImport = true;
    Project->ScaleFactor = 2.0f;
    ASSERT_TRUE(Project->ImportObject(Write("Quad.obj", kQuad).c_str()));
    TKSN_Mesh* mesh = CurrentMesh();
    EXPECT_FLOAT_EQ(mesh->tVertices[0], 0.75f);
    EXPECT_FLOAT_EQ(mesh->tVertices[1], 0.9f);
    const TQORPolygon& quad = mesh->Polygons[0];
    ASSERT_EQ(quad.Count, 4);
    EXPECT_EQ((std::vector<int>{quad.Points[0].V, quad.Points[1].V, quad.Points[2].V, quad.Points[3].V}),
              (std::vector<int>{0, 3, 2, 1}));
    EXPECT_EQ(quad.Points[1].VT, 3);   // the texture vertices travel with their corners
    EXPECT_FLOAT_EQ(mesh->baseVertices[0], -2.0f);
    EXPECT_FLOAT_EQ(mesh->baseVertices[3], 2.0f);
    EXPECT_FLOAT_EQ(mesh->baseVertices[4], -1.0f);
}

TEST_F(ObjImport, WeldOnImportUsesTheThreshold)
{
    Project->WeldOnImport = true;
    Project->WeldThreshold = 3.0f;   // 0.001 of the largest side (10): 0.01
    const std::string text = "v 0 0 0\nv 10 0 0\nv 0 1 0\nv 10.005 0 0\nv 10 1 0\nf 1 2 3\nf 4 5 3\n";
    ASSERT_TRUE(Project->ImportObject(Write("Near.obj", text).c_str()));
    TKSN_Mesh* mesh = CurrentMesh();
    EXPECT_TRUE(mesh->Welded);
    EXPECT_EQ(mesh->GetEffectiveVertex(3), mesh->GetEffectiveVertex(1));

    Project->WeldThreshold = 4.0f;   // 0.001: the two stay apart
    ASSERT_TRUE(Project->ImportObject(Write("Far.obj", text).c_str()));
    EXPECT_NE(CurrentMesh()->GetEffectiveVertex(3), CurrentMesh()->GetEffectiveVertex(1));
}

TEST_F(ObjImport, MapsOptionReachesTheMesh)
{
    Write("Quad.mtl", "newmtl Skin\nmap_Kd skin.png\n");
    const std::string path = Write("Quad.obj", std::string("mtllib Quad.mtl\nusemtl Skin\n") + kQuad);
    Project->ImportMaps = false;
    ASSERT_TRUE(Project->ImportObject(path.c_str()));
    auto* material = KSN_MaterialFromThingy(CurrentMesh()->Materials->GetItem(0));
    EXPECT_STREQ(material->GetChannelFromName("Color")->GetMapFileName(), "");
}

TEST_F(ObjImport, Morphs)
{
    EXPECT_EQ(Project->ImportMorph(Write("Smile.obj", kQuad).c_str()), nullptr);   // no object yet
    EXPECT_NE(AllPanel().find("Please choose (or import) an object before proceeding."), std::string::npos);

    ASSERT_TRUE(Project->ImportObject(Write("Face.obj", kQuad).c_str()));
    const std::string smile = "v 2 0 0\nv 4 0.5 0\nv 4 1 0\nv 2 1 -1\nf 1 2 3\n";   // other polygons: still a morph
    TKSN_Morph* morph = Project->ImportMorph(Write("Smile.obj", smile).c_str());
    ASSERT_NE(morph, nullptr);
    EXPECT_STREQ(morph->GetName(), "Smile");
    morph->Expand();   // brings the deltas back when the store has paged them out
    const float* deltas = morph->GetPointerToExpandedArray();
    ASSERT_NE(deltas, nullptr);
    EXPECT_FLOAT_EQ(deltas[3 + 1], 0.5f);
    EXPECT_FLOAT_EQ(deltas[9 + 2], -1.0f);
    EXPECT_FLOAT_EQ(deltas[0], 0.0f);

    Boxes.Boxes.clear();
    EXPECT_EQ(Project->ImportMorph(Write("Small.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n").c_str()), nullptr);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0], "Cannot import this object as a morph target since it has a differet number of "
                              "vertices as the current object (3, should be 4)");
    EXPECT_EQ(Project->ImportMorph(Folder.File("Missing.obj").c_str()), nullptr);
    ASSERT_EQ(Boxes.Boxes.size(), 2u);
    EXPECT_EQ(Boxes.Boxes[1], "Error importing the OBJ file " + Folder.File("Missing.obj"));
}

TEST_F(ObjImport, SubDivisionLevels)
{
    ASSERT_TRUE(Project->ImportObject(Write("Quad.obj", kQuad).c_str()));
    TKSN_Mesh* mesh = CurrentMesh();
    EXPECT_EQ(Project->CreateSubD(mesh, 2, true, false), nullptr);   // level 1 missing
    const int before = TKSN_SubDMesh::LiveCount;
    TKSN_SubDMesh* first = Project->CreateSubD(mesh, 0, true, false);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsLeanAndMean());
    TKSN_SubDMesh* again = Project->CreateSubD(mesh, 0, true, false);
    EXPECT_EQ(TKSN_SubDMesh::LiveCount, before + 1);   // the replaced level is gone
    EXPECT_EQ(mesh->GetSubD(0), again);
    EXPECT_NE(Project->CreateSubD(mesh, 1, true, false), nullptr);
    EXPECT_EQ(TKSN_SubDMesh::LiveCount, before + 2);
}

TEST_F(ObjImport, ExportEntriesWriteThroughTheHooks)
{
    ASSERT_TRUE(Project->ImportObject(Write("Quad.obj", std::string("g arm:1\n") + kQuad).c_str()));
    Project->ExportGroups = true;
    Project->ExportObject(Project->GetCurrentObject(), Folder.File("Out.obj").c_str());
    EXPECT_NE(ReadText(Folder.File("Out.obj")).find("\ng arm\nf 1/1/1 2/2/2 3/3/3 4/4/4\n"), std::string::npos);
    Project->ExportChangedGroups = false;
    Project->ExportGroupsAsSeparateObjects(Project->GetCurrentObject(), Folder.File("Per.obj").c_str());
    EXPECT_TRUE(fs::exists(Folder.File("Per_arm.OBJ")));
    EXPECT_TRUE(fs::exists(Folder.File("Per.mtl")));
}

} // namespace
