// Importing figure files: the mesh, one read-only morph group per actor, the
// full-body join, materials, the linked-geometry paths and malformed files.
#include "KSN_CR2TestSupport.h"

#include <algorithm>
#include <cmath>

#include "KSN_CR2Import.h"
#include "KSN_Morph.h"
#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

namespace cr2_test {
namespace {

using CR2ImportTest = CR2Test;

TKSN_TreeGroup* ChildNamed(TKSN_TreeGroup* parent, const char* name)
{
    for (TKSN_TreeGroup* g = parent->GetChild(); g; g = g->GetNext())
        if (std::string(g->GetName()) == name) return g;
    return nullptr;
}

std::vector<std::string> ChildNames(TKSN_TreeGroup* parent)
{
    std::vector<std::string> names;
    for (TKSN_TreeGroup* g = parent->GetChild(); g; g = g->GetNext()) names.push_back(g->GetName());
    return names;
}

std::vector<std::string> ItemNames(TKSN_TreeGroup* group)
{
    std::vector<std::string> names;
    for (int i = 0; group && group->items && i < group->items->Count(); ++i)
        names.push_back((*group->items)[i]->GetName());
    return names;
}

TKSN_Morph* MorphIn(TKSN_TreeGroup* group, const char* name)
{
    for (int i = 0; group && group->items && i < group->items->Count(); ++i)
        if (std::string((*group->items)[i]->GetName()) == name) return dynamic_cast<TKSN_Morph*>((*group->items)[i]);
    return nullptr;
}

// The morph's dense deltas (3 per vertex).
std::vector<float> Deltas(TKSN_Mesh* mesh, TKSN_Morph* morph)
{
    mesh->BeginUsingMorph(morph);
    const float* d = morph->GetPointerToExpandedArray();
    std::vector<float> out(d, d + 3 * size_t(morph->GetVCount()));
    mesh->EndUsingMorph(morph);
    return out;
}

TEST_F(CR2ImportTest, FigureBecomesAnObjectWithReadOnlyMorphGroupsPerActor)
{
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    ASSERT_TRUE(mesh);
    EXPECT_STREQ(object->GetName(), "fig.cr2");
    EXPECT_EQ(object->FileName, Figure.string());
    EXPECT_EQ(object->OBJFileName, Obj.string());
    EXPECT_EQ(mesh->vertexCount, 48);
    EXPECT_FALSE(mesh->Welded) << "the weld of the join does not outlive it";

    TKSN_TreeGroup* import = ChildNamed(mesh->MorphTree, "fig.cr2");
    ASSERT_TRUE(import);
    // hip:1 gives hip_1; the empty groups of the first sections are gone.
    EXPECT_EQ(ChildNames(import), (std::vector<std::string>{"BODY_1", "hip_1", "chest_1", "tail_1"}));
    EXPECT_EQ(ItemNames(ChildNamed(import, "BODY_1")), (std::vector<std::string>{"PBM_Smile"}));
    // A dial that drives one partial leaves it where it was; a partial of another actor's dial stays too.
    EXPECT_EQ(ItemNames(ChildNamed(import, "hip_1")), (std::vector<std::string>{"Lonely"}));
    EXPECT_EQ(ItemNames(ChildNamed(import, "chest_1")), (std::vector<std::string>{"Pinch"}));
    TKSN_Morph* lonely = MorphIn(ChildNamed(import, "hip_1"), "Lonely");
    ASSERT_TRUE(lonely);
    EXPECT_TRUE(lonely->readOnly);
    EXPECT_EQ(lonely->Strength, 0.0f);
    EXPECT_TRUE(Warnings.empty()) << Warnings.front();
    // The set-up after the import gives the figure's morphs their unions, in
    // folders named like the groups, so the morph manager lists them.
    auto* lonelyUnion = dynamic_cast<TKSN_MorphUnion*>(FindThingyFromName(Project->MorphUnions, "Lonely"));
    ASSERT_TRUE(lonelyUnion);
    EXPECT_EQ(lonelyUnion->ItemIDs.Count(), 1);
    EXPECT_EQ(lonelyUnion->ItemIDs[0], lonely->GetID());
    EXPECT_TRUE(FindGroupFromName(Project->MorphUnions, "hip_1"));

    // The loader makes the groups read-only; the project's set-up after the
    // import then files the morphs into folders that mirror the union tree,
    // so there only the morphs' own flag keeps them out of a rewrite.
    TKSN_Object loaded;
    ASSERT_TRUE(Project->LoadCR2File(Figure.c_str(), &loaded));
    TKSN_TreeGroup* loadedImport = ChildNamed(loaded.Mesh->MorphTree, "fig.cr2");
    ASSERT_TRUE(loadedImport);
    EXPECT_TRUE(loadedImport->IsReadOnly());
    EXPECT_EQ(ChildNames(loadedImport), (std::vector<std::string>{"BODY_1", "hip_1", "chest_1", "tail_1"}));
    for (TKSN_TreeGroup* g = loadedImport->GetChild(); g; g = g->GetNext())
        EXPECT_TRUE(g->IsReadOnly()) << g->GetName();
}

TEST_F(CR2ImportTest, FullBodyDialJoinsWeightedPartialsAndSettlesEachSeamOnce)
{
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_Morph* smile = MorphIn(ChildNamed(ChildNamed(mesh->MorphTree, "fig.cr2"), "BODY_1"), "PBM_Smile");
    ASSERT_TRUE(smile);
    EXPECT_TRUE(smile->readOnly);
    const std::vector<float> d = Deltas(mesh, smile);
    struct TCase {
        int vertex;
        float z;
        const char* why;
    };
    const TCase cases[] = {
        {0, 1.0f, "moved by hip alone"},
        {1, 0.0f, "unmoved"},
        {2, 1.0f, "seam: chest's 2 x 0.5 is longer than hip's 0.5"},
        {5, 1.0f, "its seam twin"},
        {3, 0.2f, "seam moved only by chest: the class keeps the move"},
        {4, 0.2f, "chest's own seam vertex keeps its move"},
        {6, 0.0f, "unmoved"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FLOAT_EQ(d[size_t(3 * c.vertex + 2)], c.z) << "vertex " << c.vertex;
        EXPECT_EQ(d[size_t(3 * c.vertex)], 0.0f);
    }
}

TEST_F(CR2ImportTest, IndexesBeyondNumbDeltasStoreAtMostTheGroupSize)
{
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_Morph* morph = MorphIn(ChildNamed(ChildNamed(mesh->MorphTree, "fig.cr2"), "tail_1"), "Long");
    ASSERT_TRUE(morph);
    const std::vector<float> d = Deltas(mesh, morph);
    int moved = 0;
    for (int v = 0; v < mesh->vertexCount; ++v) moved += d[size_t(3 * v + 1)] != 0.0f ? 1 : 0;
    EXPECT_EQ(moved, 40);
    for (int v = 8; v < 13; ++v) EXPECT_FLOAT_EQ(d[size_t(3 * v + 1)], 0.1f) << "vertex " << v;
}

TEST_F(CR2ImportTest, MaterialsTakeColoursStrengthsAndMapFiles)
{
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    TQORMaterial* skin = KSN_MaterialFromThingy(mesh->Materials->GetItem(0));
    ASSERT_TRUE(skin);
    EXPECT_STREQ(skin->GetName(), "skin");
    TQORMaterialChannel* color = skin->GetChannelFromName("Color");
    EXPECT_FLOAT_EQ(color->Color[1], 0.5f);
    EXPECT_FLOAT_EQ(color->Color[2], 0.25f);
    EXPECT_EQ(std::string(color->GetMapFileName()),
              (Root / "Poser" / "Runtime" / "textures" / "fig" / "skin.jpg").string());
    EXPECT_STREQ(skin->GetChannelFromName("Bump")->GetMapFileName(), "") << "NO_MAP leaves no map";
    EXPECT_FLOAT_EQ(skin->GetChannelFromName("Bump")->Strength, 0.5f);
    EXPECT_FLOAT_EQ(skin->GetChannelFromName("Transparency")->Strength, 0.0f);
}

TEST_F(CR2ImportTest, MorphsOffMakesNoGroupButAppliesMaterials)
{
    Project->ImportMorphs = false;
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    EXPECT_EQ(ChildNamed(mesh->MorphTree, "fig.cr2"), nullptr);
    TQORMaterial* skin = KSN_MaterialFromThingy(mesh->Materials->GetItem(0));
    EXPECT_FLOAT_EQ(skin->GetChannelFromName("Color")->Color[2], 0.25f);
}

TEST_F(CR2ImportTest, LinkedGeometryForms)
{
    struct TCase {
        const char* name;
        std::string line;
        bool loads;
        std::string warning;
    };
    const std::string objOnDisk = Obj.string();
    const TCase cases[] = {
        {"quoted", "figureResFile \":Runtime:Geometries:fig:fig.obj\"", true, ""},
        {"plain disk path", "figureResFile " + objOnDisk, true, ""},
        {"compressed", "figureResFile :Runtime:Geometries:fig:fig.obz", false,
         "Only CR2 files linked to UNCOMPRESSED OBJ files are supported. This one links to a compressed OBJ file "
         "(OBZ)"},
        {"other type", "figureResFile :Runtime:Geometries:fig:fig.3ds", false,
         "Only CR2 files linked to OBJ files are supported. This one links to a '3ds' file"},
        {"missing", "figureResFile :Runtime:Geometries:fig:none.obj", false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Warnings.clear();
        std::vector<std::string> lines = FigureLines();
        lines[5] = c.line;
        WriteFigure(lines);
        const int before = Project->GetObjectCount();
        TKSN_Object* object = Import();
        EXPECT_EQ(object != nullptr, c.loads);
        EXPECT_EQ(Project->GetObjectCount(), before + (c.loads ? 1 : 0));
        if (!c.warning.empty()) {
            EXPECT_TRUE(HasWarning(c.warning));
        }
    }
}

TEST_F(CR2ImportTest, SizeMismatchAndCustomGeometryWarn)
{
    std::vector<std::string> lines = FigureLines();
    // Pinch claims 5 deltas for the 4-vertex chest; hip carries custom geometry twice.
    std::replace(lines.begin(), lines.end(), std::string("numbDeltas 4"), std::string("numbDeltas 5"));
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == "name Hip") {
            lines.insert(lines.begin() + long(i), "geomCustom");
            lines.insert(lines.begin() + long(i), "geomCustom");
            break;
        }
    WriteFigure(lines);
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    const std::string mismatch = QORFormat(Lang.GetText(294), "Pinch", "chest:1");
    const auto at294 = std::find(Warnings.begin(), Warnings.end(), mismatch);
    const auto at380 = std::find(Warnings.begin(), Warnings.end(), std::string(Lang.GetText(380)));
    ASSERT_NE(at294, Warnings.end());
    ASSERT_NE(at380, Warnings.end());
    EXPECT_LT(at294, at380);
    EXPECT_TRUE(HasWarning(QORFormat(Lang.GetText(409), 1)));
    // hip's morphs are skipped, the mismatched blocks too: only tail's stays.
    TKSN_TreeGroup* import = ChildNamed(object->Mesh->MorphTree, "fig.cr2");
    EXPECT_EQ(ChildNames(import), (std::vector<std::string>{"tail_1"}));
}

TEST_F(CR2ImportTest, MalformedNumbersSkipTheirEntries)
{
    std::vector<std::string> lines = FigureLines();
    for (std::string& line : lines) {
        if (line == "d 0 0 0 1") line = "d 0 0 0 1e99";            // not finite: the line is skipped
        if (line == "numbDeltas 40") line = "numbDeltas 4294967336";   // beyond 32 bits: the block is skipped
        if (line == "deltaAddDelta 0.5") line = "deltaAddDelta nan";   // ignored: the weight stays 1
    }
    WriteFigure(lines);
    TKSN_Object* object = Import();
    ASSERT_TRUE(object);
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_TreeGroup* import = ChildNamed(mesh->MorphTree, "fig.cr2");
    EXPECT_EQ(ChildNamed(import, "tail_1"), nullptr);
    const std::vector<float> d = Deltas(mesh, MorphIn(ChildNamed(import, "BODY_1"), "PBM_Smile"));
    EXPECT_FLOAT_EQ(d[2], 0.0f);
    EXPECT_FLOAT_EQ(d[3 * 5 + 2], 2.0f);
}

TEST_F(CR2ImportTest, UnbalancedBracesStopTheImportNamingFileLineAndFault)
{
    struct TCase {
        const char* name;
        std::vector<std::string> extra;
        std::string fault;
    };
    const TCase cases[] = {
        {"stray close", {"}"}, "Error reading the CR2 file ( '}' found without a matching '{' )"},
        {"open without close", {"{"}, "the file ends inside a block"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Warnings.clear();
        std::vector<std::string> lines = FigureLines();
        Append(lines, c.extra);
        WriteFigure(lines);
        EXPECT_EQ(Import(), nullptr);
        EXPECT_EQ(Project->GetObjectCount(), 0);
        ASSERT_EQ(Warnings.size(), 1u);
        EXPECT_NE(Warnings[0].find(Figure.string()), std::string::npos) << Warnings[0];
        EXPECT_NE(Warnings[0].find("line "), std::string::npos) << Warnings[0];
        EXPECT_NE(Warnings[0].find(c.fault), std::string::npos) << Warnings[0];
    }
    Warnings.clear();
    EXPECT_EQ(Import(Root / "none.cr2"), nullptr);
    EXPECT_TRUE(HasWarning("Error opening the file " + (Root / "none.cr2").string()));
}

}  // namespace
}  // namespace cr2_test
