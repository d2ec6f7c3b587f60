// The "mesh" block of the project file: a full round trip, the compact
// polygon blob, damaged blocks, and the texture brush image's block.
#include "KSN_Mesh.h"
#include "KSN_MeshBlock.h"
#include "KSN_TextureBrushImage.h"

#include "OS.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTempFolder.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace MeshIoTest {

using Dialogs = TBoxRecorder;

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

// The text without its "ID" lines (object IDs differ from run to run).
std::string WithoutIDs(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of('\t');
        if (start != std::string::npos && line.compare(start, 3, "ID\t") == 0) continue;
        out += line + "\n";
    }
    return out;
}

std::string Write(TKSN_Mesh& mesh)
{
    FILE* file = std::tmpfile();
    mesh.SaveToStream_Text(file, true);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

FILE* FileWith(const std::string& text)
{
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

template <class T>
T* FindByName(TQORNewStaticList<T*>* list, const char* name)
{
    for (T* item : *list)
        if (std::strcmp(item->GetName(), name) == 0) return item;
    return nullptr;
}

class MeshIoFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        QORVirtualMemory_Initialize();
    }
    void TearDown() override
    {
        QORMaterialMapSource_ProjectHooks = {};
        QORVirtualMemory_Cleanup();
        OS.SetDialogProvider(nullptr);
    }
    Dialogs Boxes;
};

// A welded mesh: 6 vertices (5 welded to 0), 5 texture vertices, a quad, a
// triangle and a polygon without corners; two morphs (one in a sub-folder),
// two selections, two polygon groups, two materials with channels.
struct Sample {
    std::unique_ptr<TQORMaterialMapSource> mapSource;
    std::unique_ptr<TQORMaterialMap> binding;
    std::unique_ptr<TKSN_Mesh> mesh;
};

Sample MakeSample()
{
    Sample s;
    s.mesh = std::make_unique<TKSN_Mesh>(nullptr);
    TKSN_Mesh& m = *s.mesh;
    m.Create(6, 5, 6, 3);
    const float positions[18] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.25f, 0.5f, 2, -0.125f, 0, 0, 0};
    std::memcpy(m.baseVertices, positions, sizeof positions);
    for (int t = 0; t < 10; ++t) m.tVertices[t] = 0.1f * float(t) + 0.0123f;
    const std::vector<std::vector<std::pair<int, int>>> corners = {{{0, 0}, {1, 1}, {2, 2}, {3, 3}},
                                                                    {{2, 2}, {4, 4}, {5, -1}},
                                                                    {}};
    for (int p = 0; p < 3; ++p) {
        TQORPolygon& polygon = m.Polygons[p];
        if (!corners[size_t(p)].empty()) polygon.SetCount(unsigned(corners[size_t(p)].size()));
        for (size_t k = 0; k < corners[size_t(p)].size(); ++k) {
            polygon.Points[k].V = corners[size_t(p)][k].first;
            polygon.Points[k].VT = corners[size_t(p)][k].second;
        }
        polygon.Material = int16_t(p == 2 ? -1 : p);
        polygon.Group = int16_t(p == 0 ? 1 : -1);
        polygon.LayerFlags = 0x80000001u >> p;
    }
    m.Welded = true;
    m.VertexInfo[5].WeldMaster = 0;
    m.Transform_Pos[0] = 1.5f;
    m.Transform_Scale[2] = 2.0f;
    m.RotationMatrix[1] = 0.5f;
    m.symmetryAxis = 2;
    m.symmetryOffset = 0.25f;
    m.SubDsSmoothed = true;
    m.SubDDynamic = false;
    m.TargetMaxSubDPolygonCount = 12345;
    m.ForceColorTextureDisplay = true;

    TKSN_Morph* smile = m.CreateMorph(m.MorphTree);
    smile->SetName("Smile");
    smile->Strength = 0.5f;
    auto* folder = new TKSN_MorphTreeGroup;
    folder->SetName("Face");
    m.MorphTree->LinkChild(folder);
    m.PopHiddenGroupsToTheEnd(m.MorphTree);
    TKSN_Morph* frown = m.CreateMorph(folder);
    frown->SetName("Frown");
    for (int v = 0; v < 6; ++v) {
        smile->GetVertex(v)[1] = 0.01f * float(v + 1);
        frown->GetVertex(v)[0] = -0.02f * float(v);
    }

    auto* left = new TKSN_Selection(6, m.GetID());
    left->SetName("Left");
    for (int v = 0; v < 6; ++v) left->SetVSelect(v, 0.125f * float(v));
    m.SelectionTree->AddItem(left);
    auto* faces = new TKSN_Selection(3, m.GetID());
    faces->SetName("Faces");
    faces->SetSelectionType(eSelectionType_Polygon);
    faces->SetVSelect(1, 1.0f);
    m.SelectionTree->AddItem(faces);

    for (const char* name : {"Head", "Body"}) {
        auto* group = new TQORGroup2;
        group->SetName("%s", name);
        group->Index = m.Groups2->GetItemCount();
        m.Groups2->AddItem(group);
    }

    // The colour channel of "Skin" paints into the project's second map.
    s.mapSource = std::make_unique<TQORMaterialMapSource>();
    s.binding = std::make_unique<TQORMaterialMap>();
    s.binding->SetMapSource(s.mapSource->GetID());
    static TQORMaterialMapSource* listed[2];
    listed[0] = nullptr;
    listed[1] = s.mapSource.get();
    QORMaterialMapSource_ProjectHooks.GetMapList = [](std::vector<TQORMaterialMapSource*>& maps) {
        maps.assign(listed, listed + 2);
    };

    TQORMaterial* skin = KSN_NewMaterial("Skin");
    TQORMaterialChannel* color = skin->GetChannelFromName("Color");
    color->SetMapFileName("skin_col.png");
    color->SetMapID(int(s.binding->GetID()));
    color->Strength = 0.75f;
    color->Color[1] = 0.5f;
    skin->GetChannelFromName("Bump")->Offset = 0.625f;
    m.Materials->AddItem(skin);
    TQORMaterial* eyes = KSN_NewMaterial("Eyes");
    auto* sheen = new TQORMaterialChannel;
    sheen->SetName("Sheen");
    sheen->Strength = 0.3f;
    sheen->UseOffset = true;
    eyes->AddChannel(sheen);
    m.Materials->AddItem(eyes);
    return s;
}

