// The OBJ writers: the whole-object text, group names and per-group files,
// round trips through our reader, and a second reader (when available)
// taking every kind of file we write.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "KSN_ObjReader.h"
#include "KSN_ObjTestSupport.h"
#include "KSN_ObjWriter.h"
#include "QORMaterial.h"

#if KSN_HAVE_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif

using namespace ksn_obj_test;

namespace {

const char* const kCube = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                          "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl Skin\ng cube\n"
                          "f 1/1 2/2 3/3 4/4\nf 5/1 8/4 7/3 6/2\nf 1/1 5/2 6/3 2/4\n"
                          "f 2/1 6/2 7/3 3/4\nf 3/1 7/2 8/3 4/4\nf 4/1 8/2 5/3 1/4\n";

// Two quads side by side in groups A and B; the middle edge is a UV seam.
const char* const kStrip = "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\n"
                           "vt 0 0\nvt 0.5 0\nvt 0.5 1\nvt 0 1\nvt 0.5 0\nvt 1 0\nvt 1 1\nvt 0.5 1\n"
                           "usemtl Skin\ng A\nf 1/1 2/2 5/3 4/4\nusemtl Eyes\ng B\nf 2/5 3/6 6/7 5/8\n";

class ObjWriter : public TMessagesFixture {
protected:
    TTempFolder Folder;

    std::unique_ptr<TKSN_Mesh> Load(const std::string& text, const char* name = "In.obj")
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        EXPECT_TRUE(LoadObjData(Folder.Write(name, text).c_str(), mesh.get(), false)) << AllPanel();
        return mesh;
    }
    std::unique_ptr<TKSN_Mesh> LoadFile(const std::string& path, bool honour = false)
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        EXPECT_TRUE(LoadObjData(path.c_str(), mesh.get(), honour)) << AllPanel();
        return mesh;
    }
    std::vector<std::string> FilesInFolder() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder.Path)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static int Count(const std::vector<std::string>& lines, const std::string& prefix)
    {
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
};

TEST_F(ObjWriter, CubeGivesTheDialectsText)
{
    auto mesh = Load(kCube);
    const std::string out = Folder.File("Cube.obj");
    ASSERT_TRUE(ExportObjectFile(mesh.get(), out.c_str(), false, true, false));
    const auto lines = Lines(ReadText(out));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0][0], '#');
    EXPECT_EQ(lines[1][0], '#');
    EXPECT_EQ(lines[2], "mtllib Cube.mtl");
    EXPECT_EQ(lines[3], "# Vertex Count 8");
    EXPECT_EQ(lines[4], "v 0.00000000 0.00000000 0.00000000");
    EXPECT_EQ(Count(lines, "v "), 8);
    EXPECT_EQ(Count(lines, "vn "), 8);
    EXPECT_EQ(Count(lines, "vt "), 4);
    EXPECT_EQ(Count(lines, "usemtl Skin"), 1);
    EXPECT_EQ(Count(lines, "g cube"), 1);
    EXPECT_EQ(Count(lines, "f "), 6);
    const auto first = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == 'f'; });
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(*first, "f 1/1/1 2/2/2 3/3/3 4/4/4");
    EXPECT_EQ(*(first - 1), "g cube");
    EXPECT_EQ(*(first - 2), "usemtl Skin");
    EXPECT_TRUE(fs::exists(Folder.File("Cube.mtl")));
    EXPECT_EQ(ReadText(out).find('\r'), std::string::npos);
}

TEST_F(ObjWriter, CornersWithoutTextureVerticesAndTooFewCorners)
{
    auto plain = Load("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4\nf 2 4 3\n");
    const std::string out = Folder.File("Plain.obj");
    ASSERT_TRUE(ExportObjectFile(plain.get(), out.c_str(), false, false, false));
    auto lines = Lines(ReadText(out));
    EXPECT_EQ(Count(lines, "f 1//1 2//2 3//3"), 1);
    EXPECT_EQ(Count(lines, "f"), 2);   // the two-corner polygon is not written, not even as "f"

    auto cube = Load(kCube);
    ASSERT_TRUE(ExportObjectFile(cube.get(), out.c_str(), true, false, false));
    lines = Lines(ReadText(out));
    EXPECT_EQ(Count(lines, "vt "), 0);
    EXPECT_EQ(Count(lines, "f 1//1 2//2 3//3 4//4"), 1);
    EXPECT_EQ(Count(lines, "g "), 0);
}

