// Morph, selection and layer sets, and the Faceloom data base.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_InterchangeTestSupport.h"
#include "KSN_Morph.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Selection.h"
#include "KSN_Sets.h"

namespace {

using namespace ksn_interchange_test;

class SetsTest : public ProjectFileFixture {
protected:
    TKSN_Object* Object = nullptr;
    TKSN_Mesh* Mesh = nullptr;

    void SetUp() override
    {
        ProjectFileFixture::SetUp();
        Object = MakeQuadObject("Head");
        Mesh = Object->Mesh.get();
        Project->SetCurrentObject(Object);
    }
    std::string P(const char* name) const { return PathOf(name).string(); }
};

// ============================================================================
// Morph and selection sets
// ============================================================================

TEST_F(SetsTest, MorphSetRoundTripsReplacingOrMerging)
{
    TKSN_Morph* smile = AddMorph(Mesh, nullptr, "Smile", 0.5f);
    smile->GetVertex(4)[2] = 0.25f;
    Project->ExportMorphSet(P("a.MorSet").c_str());
    const std::string text = ReadText(PathOf("a.MorSet"));
    EXPECT_EQ(text.rfind("verify_vcount 6\nverify_pcount 2\nmorphs\t", 0), 0u) << text;

    struct Case {
        bool merge;
        int smiles;
        bool keepsBlink;
    };
    for (const Case& c : {Case{false, 1, false}, Case{true, 2, true}}) {
        SCOPED_TRACE(c.merge ? "merge" : "replace");
        AddMorph(Mesh, nullptr, "Blink");
        Project->ImportMorphSet(P("a.MorSet").c_str(), c.merge);
        const std::vector<std::string> names = MorphNames(Mesh);
        int smiles = 0;
        bool blink = false;
        TKSN_Morph* read = nullptr;
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(Mesh->GetMorphList());
        for (TKSN_Morph* m : *morphs) {
            if (std::string(m->GetName()) == "Smile") {
                ++smiles;
                read = m;
            }
            blink = blink || std::string(m->GetName()) == "Blink";
            EXPECT_EQ(m->GetVCount(), 6);
        }
        EXPECT_EQ(smiles, c.smiles);
        EXPECT_EQ(blink, c.keepsBlink);
        ASSERT_NE(read, nullptr);
        EXPECT_FLOAT_EQ(read->GetVertex(4)[2], 0.25f);
        EXPECT_EQ(Mesh->TempMorph != nullptr, true) << "the special morphs are there again";
        if (!c.merge) {
            EXPECT_EQ(CountOf("push 439"), 1);
        }
        // Every morph is stamped with its mesh.
        for (TKSN_Morph* m : *morphs) EXPECT_EQ(m->GetOwnerID(), Mesh->GetID());
        // Start the next case from one Smile again.
        Project->ImportMorphSet(P("a.MorSet").c_str(), false);
        Log.clear();
    }
}

TEST_F(SetsTest, SetOfAnotherVertexCountLeavesTheTreeUntouched)
{
    WriteFile(PathOf("bad.MorSet"), "verify_vcount 7\nverify_pcount 2\nmorphs\t\n{\n\tmorph\tIntruder\n\t{\n\t}\n}\n");
    WriteFile(PathOf("bad.SelSet"), "verify_vcount 7\nverify_pcount 2\nselections\t\n{\n}\n");
    AddMorph(Mesh, nullptr, "Smile");
    AddSelection(Mesh, "Eyes", 0.5f);
    const std::vector<std::string> before = MorphNames(Mesh);
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge);
        Warnings.clear();
        Project->ImportMorphSet(P("bad.MorSet").c_str(), merge);
        EXPECT_EQ(MorphNames(Mesh), before);
        EXPECT_TRUE(Contains(Warnings, "The vertex count used in this morph set does not match the current object."));
        Project->ImportSelectionSet(P("bad.SelSet").c_str(), merge);
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(Mesh->GetSelectionList());
        bool eyes = false;
        for (TKSN_Selection* s : *selections) eyes = eyes || std::string(s->GetName()) == "Eyes";
        EXPECT_TRUE(eyes);
        EXPECT_TRUE(Contains(Warnings, "The vertex count used in this selection set does not match the current object."));
    }
}

TEST_F(SetsTest, SetWithoutCountLinesIsSizedToTheMesh)
{
    // No verify lines: read without a check, but a morph of another size must
    // not be left longer or shorter than the mesh.
    WriteFile(PathOf("old.MorSet"), "morphs\t\n{\n\tmorph\tShort\n\t{\n\t\tName\tShort\n\t\tvcount\t3\n\t}\n}\n");
    Project->ImportMorphSet(P("old.MorSet").c_str(), true);
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(Mesh->GetMorphList());
    bool found = false;
    for (TKSN_Morph* m : *morphs)
        if (std::string(m->GetName()) == "Short") {
            found = true;
            EXPECT_EQ(m->GetVCount(), Mesh->GetVCount());
        }
    EXPECT_TRUE(found);
}