// Every key a channel block carries.
void ExpectSameChannel(TQORMaterialChannel* a, TQORMaterialChannel* b)
{
    ASSERT_NE(b, nullptr);
    SCOPED_TRACE(a->GetName());
    EXPECT_STREQ(a->GetName(), b->GetName());
    EXPECT_EQ(a->MapFileName, b->MapFileName);
    EXPECT_EQ(a->Strength, b->Strength);
    EXPECT_EQ(a->Offset, b->Offset);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(a->Color[c], b->Color[c]);
    EXPECT_EQ(a->UseStrength, b->UseStrength);
    EXPECT_EQ(a->UseOffset, b->UseOffset);
}

TEST_F(MeshIoFixture, MeshBlockRoundTripsAndRewritesIdentically)
{
    Sample s = MakeSample();
    TKSN_Mesh& a = *s.mesh;
    const std::string first = Write(a);

    TKSN_Mesh b(nullptr);
    FILE* file = FileWith(first);
    EXPECT_TRUE(b.LoadFromStream_Text(file));
    std::fclose(file);
    EXPECT_TRUE(Boxes.Boxes.empty());

    ASSERT_EQ(b.vertexCount, 6);
    ASSERT_EQ(b.tVertexCount, 5);
    ASSERT_EQ(b.polygonCount, 3);
    EXPECT_EQ(std::memcmp(a.baseVertices, b.baseVertices, 6 * 12), 0);
    EXPECT_EQ(std::memcmp(a.tVertices, b.tVertices, 5 * 8), 0);
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        const TQORPolygon &x = a.Polygons[p], &y = b.Polygons[p];
        EXPECT_EQ(x.Material, y.Material);
        EXPECT_EQ(x.Group, y.Group);
        EXPECT_EQ(x.LayerFlags, y.LayerFlags);
        ASSERT_EQ(x.Count, y.Count);
        for (int k = 0; k < x.Count; ++k) {
            EXPECT_EQ(x.Points[k].V, y.Points[k].V);
            EXPECT_EQ(x.Points[k].VT, y.Points[k].VT);
        }
    }
    EXPECT_TRUE(b.Welded);
    for (int v = 0; v < 6; ++v) EXPECT_EQ(b.VertexInfo[v].WeldMaster, a.VertexInfo[v].WeldMaster);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.Transform_Pos[i], a.Transform_Pos[i]);
        EXPECT_EQ(b.Transform_Scale[i], a.Transform_Scale[i]);
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(b.RotationMatrix[i], a.RotationMatrix[i]);
    EXPECT_EQ(b.symmetryAxis, 2);
    EXPECT_EQ(b.symmetryOffset, 0.25f);
    EXPECT_TRUE(b.SubDsSmoothed);
    EXPECT_FALSE(b.SubDDynamic);
    EXPECT_EQ(b.TargetMaxSubDPolygonCount, 12345);
    EXPECT_TRUE(b.ForceColorTextureDisplay);

    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphsA(a.GetMorphList()), morphsB(b.GetMorphList());
    for (const char* name : {"Default Morph", "Smile", "Frown"}) {
        SCOPED_TRACE(name);
        TKSN_Morph* x = FindByName(morphsA.get(), name);
        TKSN_Morph* y = FindByName(morphsB.get(), name);
        ASSERT_NE(y, nullptr);
        EXPECT_STREQ(x->GetGroupPath(), y->GetGroupPath());
        EXPECT_EQ(x->Strength, y->Strength);
        ASSERT_EQ(y->GetVCount(), 6);
        for (int v = 0; v < 6; ++v)
            for (int i = 0; i < 3; ++i) EXPECT_EQ(x->GetVertex(v)[i], y->GetVertex(v)[i]);
    }
    ASSERT_NE(b.BaseVerticesMorph, nullptr);
    ASSERT_NE(b.TempMorph, nullptr);

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selA(a.GetSelectionList()), selB(b.GetSelectionList());
    ASSERT_EQ(selB->Count(), 2);
    for (const char* name : {"Left", "Faces"}) {
        SCOPED_TRACE(name);
        TKSN_Selection* x = FindByName(selA.get(), name);
        TKSN_Selection* y = FindByName(selB.get(), name);
        ASSERT_NE(y, nullptr);
        EXPECT_EQ(x->GetSelectionType(), y->GetSelectionType());
        ASSERT_EQ(x->GetVCount(), y->GetVCount());
        for (int i = 0; i < x->GetVCount(); ++i) EXPECT_EQ(x->GetVSelect(i), y->GetVSelect(i));
    }

    ASSERT_EQ(b.Groups2->GetItemCount(), 2);
    EXPECT_STREQ(b.Groups2->GetItemAs(0)->GetName(), "Head");
    EXPECT_STREQ(b.Groups2->GetItemAs(1)->GetName(), "Body");
    EXPECT_EQ(b.Groups2->GetItemAs(1)->Index, 1);

    ASSERT_EQ(b.Materials->GetItemCount(), 2);
    for (int i = 0; i < 2; ++i) {
        TQORMaterial* x = KSN_MaterialFromThingy(a.Materials->GetItem(i));
        TQORMaterial* y = KSN_MaterialFromThingy(b.Materials->GetItem(i));
        ASSERT_NE(y, nullptr);
        EXPECT_STREQ(x->GetName(), y->GetName());
        ASSERT_EQ(x->ArbChannels.Count(), y->ArbChannels.Count());
        for (int c = 0; c < x->ArbChannels.Count(); ++c) ExpectSameChannel(x->ArbChannels[c], y->ArbChannels[c]);
    }
    TQORMaterial* skin = KSN_MaterialFromThingy(b.Materials->GetItem(0));
    EXPECT_EQ(skin->GetChannelFromName("Color")->TextureIndex, 1);   // bound again by the project later
    EXPECT_EQ(skin->GetChannelFromName("Bump")->MinStrength, -1.0f);
    EXPECT_EQ(skin->ColorChannel, skin->GetChannelFromName("Color"));

    // Writing the read mesh again, once the project has bound the channel to
    // its map as after a load, gives the same text but for object IDs.
    skin->GetChannelFromName("Color")->SetMapID(int(s.binding->GetID()));
    const std::string second = Write(b);
    EXPECT_EQ(WithoutIDs(first), WithoutIDs(second));
    EXPECT_NE(first.find("\tTextureIndex\t1\n"), std::string::npos);
}