TEST_F(ObjWriter, GroupNamesAreCutAtTheirColon)
{
    auto mesh = Load("v 0 0 0\nv 1 0 0\nv 0 1 0\ng Arm:2\nf 1 2 3\n");
    const std::string out = Folder.File("Arm.obj");
    ASSERT_TRUE(ExportObjectFile(mesh.get(), out.c_str(), false, true, true));
    const auto lines = Lines(ReadText(out));
    EXPECT_EQ(Count(lines, "#  InternalName: Arm"), 1);
    EXPECT_EQ(Count(lines, "g Arm"), 1);
    EXPECT_EQ(Count(lines, "g Arm:"), 0);
    auto back = LoadFile(out, true);
    EXPECT_STREQ(back->Groups2->GetItem(0)->GetName(), "Arm");
}

TEST_F(ObjWriter, WholeObjectRoundTrip)
{
    auto mesh = Load(kStrip);
    const std::string out = Folder.File("Strip.obj");
    ASSERT_TRUE(ExportObjectFile(mesh.get(), out.c_str(), false, true, false));
    auto back = LoadFile(out);
    ASSERT_EQ(back->vertexCount, mesh->vertexCount);
    ASSERT_EQ(back->tVertexCount, mesh->tVertexCount);
    ASSERT_EQ(back->polygonCount, mesh->polygonCount);
    for (int i = 0; i < 3 * mesh->vertexCount; ++i) EXPECT_FLOAT_EQ(back->baseVertices[i], mesh->baseVertices[i]);
    for (int i = 0; i < 2 * mesh->tVertexCount; ++i) EXPECT_FLOAT_EQ(back->tVertices[i], mesh->tVertices[i]);
    for (int p = 0; p < mesh->polygonCount; ++p) {
        ASSERT_EQ(back->Polygons[p].Count, mesh->Polygons[p].Count);
        for (int c = 0; c < mesh->Polygons[p].Count; ++c) {
            EXPECT_EQ(back->Polygons[p].Points[c].V, mesh->Polygons[p].Points[c].V);
            EXPECT_EQ(back->Polygons[p].Points[c].VT, mesh->Polygons[p].Points[c].VT);
        }
        EXPECT_EQ(back->Polygons[p].Group, mesh->Polygons[p].Group);
        EXPECT_EQ(back->Polygons[p].Material, mesh->Polygons[p].Material);
    }
    EXPECT_STREQ(back->Groups2->GetItem(1)->GetName(), "B");
    EXPECT_STREQ(back->Materials->GetItem(1)->GetName(), "Eyes");
}

TEST_F(ObjWriter, PerGroupFilesNumberTheirOwnVertices)
{
    auto mesh = Load(kStrip);
    EXPECT_EQ(KSN_ExportGroupsAsSeparateObjects(mesh.get(), Folder.File("Out.obj").c_str(), false, false), 2);
    const auto lines = Lines(ReadText(Folder.File("Out_A.OBJ")));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "mtllib Out.mtl");
    EXPECT_EQ(lines[1], "# Vertex Count 4");
    EXPECT_EQ(lines[4], "v 0.00000000 1.00000000 0.00000000");   // vertex 4 of the mesh is the group's third
    EXPECT_EQ(lines[10], "usemtl Skin");
    EXPECT_EQ(lines[11], "f  1/1 2/2 4/3 3/4");
    const auto b = Lines(ReadText(Folder.File("Out_B.OBJ")));
    EXPECT_EQ(b.back(), "f  1/1 2/2 4/3 3/4");
    EXPECT_EQ(Count(b, "vt 0.50000000 0.00000000"), 1);   // the seam copy, first used

    auto back = LoadFile(Folder.File("Out_A.OBJ"));
    EXPECT_EQ(back->vertexCount, 4);
    EXPECT_EQ(back->polygonCount, 1);

    EXPECT_EQ(KSN_ExportGroupsAsSeparateObjects(mesh.get(), Folder.File("Only.obj").c_str(), true, false), 2);
    const auto onlyV = Lines(ReadText(Folder.File("Only_A.OBJ")));
    EXPECT_EQ(onlyV.size(), 6u);   // mtllib, vertex count, four v
    EXPECT_EQ(Count(onlyV, "f"), 0);
}