TEST_F(SetsTest, ErrorsAreWarningsAndChangeNothing)
{
    Project->ImportMorphSet(P("missing.MorSet").c_str(), false);
    EXPECT_TRUE(Contains(Warnings, "Cannot open the file " + P("missing.MorSet")));
    Project->ExportSelectionSet((PathOf("no folder") / "x.SelSet").string().c_str());
    EXPECT_TRUE(Contains(Warnings, "Cannot create the file"));
    Project->SetCurrentObject(nullptr);
    Warnings.clear();
    Project->ExportMorphSet(P("none.MorSet").c_str());
    EXPECT_FALSE(fs::exists(PathOf("none.MorSet")));
    EXPECT_TRUE(Contains(Warnings, "Please choose (or import) an object before proceeding."));
}

// ============================================================================
// Layer sets
// ============================================================================

class LayerSetsTest : public SetsTest {
protected:
    void EnableLayer(int slot, const char* name, float red)
    {
        TKSN_Layer* layer = Project->PolygonLayers[slot];
        layer->Enable();
        layer->SetName("%s", name);
        layer->Color[0] = red;
    }
    // Everything but slots 0, 30 and 31 back to the state of a new project.
    void ForgetUserLayers()
    {
        for (int slot = 1; slot < 30; ++slot) {
            Project->PolygonLayers[slot]->Disable();
            Project->PolygonLayers[slot]->SetName("%s", "Unused");
        }
        for (int p = 0; p < Mesh->GetPCount(); ++p) Mesh->Polygons[p].LayerFlags = 0;
    }
};

TEST_F(LayerSetsTest, LayersComeBackInTheirSlotsWithThePolygonBits)
{
    struct Case {
        const char* name;
        std::vector<int> slots;
    };
    for (const Case& c : {Case{"slots 0 and 1", {0, 1}}, Case{"slots 0 and 2", {0, 2}}}) {
        SCOPED_TRACE(c.name);
        ForgetUserLayers();
        for (int slot : c.slots)
            if (slot) EnableLayer(slot, ("Layer " + std::to_string(slot)).c_str(), 0.1f * float(slot));
        const int user = c.slots.back();
        Mesh->Polygons[0].LayerFlags = 1u << (user - 1);
        Mesh->Polygons[1].LayerFlags = 0;
        Project->ExportLayerSet(P("a.LaySet").c_str());

        ForgetUserLayers();
        Project->ImportLayerSet(P("a.LaySet").c_str());
        for (int slot = 1; slot < 30; ++slot) {
            const bool wanted = slot == user;
            EXPECT_EQ(Project->PolygonLayers[slot]->IsEnabled(), wanted) << slot;
        }
        EXPECT_STREQ(Project->PolygonLayers[user]->GetName(), ("Layer " + std::to_string(user)).c_str());
        EXPECT_FLOAT_EQ(Project->PolygonLayers[user]->Color[0], 0.1f * float(user));
        EXPECT_EQ(Mesh->Polygons[0].LayerFlags, 1u << (user - 1));
        EXPECT_EQ(Mesh->Polygons[1].LayerFlags, 0u);
    }
}

TEST_F(LayerSetsTest, WriterRecordsSlotsAndLeavesOutHiddenAndLocked)
{
    EnableLayer(2, "Two", 0.5f);
    Project->ExportLayerSet(P("a.LaySet").c_str());
    const std::vector<std::string> lines = SplitLines(ReadText(PathOf("a.LaySet")));
    std::vector<std::string> slots;
    int layers = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("slot\t", 0) == 0) {
            slots.push_back(lines[i]);
            ASSERT_LT(i + 1, lines.size());
            EXPECT_EQ(lines[i + 1].rfind("layer\t", 0), 0u) << "the slot line comes right before its layer";
        }
        layers += lines[i].rfind("layer\t", 0) == 0;
    }
    EXPECT_EQ(slots, (std::vector<std::string>{"slot\t0", "slot\t2"}));
    EXPECT_EQ(layers, 2) << "slots 30 and 31 are never written";
    EXPECT_TRUE(Contains(lines, "PolygonLayerFlags"));
}