TEST_F(MeshIoFixture, MeshBlockLinesFollowTheFileLayout)
{
    Sample s = MakeSample();
    const std::string text = Write(*s.mesh);
    // Key lines in the order written, one tab deep inside the block.
    const char* keys[] = {"ForceColorTextureDisplay\t1", "Transform_Pos\t1.50000000 0.00000000 0.00000000",
                          "Transform_Scale\t1.00000000 1.00000000 2.00000000", "Transform_RotationMatrix\t1.00000000 0.50000000 ",
                          "vcount\t6", "vtcount\t5", "pcount\t3", "SymmetryAxis\t2", "SymmetryOffset\t0.25000000",
                          "mcount\t2", "SubDsEnabled\t1", "SubDDynamic\t0", "SubDsSmoothed\t1",
                          "TargetMaxSubDPolygonCount\t12345", "MapsEdited\t0", "Welded\t1", "weldmap\t", "vertices\t",
                          "tvertices\t", "polygons\t", "PolygonLayerFlags\t", "material\t", "polygroup\t", "morphs\t",
                          "selections\t"};
    ASSERT_EQ(text.rfind("mesh\t\n{\n", 0), 0u);
    size_t at = 0;
    for (const char* key : keys) {
        SCOPED_TRACE(key);
        const size_t found = text.find(std::string("\n\t") + key, at);
        ASSERT_NE(found, std::string::npos);
        at = found;
    }
    // The rotation line ends in a blank; an unwelded, empty mesh writes no arrays.
    EXPECT_NE(text.find("0.00000000 1.00000000 \n"), std::string::npos);
    EXPECT_EQ(text.find("CanDrawSelection"), std::string::npos);

    TKSN_Mesh empty(nullptr);
    empty.Create(0, 0, 0, 0);
    const std::string bare = Write(empty);
    for (const char* key : {"weldmap", "vertices", "tvertices", "polygons", "PolygonLayerFlags", "ForceColor"})
        EXPECT_EQ(bare.find(key), std::string::npos) << key;
}

