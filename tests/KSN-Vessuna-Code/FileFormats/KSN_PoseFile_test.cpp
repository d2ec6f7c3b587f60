// Pose files MAT and MOR: the exact lines, the thumbnail and the companion path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KSN_InterchangeTestSupport.h"
#include "KSN_Morph.h"
#include "KSN_PoseFile.h"
#include "QORMaterial.h"

namespace {

using namespace ksn_interchange_test;

class PoseFileTest : public ProjectFileFixture {
protected:
    TKSN_Object* Object = nullptr;
    TKSN_Mesh* Mesh = nullptr;
    TKSN_Morph* Morph = nullptr;

    // A strip of 4 quads, 10 vertices (0-4 bottom, 5-9 top): polygons 0-2 in
    // "head:1" (vertex map 0 1 2 3 5 6 7 8), polygon 3 in "chest" (3 4 8 9).
    void SetUp() override
    {
        ProjectFileFixture::SetUp();
        Object = MakeGridObject(Project, "Figure", 4, 1, {"head:1", "chest"}, [](int p) { return p < 3 ? 0 : 1; });
        Mesh = Object->Mesh.get();
        Project->SetCurrentObject(Object);
        Morph = AddMorph(Mesh, nullptr, "Smile");
        Mesh->SetCurrentMorph(Morph);
        WriteFile(Root / "main" / "Data" / "Vexmark.PNG", "stock thumbnail");
    }
    std::string P(const char* name) const { return PathOf(name).string(); }
    std::vector<std::string> Lines(const char* name) const { return SplitLines(ReadText(PathOf(name))); }
};

// ============================================================================
// MAT
// ============================================================================

TEST_F(PoseFileTest, MatWritesMaterialsLineByLine)
{
    TQORMaterial* skin = Mesh->Materials->GetItemAs(0);
    TQORMaterialChannel* color = skin->GetChannelFromName("Color");
    color->Color[0] = 1.0f;
    color->Color[1] = 0.5f;
    color->Color[2] = 0.25f;
    skin->GetChannelFromName("Transparency")->Strength = 0.25f;
    skin->GetChannelFromName("Bump")->Strength = 0.125f;
    TQORMaterial* eyes = KSN_NewMaterial("Eyes");
    eyes->GetChannelFromName("Color")->SetMapFileName("/maps/Eyes.png");
    Mesh->Materials->AddItem(eyes);

    Project->ExportMATFile(P("Skin.pz2").c_str());
    const std::string text = ReadText(PathOf("Skin.pz2"));
    const std::string skinBlock = "\tmaterial Skin\n\t\t{\n"
                                  "\t\tKdColor 1.0000 0.5000 0.2500 1\n"
                                  "\t\ttMin 0.2500 \n\t\ttMax 0.2500 \n"
                                  "\t\tbumpStrength 0.1250 \n"
                                  "\t\ttextureMap NO_MAP\n \t\t\t\t0 0 \n"
                                  "\t\tbumpMap NO_MAP\n \t\t\t\t0 0 \n"
                                  "\t\ttransparencyMap NO_MAP\n \t\t\t\t0 0 \n"
                                  "\t\t}\n";
    EXPECT_EQ(text.rfind("{\nversion\n\t{\n\tnumber 4.01\n\t}\nfigure\n\t{\n" + skinBlock, 0), 0u) << text;
    EXPECT_NE(text.find("\t\ttextureMap \"/maps/Eyes.png\"\n \t\t\t\t0 0 \n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "\t\t}\n\t}\n}\n");
    EXPECT_TRUE(Contains(Prints, "Exported the MAT file " + P("Skin.pz2")));
    EXPECT_EQ(ReadText(PathOf("Skin.rsr")), "stock thumbnail");
}

TEST_F(PoseFileTest, MatWithoutObjectWritesNothing)
{
    Project->SetCurrentObject(nullptr);
    Project->ExportMATFile(P("none.pz2").c_str());
    EXPECT_FALSE(fs::exists(PathOf("none.pz2")));
    EXPECT_TRUE(Warnings.empty());
}

// ============================================================================
// MOR
// ============================================================================

const char* const kHead = "{\n\tversion\n\t{\n\t\tnumber 4.01\n\t}\n\tactor BODY:1\n\t{\n\t\tchannels\n\t\t{\n"
                          "\t\t\tvalueParm Grin\n\t\t\t{\n\t\t\tname Smile\n";
