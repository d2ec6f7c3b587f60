// Sculpt layers: the layer's names and block, the vertex-map body and its
// length check, the mesh block's sculpt-layer hooks, and resolving shown
// layers onto a mesh's highest sub-division level.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Project_AppSupport.h"
#include "KSN_SculptLayer.h"
#include "KSN_SubDMesh.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORTextBlock.h"
#include "KsnTestSupport.h"

namespace fs = std::filesystem;

namespace {

// A file written by the test and read back from its start.
struct TTempFile {
    FILE* File = std::tmpfile();
    ~TTempFile()
    {
        if (File) std::fclose(File);
    }
    std::string Text()
    {
        std::fflush(File);
        std::rewind(File);
        std::string text;
        for (int c; (c = std::fgetc(File)) != EOF;) text.push_back(char(c));
        std::rewind(File);
        return text;
    }
    void Write(const std::string& text)
    {
        std::fputs(text.c_str(), File);
        std::fflush(File);
        std::rewind(File);
    }
};

// A vertex-map body with Count, Dim and a blob of `bytes` bytes.
std::string VertexMapBody(int count, int dim, int bytes)
{
    TTempFile blob;
    std::vector<float> values(size_t(bytes / 4) + 1, 0.5f);
    std::fprintf(blob.File, "sculptLayer\tDetail\n{\nCount\t%d\nDim\t%d\n", count, dim);
    SaveBinaryDataToTextFile(blob.File, values.data(), bytes, "data");
    std::fputs("}\n", blob.File);
    return blob.Text();
}

TEST(SculptLayer, NewLayerIsAFreeformSculptAtFullStrength)
{
    TKSN_SculptLayer layer;
    char name[16], shortName[16];
    layer.GetCurrentBlendTypeName(name);
    layer.GetCurrentBlendTypeNameShort(shortName);
    EXPECT_EQ(layer.GetCurrentBlendType(), 1);
    EXPECT_STREQ(name, "Freeform Sculpt");
    EXPECT_STREQ(shortName, "Sculpt");
    EXPECT_FLOAT_EQ(layer.GetStrength(), 1.0f);
    EXPECT_EQ(layer.GetBlendTypeCount(), 2);
    layer.GetBlendTypeName(0, name);
    EXPECT_STREQ(name, "Surface Detail");
    layer.GetBlendTypeName(5, name);
    layer.GetBlendTypeNameShort(-1, shortName);
    EXPECT_STREQ(name, "undef");
    EXPECT_STREQ(shortName, "undef");
}

TEST(SculptLayer, BlockKeepsNameBlendTypeStrengthLockAndHide)
{
    TKSN_SculptLayer saved;
    saved.SetName("Wrinkles");
    saved.SetCurrentBlendType(0);
    saved.SetStrength(0.25f);
    saved.Hide();
    TTempFile file;
    EXPECT_TRUE(saved.SaveToStream_Text(file.File, true));
    const std::string text = file.Text();
    EXPECT_NE(text.find("sculptLayer\tWrinkles\n"), std::string::npos) << text;

    TKSN_SculptLayer loaded;
    loaded.LoadFromStream_Text(file.File);
    EXPECT_STREQ(loaded.GetName(), "Wrinkles");
    EXPECT_EQ(loaded.GetCurrentBlendType(), 0);
    EXPECT_FLOAT_EQ(loaded.GetStrength(), 0.25f);
    EXPECT_TRUE(loaded.IsHidden());
    EXPECT_FALSE(loaded.IsLocked());

    // A block written before strength, lock and hide travelled loads as a new layer.
    TTempFile old;
    old.Write("sculptLayer\tOld\n{\n\tName\tOld\n\tBlendType\t0\n}\n");
    TKSN_SculptLayer older;
    older.LoadFromStream_Text(old.File);
    EXPECT_STREQ(older.GetName(), "Old");
    EXPECT_EQ(older.GetCurrentBlendType(), 0);
    EXPECT_FLOAT_EQ(older.GetStrength(), 1.0f);
    EXPECT_FALSE(older.IsHidden());
    EXPECT_FALSE(older.IsLocked());
}

TEST(SculptLayer, GroupReadsLayersAndSubGroups)
{
    TTempFile file;
    file.Write("sculptLayers\t*Sculpt Layers\n{\n"
               "\tsculptLayer\tA\n\t{\n\t\tName\tA\n\t\tBlendType\t0\n\t\tLocked\t1\n\t}\n"
               "\tgroup\tFace\n\t{\n\t\tsculptLayer\tB\n\t\t{\n\t\t\tName\tB\n\t\t}\n\t}\n"
               "}\n");
    TKSN_SculptLayerGroup group;
    group.LoadFromStream_Text(file.File);
    ASSERT_EQ(group.items->Count(), 1);
    auto* a = dynamic_cast<TKSN_SculptLayer*>((*group.items)[0]);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->GetName(), "A");
    EXPECT_EQ(a->GetCurrentBlendType(), 0);
    EXPECT_TRUE(a->IsLocked());
    auto* face = dynamic_cast<TKSN_SculptLayerGroup*>(group.GetChild());
    ASSERT_NE(face, nullptr);
    EXPECT_STREQ(face->GetName(), "Face");
    ASSERT_EQ(face->items->Count(), 1);
    EXPECT_STREQ((*face->items)[0]->GetName(), "B");
    EXPECT_EQ(dynamic_cast<TKSN_SculptLayer*>((*face->items)[0])->GetCurrentBlendType(), 1);
}

