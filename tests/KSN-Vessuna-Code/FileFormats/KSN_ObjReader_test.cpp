// The OBJ reader: the dialect's statements and corner forms, the file's own
// material and group fall-backs, InternalName comments, and the refusal of
// files whose corners, numbers or names the mesh cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "KSN_ObjReader.h"
#include "KSN_ObjTestSupport.h"
#include "QORMaterial.h"

using namespace ksn_obj_test;

namespace {

class ObjReader : public TMessagesFixture {
protected:
    TTempFolder Folder;

    std::unique_ptr<TKSN_Mesh> Load(const std::string& text, bool honour = false, const char* name = "Head.obj",
                                    bool* result = nullptr)
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        const bool ok = LoadObjData(Folder.Write(name, text).c_str(), mesh.get(), honour);
        if (result) *result = ok;
        else EXPECT_TRUE(ok) << AllPanel();
        return mesh;
    }
    static std::vector<int> Corners(TKSN_Mesh& mesh, int polygon, bool texture = false)
    {
        std::vector<int> out;
        const TQORPolygon& p = mesh.Polygons[polygon];
        for (int c = 0; c < p.Count; ++c) out.push_back(texture ? p.Points[c].VT : p.Points[c].V);
        return out;
    }
    static std::string GroupName(TKSN_Mesh& mesh, int polygon)
    {
        const int g = mesh.Polygons[polygon].Group;
        return g < 0 ? "<none>" : mesh.Groups2->GetItemAs(g)->GetName();
    }
};

const char* const kFiveVertices = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\n"
                                  "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0.5\n";

std::string ManyCorners(int count, int padding)
{
    std::string line = "f";
    for (int i = 0; i < count; ++i) line += std::string(size_t(padding), ' ') + std::to_string(i % 3 + 1);
    return line + "\n";
}