TEST(MeshIoBlob, QuadHasTheCompactLayoutInBothForms)
{
    TQORPolygon quad;
    quad.Init();
    quad.SetCount(4);
    for (int k = 0; k < 4; ++k) quad.Points[k] = {k, k == 3 ? -1 : k};
    quad.Material = 2;
    quad.Group = -1;
    quad.LayerFlags = 0x01020304u;

    const unsigned char expected[] = {0x02, 0x00, 0xFF, 0xFF, 0x04, 0x00,                          // material, group, count
                                      0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,              // corners 0, 1
                                      2, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}; // corners 2, 3
    unsigned long bytes = 0;
    unsigned char* blob = GetStaticPolyonArray(&quad, 1, &bytes, false);
    ASSERT_EQ(bytes, 38u);
    EXPECT_EQ(std::memcmp(blob, expected, sizeof expected), 0);
    QORfree(blob);

    blob = GetStaticPolyonArray(&quad, 1, &bytes, true);
    ASSERT_EQ(bytes, 42u);
    EXPECT_EQ(std::memcmp(blob, expected, 6), 0);
    const unsigned char mask[] = {0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(blob + 6, mask, 4), 0);
    EXPECT_EQ(std::memcmp(blob + 10, expected + 6, 32), 0);

    TQORPolygon back[1];
    back[0].Init();
    ASSERT_TRUE(KSN_CheckPolygonBlob(blob, bytes, 1, true, 4, 3, nullptr));
    ConvertArrayToPolygons(nullptr, back, 1, blob, true);
    EXPECT_EQ(back[0].Material, 2);
    EXPECT_EQ(back[0].Group, -1);
    EXPECT_EQ(back[0].LayerFlags, 0x01020304u);
    ASSERT_EQ(back[0].Count, 4);
    EXPECT_EQ(back[0].Points[3].V, 3);
    EXPECT_EQ(back[0].Points[3].VT, -1);
    QORfree(blob);
    back[0].DestroyPoints();
    quad.DestroyPoints();

    TQORPolygon none[1];
    none[0].Init();
    bytes = 0;
    blob = GetStaticPolyonArray(none, 1, &bytes, false);
    EXPECT_EQ(bytes, 6u);
    QORfree(blob);
    bytes = 7;
    EXPECT_EQ(GetStaticPolyonArray(none, 0, &bytes, false), nullptr);
    EXPECT_EQ(bytes, 7u);
}