TEST(VertexMap, BlobIsTakenOnlyWhenItsLengthMatchesCountAndDim)
{
    struct Case {
        const char* Why;
        int Count, Dim, Bytes;
        bool Taken;
    };
    const Case cases[] = {
        {"10 x 3 floats", 10, 3, 120, true},
        {"a blob of 8 vertices", 10, 3, 96, false},
        {"a longer blob", 10, 3, 124, false},
        {"a count that would wrap round in 32 bits", 1 << 30, 4, 0, false},
        {"negative count and dim", -10, -3, 120, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TTempFile file;
        file.Write(VertexMapBody(c.Count, c.Dim, c.Bytes));
        TKSN_VertexMap map;
        map.LoadFromStream_Text(file.File);
        EXPECT_EQ(map.Count, c.Count);
        EXPECT_EQ(map.Dim, c.Dim);
        EXPECT_EQ(map.HasData(), c.Taken);
        EXPECT_EQ(map.Data != nullptr, c.Taken);
        if (c.Taken) {
            EXPECT_FLOAT_EQ(map.Data[0], 0.5f);
            EXPECT_FLOAT_EQ(map.Data[29], 0.5f);
        }
    }
}

TEST(VertexMap, BodyRoundTripsAndKeepsDataAfterARefusedBlob)
{
    TKSN_VertexMap saved;
    saved.SetCount(4, 3);
    for (int i = 0; i < 12; ++i) saved.Data[i] = 0.125f * float(i) - 0.5f;
    TTempFile file;
    std::fputs("sculptLayer\tX\n{\n", file.File);
    saved.SaveToStream_Text(file.File, true);
    std::fputs("}\n", file.File);
    const std::string text = file.Text();
    EXPECT_EQ(text.find("Name"), std::string::npos) << "the body carries no basics";
    EXPECT_LT(text.find("Count\t4"), text.find("Dim\t3"));

    TKSN_VertexMap loaded;
    loaded.LoadFromStream_Text(file.File);
    ASSERT_TRUE(loaded.HasData());
    EXPECT_EQ(std::memcmp(loaded.Data, saved.Data, 12 * sizeof(float)), 0);

    // A later body whose blob does not fit leaves the map without displacements.
    TTempFile bad;
    bad.Write(VertexMapBody(5, 3, 48));
    loaded.LoadFromStream_Text(bad.File);
    EXPECT_EQ(loaded.Count, 5);
    EXPECT_FALSE(loaded.HasData());

    loaded.SetCount(2, 3);
    loaded.Data[4] = 3.0f;
    loaded.Clear();
    EXPECT_FLOAT_EQ(loaded.Data[4], 0.0f);
}

// Closes every box: the application object greets a first run with one.
struct TClosingDialogs : TOSDialogProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char*, bool) override { return TOSBoxAnswer::Closed; }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

// A project with one object whose mesh has a highest sub-division level of
// four vertices, and two sculpt layers.
class SculptProjectFixture : public ::testing::Test {
protected:
    fs::path Root;
    TTestMainFolder Main;
    TClosingDialogs Dialogs;
    TKSN_Mesh* Mesh = nullptr;
    TKSN_SubDMesh* Level = nullptr;
    TKSN_SculptLayer* First = nullptr;
    TKSN_SculptLayer* Second = nullptr;