TEST_F(ObjWriter, PerGroupChangedGroupsAndFileNames)
{
    auto mesh = Load(kStrip);
    EXPECT_EQ(KSN_ExportGroupsAsSeparateObjects(mesh.get(), Folder.File("Out.obj").c_str(), false, true), 0);
    EXPECT_EQ(FilesInFolder(), (std::vector<std::string>{"In.obj", "Out.mtl"}));

    mesh->resolvedVertices[3 * 2 + 1] += 0.5f;   // a morph moves vertex 3, which only B holds
    EXPECT_EQ(KSN_ExportGroupsAsSeparateObjects(mesh.get(), Folder.File("Out.obj").c_str(), false, true), 1);
    EXPECT_TRUE(fs::exists(Folder.File("Out_B.OBJ")));
    EXPECT_FALSE(fs::exists(Folder.File("Out_A.OBJ")));

    TTempFolder names;
    auto odd = Load("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\ng head:1\nf 1 2 3\ng head:2\nf 2 4 3\n"
                    "g ../x\nf 1 2 4\ng ..\nf 1 3 4\n");
    EXPECT_EQ(KSN_ExportGroupsAsSeparateObjects(odd.get(), (names.PathText() + "/P.obj").c_str(), false, false), 4);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(names.Path)) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"P.mtl", "P_.._x.OBJ", "P__.OBJ", "P_head.OBJ", "P_head_2.OBJ"}));
    EXPECT_FALSE(fs::exists(names.Path.parent_path() / "x.OBJ"));

    EXPECT_THROW(KSN_ExportGroupsAsSeparateObjects(odd.get(), Folder.File("no/such/P.obj").c_str(), false, false),
                 std::runtime_error);
}

TEST(ObjWriterNames, GroupFileSuffix)
{
    const char* cases[][2] = {{"head:1", "head"}, {"a/b\\c", "a_b_c"}, {"..", "_"}, {"", "_"},
                              {"we?ird*", "we_ird_"}, {"Left Hand", "Left Hand"}, {".hidden", ".hidden"}};
    for (const auto& c : cases) EXPECT_EQ(KSN_GroupFileSuffix(c[0]), c[1]) << c[0];
    EXPECT_EQ(KSN_ObjLibraryPath("/a/b.c/Head.obj"), "/a/b.c/Head.mtl");
    EXPECT_EQ(KSN_ObjLibraryPath("/a/b.c/Head"), "/a/b.c/Head.mtl");
}

#if KSN_HAVE_TINYOBJLOADER
struct TOtherCounts {
    size_t Vertices = 0, TextureVertices = 0, Faces = 0;
};

TOtherCounts LoadWithTinyObj(const std::string& path)
{
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    const std::string folder = fs::path(path).parent_path().string() + "/";
    const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), folder.c_str(), false);
    EXPECT_TRUE(ok) << err;
    EXPECT_TRUE(err.empty()) << err;
    TOtherCounts counts{attrib.vertices.size() / 3, attrib.texcoords.size() / 2, 0};
    for (const auto& shape : shapes) counts.Faces += shape.mesh.num_face_vertices.size();
    return counts;
}

TEST_F(ObjWriter, ASecondReaderTakesEveryFileWeWrite)
{
    auto mesh = Load(kStrip);
    ASSERT_TRUE(ExportObjectFile(mesh.get(), Folder.File("Whole.obj").c_str(), false, true, true));
    TOtherCounts whole = LoadWithTinyObj(Folder.File("Whole.obj"));
    EXPECT_EQ(whole.Vertices, 6u);
    EXPECT_EQ(whole.TextureVertices, 8u);
    EXPECT_EQ(whole.Faces, 2u);

    ASSERT_TRUE(ExportObjectFile(mesh.get(), Folder.File("Bare.obj").c_str(), true, true, false));
    TOtherCounts bare = LoadWithTinyObj(Folder.File("Bare.obj"));
    EXPECT_EQ(bare.Vertices, 6u);
    EXPECT_EQ(bare.TextureVertices, 0u);
    EXPECT_EQ(bare.Faces, 2u);

    ASSERT_EQ(KSN_ExportGroupsAsSeparateObjects(mesh.get(), Folder.File("G.obj").c_str(), false, false), 2);
    for (const char* group : {"G_A.OBJ", "G_B.OBJ"}) {
        SCOPED_TRACE(group);
        TOtherCounts counts = LoadWithTinyObj(Folder.File(group));
        EXPECT_EQ(counts.Vertices, 4u);
        EXPECT_EQ(counts.TextureVertices, 4u);
        EXPECT_EQ(counts.Faces, 1u);
    }
}
#endif

} // namespace
