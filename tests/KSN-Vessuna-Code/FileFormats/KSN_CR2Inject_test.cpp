// Rewriting figure files with the user's morphs, materials and a new OBJ.
#include "KSN_CR2TestSupport.h"

#include "KSN_CR2Inject.h"
#include "KSN_CR2Tree.h"
#include "KSN_Morph.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

namespace cr2_test {
namespace {

class CR2InjectTest : public CR2Test {
protected:
    TKSN_Mesh* Mesh = nullptr;
    fs::path Out;

    void SetUp() override
    {
        CR2Test::SetUp();
        fs::create_directories(Root / "out");
        Out = Root / "out" / "fig2.cr2";
        TKSN_Object* object = Import();
        ASSERT_TRUE(object);
        Mesh = object->Mesh.get();
    }

    // A user morph in the top group moving hip's local vertex 1 and chest's local vertex 2.
    TKSN_Morph* MakeMorph(const char* name)
    {
        TKSN_Morph* morph = Mesh->CreateMorph(Mesh->MorphTree);
        morph->SetName("%s", name);
        Mesh->BeginUsingMorph(morph);
        float* d = morph->GetPointerToExpandedArray();
        d[3 * 1 + 0] = 0.1f;
        d[3 * 6 + 1] = 0.2f;
        Mesh->EndUsingMorph(morph);
        return morph;
    }

    std::string Rewrite(const fs::path& source = {})
    {
        Project->InjectMorphsIntoCR2File((source.empty() ? Figure : source).c_str(), Out.c_str());
        return fs::exists(Out) ? ReadAll(Out) : std::string();
    }

    // lines printed at depth tabs deeper.
    static std::string At(int depth, const std::vector<std::string>& lines)
    {
        std::istringstream in(Printed(lines));
        std::string out;
        for (std::string line; std::getline(in, line);) out += std::string(size_t(depth), '\t') + line + "\n";
        return out;
    }

    static std::vector<std::string> Dial(const std::string& name)
    {
        return {"valueParm " + name, "{", "name " + name, "initValue 0", "hidden 0", "forceLimits 4", "min -10000",
                "max 10000", "trackingScale 0.02", "keys", "{", "static 0", "k 0 0", "}", "interpStyleLocked 0", "}"};
    }

    static std::vector<std::string> TargetBlock(const std::string& name, const std::string& figure,
                                                const std::string& body, int numbDeltas,
                                                const std::vector<std::string>& deltas)
    {
        std::vector<std::string> l = {"targetGeom " + name, "{", "name " + name, "initValue 0", "hidden 0",
                                      "forceLimits 4", "min -100000", "max 100000", "trackingScale 0.0196772",
                                      "keys", "{", "static 0", "k 0 0", "}", "interpStyleLocked 0",
                                      "valueOpDeltaAdd", figure, body, name, "deltaAddDelta 1.0",
                                      "indexes " + std::to_string(deltas.size()),
                                      "numbDeltas " + std::to_string(numbDeltas), "deltas", "{"};
        for (const std::string& d : deltas) l.push_back("d " + d);
        l.push_back("}");
        l.push_back("}");
        return l;
    }

