// Scene objects: the object transform and its four matrices, resolving the
// mesh's vertices and bounds, naming, the "object" and "camera" blocks and
// the object tree reader.
#include "KSN_Object.h"

#include "KSN_Mesh.h"
#include "OS.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace ObjectTest {

using Dialogs = TBoxRecorder;

// Meshes page their morphs to the virtual-memory store, which lives in a
// private temporary folder for each test.
class ObjectFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        // A freshly started application: not the modelling tab, frame 0.
        KSN_SetMeshApplicationHooks({});
        ASSERT_TRUE(Store.Open("ksn_objects_"));
    }
    void TearDown() override
    {
        Store.Close();
        OS.SetDialogProvider(nullptr);
    }

    Dialogs Boxes;
    TTempStoreFolder Store;
};

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

FILE* FileWith(const std::string& text)
{
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

// The text without its "ID" lines (object IDs differ between the copies).
std::string WithoutIDs(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of('\t');
        if (start != std::string::npos && line.compare(start, 3, "ID\t") == 0)
            continue;
        out += line + "\n";
    }
    return out;
}

std::string Write(TKSN_Thingy& thingy)
{
    FILE* file = std::tmpfile();
    thingy.SaveToStream_Text(file, true);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

// Reads text as an object tree's block.
std::unique_ptr<TKSN_ObjectTreeGroup> ReadTree(const std::string& text)
{
    auto tree = std::make_unique<TKSN_ObjectTreeGroup>();
    FILE* file = FileWith(text);
    tree->LoadFromStream_Text(file);
    std::fclose(file);
    return tree;
}

// A quad 0-1-2-3 in the z = 0 plane with texture vertices, a vertex 4 that no
// polygon uses (so not visible), and a morph "Lift" raising vertex 2.
void GiveQuadMesh(TKSN_Object& object)
{
    object.Mesh = std::make_unique<TKSN_Mesh>(&object);
    TKSN_Mesh& m = *object.Mesh;
    m.Create(5, 4, 5, 1);
    const float positions[15] = {0, 0, 0, 2, 0, 0, 2, 1, 0, 0, 1, 0, 50, 50, 50};
    std::memcpy(m.baseVertices, positions, sizeof positions);
    const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    std::memcpy(m.tVertices, uv, sizeof uv);
    TQORPolygon& quad = m.Polygons[0];
    quad.SetCount(4);
    for (int k = 0; k < 4; ++k) {
        quad.Points[k].V = k;
        quad.Points[k].VT = k;
    }
    TKSN_Morph* lift = m.CreateMorph(m.MorphTree);
    lift->SetName("Lift");
    lift->Strength = 0.5f;
    lift->GetVertex(2)[2] = 4.0f;
    m.AfterRawBuild();
}

void TransformPoint(const float* m, float* p)
{
    const float x = p[0], y = p[1], z = p[2];
    for (int i = 0; i < 3; ++i)
        p[i] = x * m[i] + y * m[4 + i] + z * m[8 + i] + m[12 + i];
}

void ExpectPoint(const float* p, float x, float y, float z)
{
    EXPECT_NEAR(p[0], x, 1e-5f);
    EXPECT_NEAR(p[1], y, 1e-5f);
    EXPECT_NEAR(p[2], z, 1e-5f);
}

// [SECTION] Transforms

TEST(ObjectTransform, FreshAndInitiallyPlacedObjectsResolveToIdentity)
{
    TKSN_Object object;
    EXPECT_STREQ(object.GetName(), "New Object");
    EXPECT_TRUE(object.collapsed);
    EXPECT_EQ(object.Mesh, nullptr);
    const float origin[3] = {0, 0, 0};
    object.SetInitialPos(origin);
    object.ResolveTransforms();
    for (const float* m : {object.RotationMatrix, object.InverseRotationMatrix, object.ObjectToWorld,
                           object.WorldToObject})
        for (int i = 0; i < 16; ++i)
            EXPECT_FLOAT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
}

TEST(ObjectTransform, PlacementMapsPivotToPositionAndInverts)
{
    struct Case {
        const char* name;
        float position[3], lookAt[3], pivot[3], scale[3], roll;
        float point[3], expected[3];   // a model point and where ObjectToWorld sends it
    };
    const Case cases[] = {
        // Looking along +X: without the facing flag the local +Z axis turns toward LookAt.
        {"turned", {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, {0, 0, 1}, {1, 0, 0}},
        {"pivot scale position", {10, 20, 30}, {10, 20, 31}, {1, 1, 1}, {2, 3, 4}, 0, {2, 2, 2}, {12, 23, 34}},
        {"rolled", {0, 0, 0}, {0, 0, 1}, {0, 0, 0}, {1, 1, 1}, 90, {1, 0, 0}, {0, -1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TKSN_Object object;
        for (int i = 0; i < 3; ++i) {
            object.Position[i] = c.position[i];
            object.LookAt[i] = c.lookAt[i];
            object.Pivot[i] = c.pivot[i];
            object.Scale[i] = c.scale[i];
        }
        object.Roll = c.roll;
        object.ResolveTransforms();

        float p[3] = {c.point[0], c.point[1], c.point[2]};
        TransformPoint(object.ObjectToWorld, p);
        ExpectPoint(p, c.expected[0], c.expected[1], c.expected[2]);
        object.TransformPositionIntoObjectSpace(p);
        ExpectPoint(p, c.point[0], c.point[1], c.point[2]);
        // The pivot always lands on the position.
        float pivot[3] = {c.pivot[0], c.pivot[1], c.pivot[2]};
        TransformPoint(object.ObjectToWorld, pivot);
        ExpectPoint(pivot, c.position[0], c.position[1], c.position[2]);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(object.InverseRotationMatrix[i], object.RotationMatrix[4 * (i % 4) + i / 4], 1e-7f);
    }
}

TEST(ObjectTransform, FacingFlagChoosesWhichLocalZAxisPointsAtLookAt)
{
    TKSN_Object object;
    object.LookAt[0] = 5.0f;   // look along +X
    object.LookAt[2] = 0.0f;
    float m[16];
    for (bool minusZ : {false, true}) {
        SCOPED_TRACE(minusZ);
        object.GetRotationMatrix(m, minusZ);
        float axis[3] = {0, 0, minusZ ? -1.0f : 1.0f};
        TransformPoint(m, axis);
        ExpectPoint(axis, 1, 0, 0);
    }
}

TEST(ObjectTransform, DegenerateDirectionAndScaleCollapseInsteadOfFailing)
{
    TKSN_Object object;
    const float p[3] = {3, 4, 5};
    for (int i = 0; i < 3; ++i)
        object.Position[i] = object.LookAt[i] = p[i];
    object.ResolveTransforms();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(object.RotationMatrix[4 * r + c], 0.0f);
    float q[3] = {7, -8, 9};
    TransformPoint(object.ObjectToWorld, q);
    ExpectPoint(q, 3, 4, 5);

    TKSN_Object flat;
    flat.Scale[1] = 0.0f;
    flat.Pivot[1] = 2.5f;
    flat.ResolveTransforms();
    float w[3] = {1, 99, 2};
    flat.TransformPositionIntoObjectSpace(w);
    EXPECT_TRUE(std::isfinite(w[0]) && std::isfinite(w[1]) && std::isfinite(w[2]));
    ExpectPoint(w, 1, 2.5f, 2);
}

// [SECTION] Resolving and naming

TEST_F(ObjectFixture, ResolvingMeasuresTheVisibleResolvedVertices)
{
    TKSN_Object object;
    GiveQuadMesh(object);
    TKSN_Mesh& m = *object.Mesh;
    object.ResolveVertices(false);
    // Vertex 2 rises by 4 × 0.5; the unused vertex 4 is not visible.
    ExpectPoint(m.resolvedVertices + 6, 2, 1, 2);
    ExpectPoint(m.boundsMin, 0, 0, 0);
    ExpectPoint(m.boundsMax, 2, 1, 2);

    m.Transform_Pos[0] = 10.0f;
    object.ResolveVertices(true);
    ExpectPoint(m.boundsMin, 10, 0, 0);
    ExpectPoint(m.boundsMax, 12, 1, 2);

    // No visible vertex: the bounds are the origin.
    m.PolygonFlags[0] |= QORPoly_Hidden;
    m.InvalidateVisibleLookups();
    object.ResolveVertices(false);
    ExpectPoint(m.boundsMin, 0, 0, 0);
    ExpectPoint(m.boundsMax, 0, 0, 0);
}

TEST_F(ObjectFixture, NamingAnObjectNamesItsMesh)
{
    TKSN_Object object;
    object.SetName("Head");
    GiveQuadMesh(object);
    object.SetName("%s", "Left:Eye/100%");
    EXPECT_STREQ(object.GetName(), "Left_Eye_100_");
    EXPECT_STREQ(object.Mesh->GetName(), "Left_Eye_100_");
    // Through the document-object base as the generic reader calls it.
    static_cast<TKSN_Thingy&>(object).SetName("%s", "Body");
    EXPECT_STREQ(object.Mesh->GetName(), "Body");
}

// [SECTION] Blocks and the object tree

TEST_F(ObjectFixture, ObjectBlockRoundTripsFilesColoursFlagsAndMesh)
{
    TKSN_Object a;
    a.SetName("Head");
    a.FileName = "head.obj";
    a.OBJFileName = "figure.obj";
    const float wire[3] = {0.25f, 0.5f, 0.75f};
    const float solid[3] = {0.125f, 1.0f, 0.0625f};
    std::memcpy(a.WireFrameColor, wire, sizeof wire);
    std::memcpy(a.SolidColor, solid, sizeof solid);
    a.RenderDoubleSided = true;
    a.SymmetryEnabled = false;
    GiveQuadMesh(a);
    const std::string first = Write(a);
    EXPECT_EQ(first.rfind("object\tHead\n{\n", 0), 0u);
    EXPECT_NE(first.find("\n\tFileName\thead.obj\n\tOBJFileName\tfigure.obj\n\tWireFrameColor\t0.25000000 0.50000000 "
                         "0.75000000\n"),
              std::string::npos);
    EXPECT_NE(first.find("\n\tRenderDoubleSided\t1\n\tSymmetryEnabled\t0\n\tmesh\t"), std::string::npos);
    EXPECT_EQ(first.find("CanCastShadows"), std::string::npos);

    auto tree = ReadTree("objects\t\n{\n" + first + "}\n");
    ASSERT_EQ(tree->items->Count(), 1);
    auto* b = dynamic_cast<TKSN_Object*>((*tree->items)[0]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dynamic_cast<TKSN_Camera*>(b), nullptr);
    EXPECT_STREQ(b->GetName(), "Head");
    EXPECT_EQ(b->FileName, "head.obj");
    EXPECT_EQ(b->OBJFileName, "figure.obj");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b->WireFrameColor[i], wire[i]);
        EXPECT_EQ(b->SolidColor[i], solid[i]);
    }
    EXPECT_TRUE(b->RenderDoubleSided);
    EXPECT_FALSE(b->SymmetryEnabled);
    EXPECT_TRUE(b->CanCastShadows);

    ASSERT_NE(b->Mesh, nullptr);
    TKSN_Mesh& m = *b->Mesh;
    EXPECT_EQ(m.GetOwnerObject(), b);
    ASSERT_EQ(m.vertexCount, 5);
    ASSERT_EQ(m.polygonCount, 1);
    EXPECT_EQ(std::memcmp(m.baseVertices, a.Mesh->baseVertices, 15 * sizeof(float)), 0);
    ASSERT_EQ(m.Polygons[0].Count, 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(m.Polygons[0].Points[k].V, k);
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(m.GetMorphList());
    bool foundLift = false;
    for (TKSN_Morph* morph : *morphs)
        if (std::strcmp(morph->GetName(), "Lift") == 0) {
            foundLift = true;
            EXPECT_EQ(morph->Strength, 0.5f);
            EXPECT_EQ(morph->GetVertex(2)[2], 4.0f);
        }
    EXPECT_TRUE(foundLift);

    // Written again, the read object gives the same block but for object IDs.
    EXPECT_EQ(WithoutIDs(Write(*b)), WithoutIDs(first));
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(ObjectFixture, ObjectKeysFromOtherSystemsAndUnwrittenKeysAreRead)
{
    TKSN_Object object;
    FILE* file = FileWith("{\n\tFileName\tC:\\a\\b.obj\n\tOBJFileName\tD:\\runtime\\figure.obj\n"
                          "\tCanCastShadows\t0\n\tSolidColor\t0.5 0.25\n\tunknown\tblock\n\t{\n\t\tFileName\tx\n\t}\n"
                          "\tSymmetryEnabled\t7\n}\n");
    object.LoadFromStream_Text(file);
    std::fclose(file);
    EXPECT_EQ(object.FileName, "b.obj");
    EXPECT_EQ(object.OBJFileName, "figure.obj");
    EXPECT_FALSE(object.CanCastShadows);
    // A short colour line changes only what it gives.
    EXPECT_EQ(object.SolidColor[0], 0.5f);
    EXPECT_EQ(object.SolidColor[1], 0.25f);
    EXPECT_EQ(object.SolidColor[2], 0.7f);
    EXPECT_TRUE(object.SymmetryEnabled);
    EXPECT_EQ(object.Mesh, nullptr);
}

TEST_F(ObjectFixture, TreeKeepsOnlyEntriesWithAMeshAndReadsNestedGroups)
{
    TKSN_Object withMesh;
    withMesh.SetName("Head");
    GiveQuadMesh(withMesh);
    const std::string meshObject = Write(withMesh);

    TKSN_Camera camera;
    camera.SetName("Cam");
    camera.FOV = 45.0f;
    camera.VertScale = 2.0f;
    GiveQuadMesh(camera);
    const std::string cameraBlock = Write(camera);
    EXPECT_EQ(cameraBlock.rfind("camera\tCam\n{\n\tName\tCam\n", 0), 0u);
    EXPECT_NE(cameraBlock.find("\n\tFOV\t45.00000000\n\tAspect\t1.50000000\n\tHorizScale\t1.00000000\n\tVertScale\t2."
                               "00000000\n}\n"),
              std::string::npos);

    const std::string text = "objects\t\n{\n\tHidden\t0\n"
                             "\tobject\tEmpty\n\t{\n\t\tName\tEmpty\n\t\tFileName\te.obj\n\t}\n"
                             "\tcamera\tNoMesh\n\t{\n\t\tFOV\t10\n\t}\n" +
                             meshObject +
                             "\tgroup\tScene\n\t{\n\t\tName\tScene\n\t\tgroup\tInner\n\t\t{\n\t\t}\n" + cameraBlock +
                             "\t}\n}\n";
    auto tree = ReadTree(text);

    ASSERT_EQ(tree->items->Count(), 1);
    EXPECT_STREQ((*tree->items)[0]->GetName(), "Head");

    auto* scene = dynamic_cast<TKSN_ObjectTreeGroup*>(tree->GetChild());
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->GetName(), "Scene");
    EXPECT_EQ(scene->GetNext(), nullptr);
    ASSERT_EQ(scene->items->Count(), 1);
    auto* cameraBack = dynamic_cast<TKSN_Camera*>((*scene->items)[0]);
    ASSERT_NE(cameraBack, nullptr);
    EXPECT_STREQ(cameraBack->GetName(), "Cam");
    EXPECT_EQ(cameraBack->FOV, 45.0f);
    EXPECT_EQ(cameraBack->VertScale, 2.0f);
    ASSERT_NE(cameraBack->Mesh, nullptr);
    EXPECT_EQ(cameraBack->Mesh->vertexCount, 5);

    auto* inner = dynamic_cast<TKSN_ObjectTreeGroup*>(scene->GetChild());
    ASSERT_NE(inner, nullptr);
    EXPECT_STREQ(inner->GetName(), "Inner");
    EXPECT_EQ(inner->items->Count(), 0);
}

TEST_F(ObjectFixture, ObjectTreeWrittenByTheTreeWriterReadsBack)
{
    TKSN_ObjectTreeGroup tree;
    tree.typeKeyword = "objects";
    auto* head = new TKSN_Object;
    head->SetName("Head");
    GiveQuadMesh(*head);
    tree.AddItem(head);
    auto* folder = new TKSN_ObjectTreeGroup;
    folder->SetName("Props");
    tree.LinkChild(folder);
    auto* hat = new TKSN_Object;
    hat->SetName("Hat");
    GiveQuadMesh(*hat);
    folder->AddItem(hat);

    const std::string text = Write(tree);
    auto back = ReadTree(text);
    back->typeKeyword = "objects";
    ASSERT_EQ(back->items->Count(), 1);
    EXPECT_STREQ((*back->items)[0]->GetName(), "Head");
    auto* props = dynamic_cast<TKSN_ObjectTreeGroup*>(back->GetChild());
    ASSERT_NE(props, nullptr);
    EXPECT_STREQ(props->GetName(), "Props");
    ASSERT_EQ(props->items->Count(), 1);
    auto* hatBack = dynamic_cast<TKSN_Object*>((*props->items)[0]);
    ASSERT_NE(hatBack, nullptr);
    EXPECT_STREQ(hatBack->GetName(), "Hat");
    ASSERT_NE(hatBack->Mesh, nullptr);
    EXPECT_EQ(WithoutIDs(Write(*back)), WithoutIDs(text));
}

} // namespace ObjectTest