// A mesh block with three vertices, two texture vertices, one polygon and
// the given polygon array; a polygroup block and a sentinel line follow.
std::string HandMadeBlock(const std::vector<unsigned char>& polygons, const char* key = "polygons")
{
    FILE* file = std::tmpfile();
    std::fputs("mesh\t\n{\n\tvcount\t3\n\tvtcount\t2\n\tpcount\t1\n", file);
    const float vertices[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    TextFileIndent = 1;
    SaveBinaryDataToTextFile(file, vertices, sizeof vertices, "vertices");
    SaveBinaryDataToTextFile(file, polygons.data(), int(polygons.size()), key);
    TextFileIndent = 0;
    std::fputs("\tpolygroup\t\n\t{\n\t\tName\tAfter\n\t}\n}\nsentinel\n", file);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

std::vector<unsigned char> Triangle(int16_t count, std::vector<int32_t> corners, bool oldForm = false)
{
    std::vector<unsigned char> data;
    auto put = [&](const void* p, size_t n) { data.insert(data.end(), (const unsigned char*)p, (const unsigned char*)p + n); };
    if (oldForm) {
        const int32_t head[3] = {0xFFFF, 0, count};
        put(head, sizeof head);
    } else {
        const int16_t head[3] = {0, -1, count};
        put(head, sizeof head);
    }
    for (int32_t c : corners) put(&c, 4);
    return data;
}

TEST_F(MeshIoFixture, DamagedPolygonDataIsRefusedWholeWithAMessage)
{
    struct Case {
        const char* name;
        std::vector<unsigned char> data;
        const char* key;
    };
    const std::vector<Case> cases = {
        {"blob shorter than its corners", Triangle(3, {0, 0, 1, 1}), "polygons"},
        {"blob longer than its polygons", Triangle(3, {0, 0, 1, 1, 2, 1, 2, 1}), "polygons"},
        {"vertex out of range", Triangle(3, {0, 0, 1, 1, 3, 1}), "polygons"},
        {"texture vertex out of range", Triangle(3, {0, 0, 1, 2, 2, 1}), "polygons"},
        {"negative corner count", Triangle(-2, {0, 0, 1, 1}), "polygons"},
        {"older array with a vertex out of range", Triangle(3, {0, 0, 1, 1, -5, 1}, true), "polygons_b"},
        {"older array cut short", Triangle(3, {0, 0, 1}, true), "polygons_b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Boxes.Boxes.clear();
        FILE* file = FileWith(HandMadeBlock(c.data, c.key));
        TKSN_Mesh mesh(nullptr);
        EXPECT_FALSE(mesh.LoadFromStream_Text(file));
        ASSERT_EQ(Boxes.Boxes.size(), 1u);
        EXPECT_NE(Boxes.Boxes[0].find("damaged"), std::string::npos) << Boxes.Boxes[0];
        EXPECT_EQ(mesh.vertexCount, 0);
        EXPECT_EQ(mesh.tVertexCount, 0);
        EXPECT_EQ(mesh.polygonCount, 0);
        // The rest of the block was still read, and nothing past it.
        ASSERT_EQ(mesh.Groups2->GetItemCount(), 1);
        EXPECT_STREQ(mesh.Groups2->GetItemAs(0)->GetName(), "After");
        char line[64] = {};
        ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
        EXPECT_STREQ(line, "sentinel\n");
        std::fclose(file);
    }

    // The same block with sound data is read, the older array's 65535 as −1.
    for (const char* key : {"polygons", "polygons_b"}) {
        SCOPED_TRACE(key);
        Boxes.Boxes.clear();
        FILE* file = FileWith(HandMadeBlock(Triangle(3, {0, 0, 1, 1, 2, -1}, std::strcmp(key, "polygons_b") == 0), key));
        TKSN_Mesh mesh(nullptr);
        EXPECT_TRUE(mesh.LoadFromStream_Text(file));
        std::fclose(file);
        EXPECT_TRUE(Boxes.Boxes.empty());
        ASSERT_EQ(mesh.polygonCount, 1);
        ASSERT_EQ(mesh.Polygons[0].Count, 3);
        EXPECT_EQ(mesh.Polygons[0].Points[2].V, 2);
        EXPECT_EQ(mesh.Polygons[0].Material, std::strcmp(key, "polygons_b") == 0 ? -1 : 0);
        EXPECT_EQ(mesh.baseVertices[3], 1.0f);
    }
}

TEST_F(MeshIoFixture, WeldMapAndArraysOfTheWrongShapeAreMended)
{
    auto block = [](const std::vector<int32_t>& weld, const char* extra) {
        FILE* file = std::tmpfile();
        std::fputs("mesh\t\n{\n\tvcount\t4\n\tvtcount\t0\n\tpcount\t0\n\tWelded\t1\n", file);
        std::fputs(extra, file);
        SaveBinaryDataToTextFile(file, weld.data(), int(weld.size() * 4), "weldmap");
        const float wrong[3] = {9, 9, 9};
        SaveBinaryDataToTextFile(file, wrong, sizeof wrong, "vertices");
        std::fputs("}\n", file);
        std::string text = ReadAll(file);
        std::fclose(file);
        return text;
    };
    {
        SCOPED_TRACE("targets out of range or not masters fall back to the vertex itself");
        FILE* file = FileWith(block({0, 7, 1, 0}, "\tTransform_RotationMatrix\t1 2 3\n\tSymmetryAxis\t9\n"));
        TKSN_Mesh mesh(nullptr);
        EXPECT_TRUE(mesh.LoadFromStream_Text(file));
        std::fclose(file);
        ASSERT_EQ(mesh.vertexCount, 4);
        EXPECT_TRUE(mesh.Welded);
        EXPECT_EQ(mesh.VertexInfo[0].WeldMaster, 0);
        EXPECT_EQ(mesh.VertexInfo[1].WeldMaster, 1);   // 7 does not exist
        EXPECT_EQ(mesh.VertexInfo[2].WeldMaster, 1);   // 1 is a master once 7 is dropped
        EXPECT_EQ(mesh.VertexInfo[3].WeldMaster, 0);
        EXPECT_EQ(mesh.baseVertices[0], 0.0f);         // a vertex array of the wrong length is ignored
        EXPECT_EQ(mesh.RotationMatrix[1], 0.0f);       // fewer than sixteen numbers keep the matrix
        EXPECT_EQ(mesh.symmetryAxis, 0);
    }
    {
        SCOPED_TRACE("a chain of welds is not followed");
        FILE* file = FileWith(block({0, 0, 1, 2}, ""));
        TKSN_Mesh mesh(nullptr);
        EXPECT_TRUE(mesh.LoadFromStream_Text(file));
        std::fclose(file);
        EXPECT_EQ(mesh.VertexInfo[1].WeldMaster, 0);
        EXPECT_EQ(mesh.VertexInfo[2].WeldMaster, 2);
        EXPECT_EQ(mesh.VertexInfo[3].WeldMaster, 3);
    }
}

// Replaces the first "key\t<old>" line at or after the line that holds `after`.
std::string WithCount(std::string text, const std::string& after, const std::string& key, const std::string& value)
{
    const size_t from = after.empty() ? 0 : text.find(after);
    EXPECT_NE(from, std::string::npos) << after;
    const size_t at = text.find("\t" + key + "\t", from);
    EXPECT_NE(at, std::string::npos) << key;
    const size_t valueAt = at + key.size() + 2;
    text.replace(valueAt, text.find('\n', valueAt) - valueAt, value);
    return text;
}

// The message panel's warnings during one test.
std::vector<std::string> PanelWarnings;

struct TWarningRecorder {
    TWarningRecorder()
    {
        PanelWarnings.clear();
        OS.AssignOnWarningMessage([](char* text) { PanelWarnings.push_back(text); });
    }
    ~TWarningRecorder() { OS.AssignOnWarningMessage(nullptr); }
};

TEST_F(MeshIoFixture, CountsTheFileCannotBackAreRefusedBeforeAnythingIsAllocated)
{
    TWarningRecorder warnings;
    TTempFolder folder("ksn_counts_");
    ASSERT_TRUE(folder.IsOpen());
    Sample s = MakeSample();
    const std::string sound = Write(*s.mesh);
    enum class TOutcome { MeshRefused, ItemEmptied };
    struct Case {
        const char* label;
        std::string text;
        TOutcome outcome;
    };
    const Case cases[] = {
        {"vertices in the billions", WithCount(sound, "", "vcount", "2000000000"), TOutcome::MeshRefused},
        {"polygons in the billions", WithCount(sound, "", "pcount", "1500000000"), TOutcome::MeshRefused},
        {"texture vertices past int", WithCount(sound, "", "vtcount", "99999999999"), TOutcome::MeshRefused},
        {"negative vertex count", WithCount(sound, "", "vcount", "-4"), TOutcome::MeshRefused},
        {"negative polygon count", WithCount(sound, "", "pcount", "-1"), TOutcome::MeshRefused},
        {"a morph of two billion vertices", WithCount(sound, "morph\tSmile", "vcount", "2000000000"),
         TOutcome::ItemEmptied},
        {"a morph of another mesh", WithCount(sound, "morph\tFrown", "vcount", "5"), TOutcome::ItemEmptied},
        {"a selection of two billion items", WithCount(sound, "selection\tLeft", "vcount", "2000000000"),
         TOutcome::ItemEmptied},
        {"a negative selection count", WithCount(sound, "selection\tFaces", "vcount", "-3"), TOutcome::ItemEmptied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Boxes.Boxes.clear();
        PanelWarnings.clear();
        TOpenFile file(folder.Write("mesh.txt", c.text), "rb");
        ASSERT_NE(file.f, nullptr);
        std::string keyLine;
        ASSERT_TRUE(QORReadTextLine(file.f, keyLine));
        TKSN_Mesh mesh(nullptr);
        const bool loaded = mesh.LoadFromStream_Text(file.f);
        // One message, and never an internal one.
        std::vector<std::string> messages = Boxes.Boxes;
        messages.insert(messages.end(), PanelWarnings.begin(), PanelWarnings.end());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("damaged"), std::string::npos) << messages[0];
        EXPECT_EQ(messages[0].find("GetVNCount"), std::string::npos);
        EXPECT_EQ(Boxes.Boxes.size(), c.outcome == TOutcome::MeshRefused ? 1u : 0u) << "a mesh refused is an error box";
        if (c.outcome == TOutcome::MeshRefused) {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(mesh.vertexCount, 0);
            EXPECT_EQ(mesh.polygonCount, 0);
            continue;
        }
        // The mesh itself is sound; the damaged item is there, empty, at the mesh's size.
        EXPECT_TRUE(loaded);
        ASSERT_EQ(mesh.vertexCount, 6);
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh.GetMorphList());
        for (TKSN_Morph* morph : *morphs) {
            SCOPED_TRACE(morph->GetName());
            EXPECT_EQ(morph->GetVCount(), 6);
        }
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh.GetSelectionList());
        for (TKSN_Selection* selection : *selections) {
            SCOPED_TRACE(selection->GetName());
            const int expected = selection->GetSelectionType() == eSelectionType_Polygon ? 3 : 6;
            ASSERT_EQ(selection->GetVCount(), expected);
        }
        if (std::strstr(c.label, "morph")) {
            TKSN_Morph* damaged = FindByName(morphs.get(), std::strstr(c.label, "another") ? "Frown" : "Smile");
            ASSERT_NE(damaged, nullptr);
            for (int v = 0; v < 6; ++v) EXPECT_EQ(damaged->GetVertex(v)[0] + damaged->GetVertex(v)[1], 0.0f);
        } else {
            TKSN_Selection* damaged = FindByName(selections.get(), std::strstr(c.label, "negative") ? "Faces" : "Left");
            ASSERT_NE(damaged, nullptr);
            for (int i = 0; i < damaged->GetVCount(); ++i) EXPECT_EQ(damaged->GetVSelect(i), 0.0f);
        }
    }
}

TEST_F(MeshIoFixture, StandaloneBlocksWithHugeCountsAndNoDataLoadEmpty)
{
    TWarningRecorder warnings;
    TTempFolder folder("ksn_counts_");
    ASSERT_TRUE(folder.IsOpen());
    struct Case {
        const char* label;
        std::string text;
        bool morph;
    };
    const Case cases[] = {
        {"expanded morph", "morph\tM\n{\n\tvcount\t2000000000\n\tCompressed\t0\n}\n", true},
        {"compressed morph without records", "morph\tM\n{\n\tvcount\t2000000000\n\tDeltaCount\t2\n\tCompressed\t1\n}\n", true},
        {"expanded selection", "selection\tS\n{\n\tvcount\t2000000000\n\tCompressed\t0\n}\n", false},
        {"compressed selection without pairs",
         "selection\tS\n{\n\tvcount\t2000000000\n\tDeltaCount\t2\n\tCompressed\t1\n}\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Boxes.Boxes.clear();
        PanelWarnings.clear();
        TOpenFile file(folder.Write("item.txt", c.text), "rb");
        ASSERT_NE(file.f, nullptr);
        int count = -1;
        if (c.morph) {
            TKSN_Morph morph(0, 0);
            morph.LoadFromStream_Text(file.f);
            count = morph.GetVCount();
        } else {
            TKSN_Selection selection(0, 0);
            selection.LoadFromStream_Text(file.f);
            count = selection.GetVCount();
        }
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(Boxes.Boxes.empty());
        ASSERT_EQ(PanelWarnings.size(), 1u);
        EXPECT_NE(PanelWarnings[0].find("damaged"), std::string::npos) << PanelWarnings[0];
    }
}

TEST_F(MeshIoFixture, ChannelBlocksKeepTheirFixedPropertiesAndOldNames)
{
    const char* text =
        "material\t\n{\n\tName\tOld\n"
        "\tchannel\tDiffuse\n\t{\n\t\tName\tDiffuse\n\t\tMapFileName\tC:\\maps\\skin.png\n"
        "\t\tStrength\t0.25\n\t\tColor\t0.1 0.2 0.3\n\t\tTextureIndex\t4\n\t}\n"
        "\tchannel\tRough\n\t{\n\t\tName\tRough\n\t}\n"
        "\tchannel\tDisplacement\n\t{\n\t\tName\tDisplacement\n\t}\n"
        "}\n";
    FILE* file = FileWith(text);
    TKSN_Material material;
    material.LoadFromStream_Text(file);
    std::fclose(file);
    EXPECT_STREQ(material.GetName(), "Old");
    EXPECT_EQ(material.ArbChannels.Count(), 8);
    TQORMaterialChannel* color = material.GetChannelFromName("Color");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(material.GetChannelFromName("Diffuse"), nullptr);
    EXPECT_EQ(color->MapFileName, "skin.png");
    EXPECT_EQ(color->Strength, 0.25f);
    EXPECT_EQ(color->Color[2], 0.3f);
    EXPECT_EQ(color->TextureIndex, 4);
    EXPECT_TRUE(color->Listed);
    TQORMaterialChannel* rough = material.GetChannelFromName("Rough");
    ASSERT_NE(rough, nullptr);
    EXPECT_FALSE(rough->Listed);
    EXPECT_TRUE(rough->Unsupported);
    TQORMaterialChannel* displacement = material.GetChannelFromName("Displacement");
    EXPECT_EQ(displacement->Offset, 0.5f);
    EXPECT_EQ(displacement->MinStrength, -1.0f);
    EXPECT_FALSE(displacement->UseColor);
}

TEST_F(MeshIoFixture, LegacyBinaryMeshIsNoLongerRead)
{
    FILE* file = std::tmpfile();
    const std::vector<unsigned char> body(261, 0);
    std::fwrite(body.data(), 1, body.size(), file);
    std::rewind(file);
    TKSN_Mesh mesh(nullptr);
    EXPECT_FALSE(mesh.LoadFromStream(file));
    std::fclose(file);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0], "TKSN_Mesh::LoadFromStream() no longer supported");
}