    // Removes the first occurrence of block from text; false when it is not there.
    static bool Remove(std::string& text, const std::string& block)
    {
        const size_t at = text.find(block);
        if (at == std::string::npos) return false;
        text.erase(at, block.size());
        return true;
    }
};

TEST_F(CR2InjectTest, MorphBecomesBodyDialAndTargetsOfTheMovedParts)
{
    MakeMorph("Dent");
    std::string out = Rewrite();
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(Warnings.empty()) << Warnings.front();

    const std::string dent = At(3, Dial("Dent"));
    const std::string hip = At(3, TargetBlock("Dent", "Figure 1", "BODY", 4, {"1 0.10000000 0.00000000 0.00000000"}));
    const std::string chest =
        At(3, TargetBlock("Dent", "Figure 1", "BODY", 4, {"2 0.00000000 0.20000000 0.00000000"}));
    // Dials go first into BODY's channels; the mesh's unmoved "Default Morph" still gets its dial.
    EXPECT_NE(out.find("\t\tchannels \n\t\t{\n" + dent + At(3, Dial("Default Morph"))), std::string::npos);
    EXPECT_NE(out.find("\t\tname Hip\n\t\torigin 0.5 0.5 0\n\t\tendPoint 0.5 1 0\n\t\tchannels \n\t\t{\n" + hip),
              std::string::npos);
    EXPECT_NE(out.find(chest), std::string::npos);
    EXPECT_EQ(out.find("targetGeom Default Morph"), std::string::npos) << "a morph that moves nothing has no target";
    for (const char* imported : {"valueParm PBM_Smile", "valueParm Lonely", "valueParm Pinch", "valueParm Long"})
        EXPECT_EQ(out.find(imported), std::string::npos) << imported << " was imported and is not written again";
    EXPECT_NE(out.find("\t\t\ttextureMap \":Runtime:textures:fig:skin.jpg\"\n\t\t\t0 0\n"), std::string::npos);

    // The output reads back to the same tree.
    std::unique_ptr<TQORCR2TreeNode> back(ImportCR2Tree(Out.c_str(), true));
    ASSERT_TRUE(back);
    FILE* file = std::tmpfile();
    back->PrintTree(file, back->GetChild(), 0);
    std::rewind(file);
    std::string reprinted;
    for (int c; (c = std::fgetc(file)) != EOF;) reprinted += char(c);
    std::fclose(file);
    EXPECT_TRUE(reprinted == out);

    // Without the inserted blocks it is the source, byte for byte.
    EXPECT_TRUE(Remove(out, dent));
    EXPECT_TRUE(Remove(out, At(3, Dial("Default Morph"))));
    EXPECT_TRUE(Remove(out, hip));
    EXPECT_TRUE(Remove(out, chest));
    EXPECT_TRUE(out == ReadAll(Figure)) << out;
    EXPECT_EQ(ReadAll(Root / "out" / "fig2.rsr"), "thumbnail");
    for (int i = 0; i < Mesh->Groups2->GetItemCount(); ++i)
        EXPECT_EQ(Mesh->Groups2->GetItemAs(i)->Pointer, nullptr) << "no link outlives the rewrite's tree";
}

TEST_F(CR2InjectTest, ExistingTargetOfThatNameIsRefilledInPlace)
{
    MakeMorph("Bulge");
    const std::string out = Rewrite();
    const std::string hip =
        At(3, TargetBlock("Bulge", "Figure 1", "BODY", 4, {"1 0.10000000 0.00000000 0.00000000"}));
    // Still the first entry of hip's channels, followed by the source's next target.
    EXPECT_NE(out.find("\t\tchannels \n\t\t{\n" + hip + "\t\t\ttargetGeom Lonely\n"), std::string::npos) << out;
    size_t count = 0;
    for (size_t at = out.find("targetGeom Bulge\n"); at != std::string::npos; at = out.find("targetGeom Bulge\n", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << "hip's and chest's, each refilled";
    EXPECT_EQ(out.find("d 0 0 0 1\n"), std::string::npos);
}

TEST_F(CR2InjectTest, MaterialsWriteCurrentMapsColoursAndStrengths)
{
    TQORMaterial* tail = KSN_MaterialFromThingy(Mesh->Materials->GetItem(1));
    ASSERT_STREQ(tail->GetName(), "tailskin");
    TQORMaterialChannel* color = tail->GetChannelFromName("Color");
    color->SetMapFileName("/Poser/Runtime/textures/new/paint.png");
    color->Color[0] = 0.5f;
    const std::string out = Rewrite();
    EXPECT_NE(out.find("\t\tmaterial tailskin\n\t\t{\n\t\t\tKdColor 0.5000 0.2000 0.3000 1.0\n"
                       "\t\t\ttextureMap \":Runtime:textures:new:paint.png\"\n\t\t\t0 0\n\t\t}\n"),
              std::string::npos)
        << out;
    // A skin without a map in the mesh is written as NO_MAP.
    TQORMaterial* skin = KSN_MaterialFromThingy(Mesh->Materials->GetItem(0));
    skin->GetChannelFromName("Color")->SetMapFileName("");
    EXPECT_NE(Rewrite().find("\t\t\ttextureMap NO_MAP\n\t\t\t0 0\n"), std::string::npos);
}

TEST_F(CR2InjectTest, NewObjIsWrittenAndLinkedOrTheRewriteIsCancelled)
{
    Project->CR2SaveNewOBJ = true;
    const fs::path newObj = Root / "Poser" / "Runtime" / "Geometries" / "fig" / "new.OBJ";   // the save dialog gives the OBJ extension its own spelling
    Dialogs.Choices.push_back(newObj.string());
    std::string out = Rewrite();
    EXPECT_TRUE(fs::exists(newObj)) << (Warnings.empty() ? std::string() : Warnings.front());
    std::istringstream obj(ReadAll(newObj));
    int vertices = 0;
    for (std::string line; std::getline(obj, line);) vertices += line.rfind("v ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(vertices, 48) << "the figure's own vertex numbering, duplicates kept";
    EXPECT_NE(out.find("\tfigureResFile :Runtime:Geometries:fig:new.OBJ\n"), std::string::npos);

    fs::remove(Out);
    fs::remove(Root / "out" / "fig2.rsr");
    Warnings.clear();
    out = Rewrite();   // no choice left: the dialog is cancelled
    EXPECT_TRUE(HasWarning(Lang.GetText(1033)));
    EXPECT_TRUE(fs::is_empty(Root / "out")) << "no CR2, no thumbnail, no part file";
}

TEST_F(CR2InjectTest, OutputThatCannotBeCreatedWritesNothing)
{
    MakeMorph("Dent");
    Out = Root / "missing" / "fig2.cr2";
    Project->CR2SaveNewOBJ = true;
    Dialogs.Choices.push_back((Root / "out" / "new.obj").string());
    Rewrite();
    EXPECT_TRUE(HasWarning(QORFormat(Lang.GetText(1020), Out.c_str())));
    EXPECT_FALSE(fs::exists(Root / "missing"));
    EXPECT_TRUE(fs::is_empty(Root / "out")) << "the check comes before anything is written";
    EXPECT_TRUE(Dialogs.FileRequests.empty());
}

TEST_F(CR2InjectTest, SecondRewriteOfAnotherFigureCarriesNoNameOrLinkOver)
{
    MakeMorph("Dent");
    ASSERT_NE(Rewrite().find("Figure 1"), std::string::npos);

    // Another figure: only hip, and a figure block naming neither figure nor root.
    std::vector<std::string> other = {"{",        "figureResFile :Runtime:Geometries:fig:fig.obj",
                                      "actor hip:1", "{", "}", "actor hip:1", "{", "channels", "{", "}", "}",
                                      "figure", "{", "}", "}"};
    const fs::path otherPath = Root / "Poser" / "Runtime" / "Libraries" / "Character" / "other.cr2";
    WriteFigure(other, otherPath);
    Project->CR2SetupFullBodyMorphs = false;
    const std::string out = Rewrite(otherPath);
    EXPECT_EQ(out.find("Figure 1"), std::string::npos);
    EXPECT_EQ(out.find("BODY"), std::string::npos);
    EXPECT_NE(out.find("\t\t\t\tvalueOpDeltaAdd \n\t\t\t\t \n\t\t\t\t \n\t\t\t\tDent \n"), std::string::npos) << out;
    size_t targets = 0;
    for (size_t at = out.find("targetGeom"); at != std::string::npos; at = out.find("targetGeom", at + 1)) ++targets;
    EXPECT_EQ(targets, 1u) << "only hip is linked";
}

TEST_F(CR2InjectTest, AutoRigMovesTheJointsOfReshapedParts)
{
    std::vector<float> p(size_t(Mesh->vertexCount) * 3);
    Mesh->GetResolvedVertexArray(p.data(), Mesh->vertexCount);
    for (int v = 0; v < 4; ++v) p[size_t(3 * v)] *= 2.0f;   // hip twice as wide
    Mesh->SetResolvedVertexArray(p.data(), Mesh->vertexCount);
    EXPECT_NE(Rewrite().find("\t\tname Hip\n\t\torigin 0.5 0.5 0\n"), std::string::npos) << "re-rig is off";
    Project->CR2AutoRig = true;
    EXPECT_NE(Rewrite().find("\t\tname Hip\n\t\torigin 1.000000 0.500000 0.000000\n"), std::string::npos);
}

TEST_F(CR2InjectTest, MissingBodyStopsInjectionButNotTheRewrite)
{
    MakeMorph("Dent");
    std::vector<std::string> lines = FigureLines();
    for (std::string& line : lines)
        if (line == "actor BODY:1") line = "actor torso:1";
    const fs::path noBody = Root / "Poser" / "Runtime" / "Libraries" / "Character" / "nobody.cr2";
    WriteFigure(lines, noBody);
    const std::string out = Rewrite(noBody);
    EXPECT_TRUE(HasWarning(QORFormat(Lang.GetText(1029), 1)));
    ASSERT_FALSE(Dialogs.Boxes.empty());
    EXPECT_EQ(Dialogs.Boxes.back().Text, "Cannot find the body node! (2)");
    EXPECT_EQ(out.find("Dent"), std::string::npos);
    EXPECT_NE(out.find("material skin"), std::string::npos);
}

}  // namespace
}  // namespace cr2_test