TEST_F(LayerSetsTest, FilesWithoutSlotLinesAndRefusedSlots)
{
    // An older file: layers fill slots 0, 1, ...; a slot line out of range
    // drops its block; slots 30 and 31 stay as they were.
    const std::string hidden = Project->PolygonLayers[30]->GetName();
    WriteFile(PathOf("old.LaySet"), "verify_vcount 6\nverify_pcount 2\n"
                                   "layer\t\n{\n\tName\tFirst\n}\nlayer\t\n{\n\tName\tSecond\n}\n"
                                   "slot\t30\nlayer\t\n{\n\tName\tThirtieth\n}\n"
                                   "slot\tx\nlayer\t\n{\n\tName\tBad\n}\n");
    ForgetUserLayers();
    Project->ImportLayerSet(P("old.LaySet").c_str());
    EXPECT_STREQ(Project->PolygonLayers[0]->GetName(), "First");
    EXPECT_STREQ(Project->PolygonLayers[1]->GetName(), "Second");
    EXPECT_TRUE(Project->PolygonLayers[1]->IsEnabled());
    EXPECT_FALSE(Project->PolygonLayers[2]->IsEnabled());
    EXPECT_EQ(Project->PolygonLayers[30]->GetName(), hidden);
}

TEST_F(LayerSetsTest, FlagsOfAnotherPolygonCountAreDroppedAfterTheLayers)
{
    EnableLayer(1, "One", 0.3f);
    Mesh->Polygons[0].LayerFlags = 1;
    Project->ExportLayerSet(P("a.LaySet").c_str());
    // The same file claiming the right count, but with a flag block of 3 polygons.
    std::string text = ReadText(PathOf("a.LaySet"));
    const size_t at = text.find("PolygonLayerFlags");
    ASSERT_NE(at, std::string::npos);
    text.resize(at);
    text += "PolygonLayerFlags\t\n{\n\tSize\t16\nAQAAAAEAAAABAAAA\n}\n";
    WriteFile(PathOf("b.LaySet"), text);

    ForgetUserLayers();
    Mesh->Polygons[1].LayerFlags = 4;
    Project->ImportLayerSet(P("b.LaySet").c_str());
    EXPECT_TRUE(Project->PolygonLayers[1]->IsEnabled());
    EXPECT_STREQ(Project->PolygonLayers[1]->GetName(), "One");
    EXPECT_EQ(Mesh->Polygons[0].LayerFlags, 0u);
    EXPECT_EQ(Mesh->Polygons[1].LayerFlags, 4u);
}

TEST_F(LayerSetsTest, AnotherPolygonCountChangesNothing)
{
    WriteFile(PathOf("bad.LaySet"), "verify_vcount 9\nverify_pcount 3\nslot\t1\nlayer\tOne\n{\n}\n");
    ForgetUserLayers();
    Project->ImportLayerSet(P("bad.LaySet").c_str());
    EXPECT_FALSE(Project->PolygonLayers[1]->IsEnabled());
    EXPECT_TRUE(Contains(Warnings, "The vertex count used in this layer set does not match"));
    EXPECT_TRUE(Contains(Warnings, "The polygon count used in this layer set does not match the current object."));
}

// ============================================================================
// Faceloom data base
// ============================================================================

TEST_F(SetsTest, FaceloomDataBaseFindsTheSetOfTheCharacter)
{
    Object->FileName = "C:\\Figures\\Vera.obj";
    AddSelection(Mesh, "Lips", 0.25f);
    fs::create_directories(Root / "main" / "Selection Sets");
    Project->ExportSelectionSet((Root / "main" / "Selection Sets" / "Vera Parts.SelSet").string().c_str());
    Mesh->SelectionTree->Empty();

    struct Case {
        const char* dataBase;
        bool loads;
        const char* warning;
    };
    const Case cases[] = {
        {"vera.obj \"Vera Parts.SelSet\" extra\n", false,
         "No default selection set can be found for this character (Vera.obj)."},
        {"Other.obj Other.SelSet\n\tVERA.OBJ\t\"Vera Parts.SelSet\"\n", true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataBase);
        Warnings.clear();
        Prints.clear();
        Mesh->SelectionTree->Empty();
        WriteFile(Root / "main" / "Data" / "Faceloom_DataBase.txt", c.dataBase);
        CheckAndAutoLoadFaceloomSelectionSet();
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(Mesh->GetSelectionList());
        bool lips = false;
        for (TKSN_Selection* s : *selections) lips = lips || std::string(s->GetName()) == "Lips";
        EXPECT_EQ(lips, c.loads);
        if (c.warning) {
            EXPECT_TRUE(Contains(Warnings, c.warning));
        }
        if (c.loads) {
            EXPECT_TRUE(Contains(Prints, "Loading the appropriate selection set (Vera Parts.SelSet) for this character."));
        }
    }
}

TEST_F(SetsTest, FaceloomOffersTheDownloadWhenTheSetIsMissing)
{
    Object->FileName = "/figures/Vera.obj";
    WriteFile(Root / "main" / "Data" / "Faceloom_DataBase.txt", "Vera.obj Missing.SelSet\n");
    Dialogs.Answers = {TOSBoxAnswer::No};
    CheckAndAutoLoadFaceloomSelectionSet();
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_NE(Dialogs.Boxes[0].Text.find("supported by Faceloom"), std::string::npos);
}

} // namespace