TEST_F(MeshIoFixture, TextureBrushImageWritesItsNameAndFileNameOnly)
{
    TKSN_TextureBrushImage image;
    image.SetName("Brush 1");
    EXPECT_EQ(image.chunkType, 76);
    EXPECT_EQ(image.aspect, 0.0f);
    FILE* file = std::tmpfile();
    EXPECT_FALSE(image.SaveToStream(file));
    EXPECT_FALSE(image.LoadFromStream(file));
    EXPECT_EQ(std::ftell(file), 0L);
    EXPECT_TRUE(image.SaveToStream_Text(file, true));
    const std::string text = ReadAll(file);
    std::fclose(file);
    EXPECT_EQ(text.rfind("texture\tBrush 1\n{\n", 0), 0u);
    EXPECT_NE(text.find("\n\tFileName.c_str()\t\n}\n"), std::string::npos);

    TKSN_ModelerParameterDescription description;
    EXPECT_STREQ(description.GetName(), "Modeler Parameter Description");
    EXPECT_EQ(description.meshID, 0u);
    EXPECT_EQ(description.parameter, -1);
    TKSN_Mesh mesh(nullptr);
    mesh.symmetryAxis = 1;
    description.Init(&mesh, nullptr, 7);
    EXPECT_EQ(description.meshID, mesh.GetID());
    EXPECT_EQ(description.parameter, 7);
    EXPECT_EQ(description.symmetryAxis, 1);
}

}  // namespace MeshIoTest
