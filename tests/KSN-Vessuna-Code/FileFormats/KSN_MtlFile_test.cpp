// The MTL library: statements, option words, map names and the write-read
// round trip.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "KSN_MtlFile.h"
#include "KSN_ObjReader.h"
#include "KSN_ObjTestSupport.h"
#include "QORMaterial.h"

using namespace ksn_obj_test;

namespace {

class MtlFile : public TMessagesFixture {
protected:
    TTempFolder Folder;

    // An OBJ naming the materials (one triangle each) and the library "Head.mtl" holding mtl.
    std::unique_ptr<TKSN_Mesh> Load(const std::string& mtl, const std::vector<std::string>& materials = {"skin"})
    {
        std::string obj = "mtllib sub/Head.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
        for (const std::string& m : materials) obj += "usemtl " + m + "\nf 1 2 3\n";
        Folder.Write("Head.mtl", mtl);
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        EXPECT_TRUE(LoadObjData(Folder.Write("Head.obj", obj).c_str(), mesh.get(), false)) << AllPanel();
        return mesh;
    }
    static TQORMaterialChannel* Channel(TKSN_Mesh& mesh, int material, const char* name)
    {
        return KSN_MaterialFromThingy(mesh.Materials->GetItem(material))->GetChannelFromName(name);
    }
};

TEST_F(MtlFile, StatementsAndOptionWords)
{
    TQORMaterial fresh;
    const float untouched = -12345.0f;   // stands for the channel's value before the line
    struct TCase {
        const char* Line;
        const char* Channel;
        float Strength;
    } strengths[] = {
        {"d 0.25", "Transparency", 0.75f},
        {"d 1.5", "Transparency", 0.0f},
        {"d -1", "Transparency", untouched},   // a negative number is an option word
        {"D 0", "Transparency", 1.0f},         // keywords in any case
        {"Ns 250", "Glossy", 2.5f},
        {"Ns", "Glossy", untouched},
    };
    for (const TCase& c : strengths) {
        SCOPED_TRACE(c.Line);
        auto mesh = Load(std::string("newmtl Skin\n") + c.Line + "\n");
        const float expected = c.Strength == untouched ? fresh.GetChannelFromName(c.Channel)->Strength : c.Strength;
        EXPECT_FLOAT_EQ(Channel(*mesh, 0, c.Channel)->Strength, expected);
    }

    auto colours = Load("newmtl Other\nKd 0.9 0.9 0.9\nnewmtl SKIN\nKa 0.1 0.2 0.3\nKd -0.5 0.2 0.2\nKs 0.4 0.5 0.6\n"
                        "map_Kd C:\\Textures\\Maps\\skin.png\nmap_Bump -clamp on bump.png\n"
                        "map_Ks -o 0.5 0.5 -bm 2 -blendu off my spec.png\ndisp\t-imfchan r  disp.png \n");
    TKSN_Mesh& m = *colours;
    EXPECT_FLOAT_EQ(Channel(m, 0, "Ambient")->Color[2], 0.3f);
    EXPECT_FLOAT_EQ(Channel(m, 0, "Color")->Color[0], fresh.GetChannelFromName("Color")->Color[0]);   // two numbers left
    EXPECT_FLOAT_EQ(Channel(m, 0, "Specular")->Color[1], 0.5f);
    EXPECT_STREQ(Channel(m, 0, "Color")->GetMapFileName(), "skin.png");
    EXPECT_STREQ(Channel(m, 0, "Bump")->GetMapFileName(), "bump.png");
    EXPECT_STREQ(Channel(m, 0, "Specular")->GetMapFileName(), "my spec.png");
    EXPECT_STREQ(Channel(m, 0, "Displacement")->GetMapFileName(), "disp.png");
}

TEST_F(MtlFile, LongLinesAreReadWhole)
{
    const std::string name = std::string(396, 'm') + ".png";
    auto mesh = Load("newmtl skin\nmap_Kd textures/" + name + "\r\nKd 0.5 0.25 0.125\r\n");
    EXPECT_EQ(std::string(Channel(*mesh, 0, "Color")->GetMapFileName()), "textures/" + name);
    EXPECT_FLOAT_EQ(Channel(*mesh, 0, "Color")->Color[2], 0.125f);
}

TEST_F(MtlFile, WritesFiveLinesPerMaterialWithoutMaps)
{
    auto mesh = Load("", {"A", "B", "C"});
    const std::string path = Folder.File("out.mtl");
    ASSERT_TRUE(SaveMTLFile(mesh.get(), path.c_str()));
    const auto lines = Lines(ReadText(path));
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], "newmtl A");
    EXPECT_EQ(lines[1].substr(0, 3), "Ka ");
    EXPECT_EQ(lines[2].substr(0, 3), "Kd ");
    EXPECT_EQ(lines[3].substr(0, 3), "Ks ");
    EXPECT_EQ(lines[4].substr(0, 2), "d ");
    EXPECT_EQ(lines[5], "newmtl B");
    EXPECT_EQ(lines[10], "newmtl C");
    EXPECT_EQ(ReadText(path).find('\r'), std::string::npos);
    EXPECT_FALSE(SaveMTLFile(mesh.get(), Folder.File("missing/out.mtl").c_str()));
}

TEST_F(MtlFile, WriteThenReadRestoresColoursTransparencyAndMapNames)
{
    auto original = Load("newmtl Skin\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nd 0.25\nmap_Kd skin.png\n"
                         "map_Bump bump.png\nmap_d alpha.png\nmap_Ks spec.png\nmap_Ka amb.png\ndisp disp.png\n"
                         "newmtl Eyes\nKd 0 0 1\n",
                         {"Skin", "Eyes"});
    ASSERT_TRUE(SaveMTLFile(original.get(), Folder.File("Head.mtl").c_str()));
    auto again = Load(ReadText(Folder.File("Head.mtl")), {"Skin", "Eyes"});
    for (int m = 0; m < 2; ++m)
        for (const char* name : {"Color", "Transparency", "Bump", "Displacement", "Specular", "Ambient"}) {
            SCOPED_TRACE(name);
            TQORMaterialChannel* a = Channel(*original, m, name);
            TQORMaterialChannel* b = Channel(*again, m, name);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(a->Color[k], b->Color[k], 1e-6f);
            EXPECT_STREQ(a->GetMapFileName(), b->GetMapFileName());
        }
    EXPECT_NEAR(Channel(*again, 0, "Transparency")->Strength, 0.75f, 1e-4f);
    EXPECT_STREQ(Channel(*again, 0, "Displacement")->GetMapFileName(), "disp.png");
}

TEST(MtlLibraryPath, BesideTheObjFile)
{
    EXPECT_EQ(KSN_MtlLibraryPath("/a/b/Head.obj", "libs/Head.mtl"), "/a/b/Head.mtl");
    EXPECT_EQ(KSN_MtlLibraryPath("/a/b/Head.obj", "Head.mtl"), "/a/b/Head.mtl");
    EXPECT_EQ(KSN_MtlLibraryPath("Head.obj", "libs/Head.mtl"), "libs/Head.mtl");
}

} // namespace