const char* const kKeys = "\t\t\tkeys\n\t\t\t{\n\t\t\t\tstatic 0\n\t\t\t\tk 0  1\n\t\t\t}\n\t\t\t}\n\t\t}\n\t}\n";

TEST_F(PoseFileTest, MorWritesTheMovedVerticesOfEachGroup)
{
    Morph->GetVertex(2)[0] = 0.5f;     // 3rd of head:1
    Morph->GetVertex(7)[2] = -0.25f;   // 7th of head:1
    Project->ExportMORFile(P("Smile_MOR.pz2").c_str(), "Grin", false);
    const std::string expected = std::string(kHead) + "\t\t\thidden 0\n" + kKeys +
                                 "\t\tactor head:1\n\t\t{\n\t\t\tchannels\n\t\t\t{\n\t\ttargetGeom Grin\n\t\t\t{\n"
                                 "\t\t\tname Smile\n\t\t\thidden 0\n\t\t\tinterpStyleLocked 0\n"
                                 "\t\t\tvalueOpDeltaAdd\n\t\t\t\t\t\t\tFigure\n\t\t\t\t\t\t\tBODY:1\n\t\t\t\t\t\t\tSmile\n"
                                 "\t\t\tindexes 2\n\t\t\tdeltaAddDelta 1.000000\n\t\t\tnumbDeltas 8\n"
                                 "\t\t\tdeltas\n\t\t\t\t{\n"
                                 "\t\t\t\td 2 0.50000000 0.00000000 0.00000000\n"
                                 "\t\t\t\td 6 0.00000000 0.00000000 -0.25000000\n"
                                 "\t\t\t\t}\n\t\t\t}\n\t\t\t}\n\t\t}\n}\n";
    EXPECT_EQ(ReadText(PathOf("Smile_MOR.pz2")), expected);
    EXPECT_EQ(ReadText(PathOf("Smile_MOR.rsr")), "stock thumbnail");
}

TEST_F(PoseFileTest, HiddenMorWritesEmptyTargets)
{
    Morph->GetVertex(4)[1] = 1.0f;   // only in chest
    Project->ExportMORFile(P("Smile_REM.pz2").c_str(), "Grin", true);
    const std::string expected = std::string(kHead) + "\t\t\thidden 1\n" + kKeys +
                                 "\t\tactor chest:1\n\t\t{\n\t\t\tchannels\n\t\t\t{\n\t\ttargetGeom Grin\n\t\t\t{\n"
                                 "\t\t\tname -\n\t\t\thidden 1\n\t\t\tindexes 0\n\t\t\tnumbDeltas 0\n"
                                 "\t\t\t}\n\t\t\t}\n\t\t}\n}\n";
    EXPECT_EQ(ReadText(PathOf("Smile_REM.pz2")), expected);
}

TEST_F(PoseFileTest, MorOfAMorphThatMovesNothingHasOnlyTheBodyActor)
{
    Project->ExportMORFile(P("Still.pz2").c_str(), "Grin", false);
    EXPECT_EQ(ReadText(PathOf("Still.pz2")), std::string(kHead) + "\t\t\thidden 0\n" + kKeys + "}\n");
}

TEST_F(PoseFileTest, MorNeedsObjectAndMorph)
{
    Mesh->SetCurrentMorph(nullptr);
    Project->ExportMORFile(P("a.pz2").c_str(), "Grin", false);
    EXPECT_FALSE(fs::exists(PathOf("a.pz2")));
    Project->SetCurrentObject(nullptr);
    Project->ExportMORFile(P("b.pz2").c_str(), "Grin", false);
    EXPECT_FALSE(fs::exists(PathOf("b.pz2")));
    EXPECT_TRUE(Contains(Warnings, "Please choose (or import) an object before proceeding."));
}

TEST(PoseFilePaths, CompanionOfTheMorFile)
{
    struct Case {
        const char* path;
        const char* companion;
    };
    const Case cases[] = {
        {"Smile_MOR.pz2", "Smile_REM.pz2"},
        {"Smile.pz2", "Smile_REM.pz2"},
        {"/a/smile_mor.PZ2", "/a/smile_REM.PZ2"},
        {"/poses.v2/Smile", "/poses.v2/Smile_REM"},
        {"MOR.pz2", "REM.pz2"},
    };
    for (const Case& c : cases) EXPECT_EQ(KSN_GetMORCompanionPath(c.path), c.companion) << c.path;
}

} // namespace