    void SetUp() override
    {
        Main.Open("ksn_sculpt_");
        Root = Main.Root;
        OS.SetDialogProvider(&Dialogs);
        QOREvents_Clean();
        KSN_TestApp_Create();
        Project = new TKSN_Project();

        TKSN_Object* object = Project->CreateNewObject();
        object->Mesh.reset(new TKSN_Mesh(object));
        Mesh = object->Mesh.get();
        Mesh->Create(4, 0, 4, 0);
        Level = new TKSN_SubDMesh();
        Level->SetOwnerMesh(Mesh);
        Level->SetVertexCount(4);
        for (int i = 0; i < 12; ++i) Level->baseVertices[i] = float(i);
        Mesh->SetCustomPointerProperty("SUBD_LEVEL_0", Level);
        Mesh->ActualMaxSubDLevel = 0;

        First = dynamic_cast<TKSN_SculptLayer*>(Project->SculptLayers->CreateNewLayer());
        Second = dynamic_cast<TKSN_SculptLayer*>(Project->SculptLayers->CreateNewLayer());
        First->SetName("First");
        Second->SetName("Second");
        Second->SetStrength(0.5f);
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        KSN_TestApp_Delete();
        QOREvents_Clean();
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    // Displacement i of the layer's map: (i + 1) x scale.
    TKSN_VertexMap* Sculpt(TKSN_SculptLayer* layer, float scale, int count = 4, int dim = 3)
    {
        Mesh->LayerDataSet->DeleteLayerData(layer->GetID());
        auto* map = new TKSN_VertexMap();
        map->SetOwner(Mesh->LayerDataSet);
        map->SetCount(count, dim);
        for (int i = 0; i < count * dim; ++i) map->Data[i] = float(i + 1) * scale;
        layer->AddLayerDataForSet(Mesh->LayerDataSet, map);
        return map;
    }

    void ExpectResolved(float firstWeight, float secondWeight)
    {
        for (int i = 0; i < 12; ++i)
            EXPECT_FLOAT_EQ(Level->resolvedVertices[i],
                            float(i) + firstWeight * float(i + 1) + secondWeight * float(i + 1) * 10.0f)
                << "value " << i;
    }
};

TEST_F(SculptProjectFixture, ShownLayersAddTheirDisplacementsScaledByStrength)
{
    Sculpt(First, 1.0f);
    Sculpt(Second, 10.0f);
    Project->ResolveAllSculptLayers();
    ExpectResolved(1.0f, 0.5f);

    Second->Hide();
    Project->ResolveAllLayersForSubD(Level);
    ExpectResolved(1.0f, 0.0f);

    Second->Unhide();
    Second->SetStrength(0.0f);
    First->SetStrength(0.25f);
    Project->SculptLayers->InvalidateAllLayers();
    ExpectResolved(0.25f, 0.0f);

    // The layer's own resolve leaves the level alone.
    Level->resolvedVertices[0] = -7.0f;
    First->ResolveAllData();
    EXPECT_FLOAT_EQ(Level->resolvedVertices[0], -7.0f);
}

TEST_F(SculptProjectFixture, MapsThatDoNotFitTheLevelAreLeftOut)
{
    Sculpt(First, 1.0f);
    Sculpt(Second, 10.0f, 3, 3);   // made for a level of three vertices
    Project->ResolveAllLayersForSubD(Level);
    ExpectResolved(1.0f, 0.0f);

    TKSN_VertexMap* flat = Sculpt(Second, 10.0f, 4, 2);
    EXPECT_FALSE(flat->HasData() && flat->Dim == 3);
    Project->ResolveAllLayersForSubD(Level);
    ExpectResolved(1.0f, 0.0f);
}

TEST_F(SculptProjectFixture, MeshWithoutSubDivisionLevelIsLeftAlone)
{
    Sculpt(First, 1.0f);
    Mesh->SetCustomPointerProperty("SUBD_LEVEL_0", nullptr);
    Level->resolvedVertices[3] = 42.0f;
    Project->ResolveAllSculptLayers();
    EXPECT_FLOAT_EQ(Level->resolvedVertices[3], 42.0f);
    Mesh->SetCustomPointerProperty("SUBD_LEVEL_0", Level);
}

TEST_F(SculptProjectFixture, MeshBlockWritesAndReadsItsVertexMaps)
{
    Sculpt(First, 1.0f);
    TTempFile file;
    KSN_SaveMeshSculptLayers(Mesh, file.File);
    const std::string text = file.Text();
    EXPECT_EQ(text.rfind("sculptLayer\tFirst\n", 0), 0u) << text;
    EXPECT_EQ(text.find("sculptLayer\tSecond"), std::string::npos) << "no data, no block";

    // Read into the second layer's name (any case): the data come back there.
    std::string renamed = text;
    renamed.replace(0, std::strlen("sculptLayer\tFirst"), "sculptLayer\tsECOND");
    TTempFile in;
    in.Write(renamed);
    char key[256] = {};
    char value[256] = {};
    ASSERT_EQ(std::fscanf(in.File, "%255s %255s\n", key, value), 2);
    EXPECT_TRUE(KSN_LoadMeshSculptLayer(Mesh, in.File, value));
    Project->ResolveAllLayersForSubD(Level);
    ExpectResolved(1.0f, 0.05f);

    // Unknown names, and layers only inside a sub-folder, are refused unread.
    auto* folder = new TKSN_SculptLayerGroup();
    Project->SculptLayers->LinkChild(folder);
    folder->CreateNewLayer()->SetName("Deep");
    TTempFile other;
    other.Write("{\nCount\t1\n}\n");
    EXPECT_FALSE(KSN_LoadMeshSculptLayer(Mesh, other.File, "Nobody"));
    EXPECT_FALSE(KSN_LoadMeshSculptLayer(Mesh, other.File, "Deep"));
    EXPECT_EQ(std::ftell(other.File), 0L);
}

} // namespace