TEST_F(ObjReader, CornerFormsAndEdgeCases)
{
    struct TCase {
        const char* Name;
        std::string Text;
        std::vector<int> V, VT;   // polygon 0; empty: the slot stays without corners
    } cases[] = {
        {"v/t/n", std::string(kFiveVertices) + "f 1/2/3 2/3/4 3/4/5\n", {0, 1, 2}, {1, 2, 3}},
        // A mesh with texture vertices points corners without one at texture
        // vertex 0 when it sets itself up; a mesh without any keeps -1.
        {"v//n", std::string(kFiveVertices) + "f 1//3 2//4 3//5\n", {0, 1, 2}, {0, 0, 0}},
        {"v/t", std::string(kFiveVertices) + "f 1/2 2/3 3/4\n", {0, 1, 2}, {1, 2, 3}},
        {"v", std::string(kFiveVertices) + "f 1 2 3\n", {0, 1, 2}, {0, 0, 0}},
        {"v without texture vertices", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//3 2//1 3//2\n", {0, 1, 2}, {-1, -1, -1}},
        {"fo and tabs", std::string(kFiveVertices) + "fo\t 3\t4 5\n", {2, 3, 4}, {0, 0, 0}},
        {"negative after three v", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nv 5 5 5\n", {0, 1, 2}, {-1, -1, -1}},
        {"negative texture", std::string(kFiveVertices) + "f 1/-1 2/-2 3/-5\n", {0, 1, 2}, {4, 3, 0}},
        {"before any vt", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/2 2/3 3/2\nvt 0 0\nvt 1 1\nvt 1 0\n", {0, 1, 2},
         {0, 0, 0}},
        {"a zero ends the corners", std::string(kFiveVertices) + "f 1 2 0 4\n", {}, {}},
        {"two corners", std::string(kFiveVertices) + "f 1 2\n", {}, {}},
        {"trailing remark", std::string(kFiveVertices) + "f 1 2 3 # remark\n", {}, {}},
        {"a letter", std::string(kFiveVertices) + "f 1 x 3\n", {}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto mesh = Load(c.Text);
        ASSERT_EQ(mesh->polygonCount, 1);
        EXPECT_EQ(Corners(*mesh, 0), c.V);
        if (!c.V.empty()) {
            EXPECT_EQ(Corners(*mesh, 0, true), c.VT);
        }
    }
}

TEST_F(ObjReader, LongFacesKeepTheFirstThousandCornersAndLinesAreReadWhole)
{
    // 1,200 corners: the first 1,000 stay. A 30,000-character line is one line,
    // not several: the vertex after it is still the fourth vertex.
    const std::string big = ManyCorners(1200, 1);
    const std::string wide = ManyCorners(1000, 29);
    ASSERT_GT(wide.size(), 30000u);
    auto mesh = Load("v 0 0 0\nv 1 0 0\nv 0 1 0\n" + big + wide + "v 7 8 9\n");
    ASSERT_EQ(mesh->polygonCount, 2);
    EXPECT_EQ(mesh->Polygons[0].Count, 1000);
    EXPECT_EQ(mesh->Polygons[1].Count, 1000);
    EXPECT_EQ(mesh->Polygons[1].Points[999].V, 999 % 3);
    ASSERT_EQ(mesh->vertexCount, 4);
    EXPECT_FLOAT_EQ(mesh->baseVertices[9], 7.0f);
}

TEST_F(ObjReader, GroupsMaterialsAndTheirFallBacks)
{
    auto mesh = Load(std::string(kFiveVertices) +
                     "f 1 2 3\ng head\nusemtl Skin\nf 1 2 3\ng HEAD\nf 2 3 4\ng Left Hand\nusemtl skin\nf 3 4 5\n"
                     "g head\nusemtl Eyes\nf 1 3 5\nV 9 9 9\nmtllib first.mtl\nmtllib second.mtl\n");
    ASSERT_EQ(mesh->vertexCount, 5);   // the upper-case V is no vertex
    ASSERT_EQ(mesh->Groups2->GetItemCount(), 2);
    EXPECT_STREQ(mesh->Groups2->GetItemAs(0)->GetName(), "head");
    EXPECT_STREQ(mesh->Groups2->GetItemAs(1)->GetName(), "Left Hand");
    EXPECT_EQ(mesh->Polygons[0].Group, -1);   // before the first "g"
    EXPECT_EQ(mesh->Polygons[0].Material, -1);
    EXPECT_EQ(GroupName(*mesh, 2), "head");
    EXPECT_EQ(GroupName(*mesh, 4), "head");
    ASSERT_EQ(mesh->Materials->GetItemCount(), 2);
    EXPECT_EQ(mesh->Polygons[3].Material, 0);   // "skin" is "Skin"
    EXPECT_EQ(mesh->Polygons[4].Material, 1);
    EXPECT_EQ(mesh->MaterialLibrary, "second.mtl");

    auto plain = Load(std::string(kFiveVertices) + "f 1 2 3\nf 3 4 5\n", false, "Body.obj");
    ASSERT_EQ(plain->Materials->GetItemCount(), 1);
    EXPECT_STREQ(plain->Materials->GetItem(0)->GetName(), "Body");
    ASSERT_EQ(plain->Groups2->GetItemCount(), 1);
    EXPECT_STREQ(plain->Groups2->GetItem(0)->GetName(), "default");
    EXPECT_EQ(plain->Polygons[1].Material, 0);
    EXPECT_EQ(plain->Polygons[1].Group, 0);
    ASSERT_EQ(plain->Groups->Count(), 1);
    EXPECT_STREQ((*plain->Groups)[0]->GetName(), "Body");
    EXPECT_EQ((*plain->Groups)[0]->Ranges[1], 4);   // last vertex
    EXPECT_EQ((*plain->Groups)[0]->Ranges[7], 1);   // last polygon
}

TEST_F(ObjReader, InternalNameCommentsNameGroupsWhenHonoured)
{
    const std::string text = std::string(kFiveVertices) +
                             "g a\nf 1 2 3\n# InternalName: b\nf 2 3 4\ng c\nf 3 4 5\n"
                             "#  InternalName: Left Hand\nf 1 3 5\n";
    auto honoured = Load(text, true);
    EXPECT_EQ(GroupName(*honoured, 0), "a");
    EXPECT_EQ(GroupName(*honoured, 1), "b");
    EXPECT_EQ(GroupName(*honoured, 2), "b");   // "g" lines are ignored after the comment
    EXPECT_EQ(GroupName(*honoured, 3), "Left Hand");

    auto ignored = Load(text, false);
    EXPECT_EQ(GroupName(*ignored, 1), "a");
    EXPECT_EQ(GroupName(*ignored, 2), "c");
}

TEST_F(ObjReader, ACommentOnlyFileHasNoVertices)
{
    bool ok = true;
    auto mesh = Load("# nothing here\n# at all\n", false, "Empty.obj", &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(AllPanel().find("This OBJ file has no vertices!"), std::string::npos);
    auto missing = std::make_unique<TKSN_Mesh>(nullptr);
    EXPECT_FALSE(LoadObjData(Folder.File("none.obj").c_str(), missing.get(), false));
}

TEST_F(ObjReader, CrLfAndLfLoadAlike)
{
    const std::string lf = std::string(kFiveVertices) + "g arm\nusemtl Skin\nf 1/1 2/2 3/3 4/4\ng leg\nf 3 4 5\n";
    std::string crlf, cr;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    auto a = Load(lf);
    for (const std::string& other : {crlf, cr}) {
        auto b = Load(other, false, "Head2.obj");
        ASSERT_EQ(b->vertexCount, a->vertexCount);
        ASSERT_EQ(b->polygonCount, a->polygonCount);
        for (int i = 0; i < 3 * a->vertexCount; ++i) EXPECT_EQ(b->baseVertices[i], a->baseVertices[i]);
        for (int p = 0; p < a->polygonCount; ++p) {
            EXPECT_EQ(Corners(*b, p), Corners(*a, p));
            EXPECT_EQ(Corners(*b, p, true), Corners(*a, p, true));
            EXPECT_EQ(GroupName(*b, p), GroupName(*a, p));
        }
        EXPECT_STREQ(b->Materials->GetItem(0)->GetName(), "Skin");
    }
}

TEST_F(ObjReader, MalformedFilesAreRefusedWithFileLineAndWhat)
{
    std::string eight;
    for (int i = 0; i < 8; ++i) eight += "v " + std::to_string(i) + " 0 0\n";
    std::string groups = eight;
    for (int i = 0; i < 40000; ++i) groups += "g G" + std::to_string(i) + "\nf 1 2 3\n";
    struct TCase {
        const char* Name;
        std::string Text;
        std::string Message;
    } cases[] = {
        {"vertex 9 of 8", eight + "f 1 2 9\n", "line 9: face refers to vertex 9, but the file defines 8 vertices."},
        {"vertex 9 of 8, later lines counted", eight + "f 1 2 9\nv 9 0 0\n", ""},
        {"-9 after 8", eight + "f -9 -1 -2\n", "line 9: face refers to vertex -9, but only 8 vertices come before"},
        {"texture vertex 9 of 4", eight + "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/9\n",
         "line 13: face refers to texture vertex 9, but the file defines 4 texture vertices."},
        {"corner beyond int", eight + "f 1 2 99999999999\n", "line 9: face refers to vertex 99999999999, which is beyond"},
        {"40,000 groups", groups, "the file names more than 32767 polygon groups."},
        {"not a number", "v 0 0 0\nv nan 0 0\nv 1 1 1\nf 1 2 3\n", "line 2: \"v nan 0 0\" holds a coordinate"},
        {"infinite", "v 0 0 0\nv 1e39 0 0\nv 1 1 1\nf 1 2 3\n", "line 2"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Panel().clear();
        bool ok = true;
        auto mesh = Load(c.Text, false, "Bad.obj", &ok);
        if (c.Message.empty()) {   // a forward reference within the file's count is fine
            EXPECT_TRUE(ok) << AllPanel();
            continue;
        }
        EXPECT_FALSE(ok);
        ASSERT_EQ(Panel().size(), 1u);
        EXPECT_EQ(Panel()[0].rfind("Cannot read \"Bad.obj\", ", 0), 0u) << Panel()[0];
        EXPECT_NE(Panel()[0].find(c.Message), std::string::npos) << Panel()[0];
        EXPECT_EQ(mesh->vertexCount, 0);
        EXPECT_EQ(mesh->polygonCount, 0);
        EXPECT_EQ(mesh->Groups2->GetItemCount(), 0);
        EXPECT_EQ(mesh->Materials->GetItemCount(), 0);
    }
}

TEST_F(ObjReader, ReadObjDataThrowsTheTypedError)
{
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    EXPECT_THROW(ReadObjData(Folder.Write("x.obj", "v 0 0 0\nf 1 2 3\n").c_str(), mesh.get(), false),
                 TKSN_FileFormatError);
}

TEST(ObjHashTable, NamesMatchWithoutRegardToCase)
{
    THashTable<int> table;
    EXPECT_TRUE(table.AddItem("Head", 1));
    EXPECT_FALSE(table.AddItem("HEAD", 2));
    EXPECT_TRUE(table.AddItem("", 3));
    ASSERT_NE(table.Find("hEaD"), nullptr);
    EXPECT_EQ(table.Find("head")->Value, 1);
    EXPECT_EQ(table.Find("")->Value, 3);
    EXPECT_EQ(table.Find("Body"), nullptr);
    EXPECT_EQ(table.GetItemCount(), 2);
}

} // namespace

namespace {

// The reader splits large files into stretches of lines for its workers; a
// tiny stretch size splits this small file many times, across CR LF pairs,
// groups, materials and InternalName comments, and must read the same.
class ObjReaderSplit : public TMessagesFixture {
protected:
    TTempFolder Folder;
    void TearDown() override
    {
        KSN_SetObjReaderChunkBytes(0);
        TMessagesFixture::TearDown();
    }
    std::string Text(const char* lineEnd) const
    {
        std::string t;
        auto add = [&](const std::string& line) { t += line + lineEnd; };
        for (int i = 0; i < 60; ++i) {
            add("v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0.5");
            add("vt " + std::to_string(i / 60.0) + " 0.25");
            if (i % 10 == 9) add("g part" + std::to_string(i / 20));
            if (i % 15 == 14) add("usemtl M" + std::to_string(i / 30));
            if (i == 40) add("# InternalName: Named");
            if (i >= 2) add("f -3/-3 -2/-2 -1/-1 " + std::to_string(i - 1) + "/" + std::to_string(i - 1));
        }
        return t;
    }
    std::unique_ptr<TKSN_Mesh> Load(const std::string& text, size_t chunk, bool* ok = nullptr)
    {
        KSN_SetObjReaderChunkBytes(chunk);
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        const bool read = LoadObjData(Folder.Write("Split.obj", text).c_str(), mesh.get(), true);
        if (ok) *ok = read;
        else EXPECT_TRUE(read) << AllPanel();
        return mesh;
    }
};

TEST_F(ObjReaderSplit, StretchesReadAsOneFile)
{
    for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
        const std::string text = Text(lineEnd);
        auto whole = Load(text, 0);
        auto split = Load(text, 16);
        ASSERT_EQ(split->vertexCount, whole->vertexCount);
        ASSERT_EQ(split->polygonCount, whole->polygonCount);
        ASSERT_EQ(split->Groups2->GetItemCount(), whole->Groups2->GetItemCount());
        ASSERT_EQ(split->Materials->GetItemCount(), whole->Materials->GetItemCount());
        for (int i = 0; i < 3 * whole->vertexCount; ++i) EXPECT_EQ(split->baseVertices[i], whole->baseVertices[i]);
        for (int i = 0; i < 2 * whole->tVertexCount; ++i) EXPECT_EQ(split->tVertices[i], whole->tVertices[i]);
        for (int p = 0; p < whole->polygonCount; ++p) {
            const TQORPolygon& a = whole->Polygons[p];
            const TQORPolygon& b = split->Polygons[p];
            ASSERT_EQ(b.Count, a.Count);
            EXPECT_EQ(b.Group, a.Group);
            EXPECT_EQ(b.Material, a.Material);
            for (int c = 0; c < a.Count; ++c) {
                EXPECT_EQ(b.Points[c].V, a.Points[c].V);
                EXPECT_EQ(b.Points[c].VT, a.Points[c].VT);
            }
        }
        for (int g = 0; g < whole->Groups2->GetItemCount(); ++g)
            EXPECT_STREQ(split->Groups2->GetItem(g)->GetName(), whole->Groups2->GetItem(g)->GetName());
        // "g" lines after the comment are ignored: "Named" holds the rest.
        EXPECT_STREQ(whole->Groups2->GetItem(whole->Polygons[whole->polygonCount - 1].Group)->GetName(), "Named");
    }
}

TEST_F(ObjReaderSplit, TheFirstFaultOfTheFileIsReported)
{
    std::string text = Text("\n");
    text += "f 1 2 3\nf 1 2 999\nv nan 1 1\n";
    text.insert(text.find("f -3/-3 -2/-2 -1/-1 40/40"), "f 1 2 -500\n");
    const long faultLine = 1 + long(std::count(text.begin(), text.begin() + long(text.find("f 1 2 -500")), '\n'));
    for (size_t chunk : {size_t(0), size_t(16)}) {
        SCOPED_TRACE(chunk);
        Panel().clear();
        bool ok = true;
        auto mesh = Load(text, chunk, &ok);
        EXPECT_FALSE(ok);
        ASSERT_EQ(Panel().size(), 1u);
        EXPECT_NE(Panel()[0].find("line " + std::to_string(faultLine) + ": face refers to vertex -500"),
                  std::string::npos)
            << Panel()[0];
        EXPECT_EQ(mesh->vertexCount, 0);
        EXPECT_EQ(mesh->Groups2->GetItemCount(), 0);
    }
}

} // namespace
