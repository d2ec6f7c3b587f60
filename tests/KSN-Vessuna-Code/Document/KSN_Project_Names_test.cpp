// Unique names: the rules over plain lists of names, the C-style entry points
// that later code calls, and the document scopes the generators and testers
// walk.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMemory.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

namespace {

// ---------------------------------------------------------------------------
// Bracket numbering
// ---------------------------------------------------------------------------

struct BracketCase {
    const char* Why;
    TKSN_NameList Names;
    const char* Wanted;
    const char* Expected;
};

TEST(UniqueNames, BracketNumberingFollowsTheScopeOrder)
{
    const BracketCase cases[] = {
        {"highest number after the plain name", {"Paint", "Paint (3)"}, "Paint", "Paint (4)"},
        {"numbers before the plain name are not read", {"Paint (3)", "Paint"}, "Paint", "Paint (1)"},
        {"free wanted name stays even when numbered forms exist", {"Paint (3)", "Other"}, "Paint", "Paint"},
        {"empty scope", {}, "Paint", "Paint"},
        {"taken without regard to case, numbered on the wanted letters", {"Smile", "SMILE (4)"}, "smile",
         "smile (1)"},
        {"a wanted name with a number is taken whole", {"Arm (2)"}, "Arm (2)", "Arm (2) (1)"},
        {"white space of the pattern takes any run of white space", {"A B", "A  B(5)"}, "A B", "A B (6)"},
        {"a space before the number is skipped, a sign is read", {"X", "X ( +7)", "X (-9)"}, "X", "X (8)"},
        {"text after the number is not looked at", {"X", "X (2"}, "X", "X (3)"},
        {"no digits, no number", {"X", "X ()", "X (a)"}, "X", "X (1)"},
        {"a per-cent sign is a plain character", {"50%grey", "50%grey (2)"}, "50%grey", "50%grey (3)"},
        {"conversions in a name are never run", {"%d%s%n", "%d%s%n (7)", "%s"}, "%d%s%n", "%d%s%n (8)"},
        {"numbers beyond int", {"Paint", "Paint (99999999999)"}, "Paint", "Paint (100000000000)"},
        // The bare rule would give a taken name here; the next free number is given instead.
        {"a number before the plain name is taken", {"Paint (1)", "Paint"}, "Paint", "Paint (2)"},
        {"the numbered form is taken in another case", {"Smile", "SMILE (1)"}, "smile", "smile (2)"},
    };
    for (const BracketCase& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(KSN_BracketNumberedName(c.Wanted, c.Names), c.Expected);
    }
}

// ---------------------------------------------------------------------------
// Map names
// ---------------------------------------------------------------------------

const TKSN_NameList ExportTypes = {"PNG", "BMP", "JPG", "TGA", "TIF"};

TEST(UniqueNames, MapNamesCollideWithoutTheirExtensions)
{
    const BracketCase cases[] = {
        {"another extension still collides", {"Skin.png"}, "Skin.jpg", "Skin (1).jpg"},
        {"an extension that is no export type becomes the first one", {}, "Skin.xyz", "Skin.PNG"},
        {"no extension gets the first export type", {"Skin.png"}, "Skin", "Skin (1).PNG"},
        {"numbers of the cut names count", {"Skin.png", "Skin (2).bmp"}, "Skin.png", "Skin (3).png"},
        {"the extension is checked without regard to case", {"Face.tga"}, "skin.jpg", "skin.jpg"},
        {"a per-cent sign is a plain character", {"50%grey.png", "50%grey (4).png"}, "50%grey.jpg",
         "50%grey (5).jpg"},
        {"dots before the extension stay", {"a.b.png"}, "a.b.jpg", "a.b (1).jpg"},
        {"a dot before a slash is no extension", {}, "v1.2/Skin", "v1.2/Skin.PNG"},
        {"a dot before a slash, name taken", {"v1.2/Skin.bmp"}, "v1.2/Skin", "v1.2/Skin (1).PNG"},
    };
    for (const BracketCase& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(KSN_UniqueMapName(c.Wanted, c.Names, ExportTypes), c.Expected);
    }
    EXPECT_EQ(KSN_UniqueMapName("Skin", {}, {}), "Skin") << "no export types: no bare dot";
}

TEST(UniqueNames, MapTesterExplainsUnsupportedExtensions)
{
    const std::string expectedXyz = QORFormat(Lang.GetText(491), "xyz") + "\nPNG, BMP, JPG, TGA, TIF";
    std::string message;
    EXPECT_FALSE(KSN_IsMapNameFree("Skin.xyz", {}, ExportTypes, &message));
    EXPECT_EQ(message, expectedXyz);

    message.clear();
    EXPECT_FALSE(KSN_IsMapNameFree("Skin", {"Face.png"}, ExportTypes, &message));
    EXPECT_EQ(message, QORFormat(Lang.GetText(491), "") + "\nPNG, BMP, JPG, TGA, TIF");

    message = "untouched";
    EXPECT_FALSE(KSN_IsMapNameFree("skin.JPG", {"Skin.png"}, ExportTypes, &message)) << "same base, other type";
    EXPECT_TRUE(KSN_IsMapNameFree("Skin.jpg", {"Skin (1).png", "Face.png"}, ExportTypes, &message));
    EXPECT_EQ(message, "untouched") << "only an unsupported extension writes a message";
    EXPECT_FALSE(KSN_IsMapNameFree("Skin.xyz", {}, ExportTypes, nullptr));
}

// ---------------------------------------------------------------------------
// Copies
// ---------------------------------------------------------------------------

struct TextCase {
    const char* Input;
    const char* Expected;
};

TEST(UniqueNames, CopyNamesLoseTheirLastBracketAndGainCopy)
{
    const TextCase cases[] = {
        {"A (b) (3)", "A (b) Copy"}, {"Arm (2)", "Arm Copy"},      {"Arm  (2)", "Arm Copy"},
        {"Arm\t(2)", "Arm Copy"},    {"Arm (left)", "Arm Copy"},   {"Arm Copy", "Arm Copy"},
        {"arm COPY", "arm COPY"},    {"Copy", "Copy Copy"},        {" Copy", " Copy Copy"},
        {"(x)", "(x) Copy"},         {"ab(", "ab Copy"},           {"x", "x Copy"},
        {"", " Copy"},               {"Arm (2) Copy", "Arm (2) Copy"}, {"50%grey (2)", "50%grey Copy"},
    };
    char out[KSN_NAME_BUFFER];
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.Input);
        EXPECT_EQ(KSN_CopyOfName(c.Input), c.Expected);
        GetCopyOfName(out, c.Input, nullptr);
        EXPECT_STREQ(out, c.Expected);
    }
}

// A generator over a list the test sets, with the generators' signature.
TKSN_NameList g_GeneratorScope;
void TestGenerator(const char* wanted, char* out)
{
    const std::string name = KSN_BracketNumberedName(wanted, g_GeneratorScope);
    std::snprintf(out, KSN_NAME_BUFFER, "%s", name.c_str());
}

TEST(UniqueNames, CopyNamesGoThroughTheGenerator)
{
    char out[KSN_NAME_BUFFER];
    g_GeneratorScope = {"Arm", "Arm Copy"};
    GetCopyOfName(out, "Arm (2)", TestGenerator);
    EXPECT_STREQ(out, "Arm Copy (1)");
    g_GeneratorScope = {"Arm"};
    GetCopyOfName(out, "Arm (2)", TestGenerator);
    EXPECT_STREQ(out, "Arm Copy");
}

// ---------------------------------------------------------------------------
// Numbered names and list de-duplication
// ---------------------------------------------------------------------------

TEST(UniqueNames, NumberedNamesSplitOffTrailingDigits)
{
    struct Case {
        const char* Name;
        const char* Base;
        int Number;
    };
    const Case cases[] = {
        {"Skin12", "Skin", 12}, {"Skin 3", "Skin ", 3}, {"123", "123", 0},   {"", "", 0},
        {"Skin", "Skin", 0},    {"Skin007", "Skin", 7}, {"a1b", "a1b", 0}, {"Skin99999999999", "Skin", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        char base[64] = "garbage";
        int number = -1;
        GetNumberedName(c.Name, base, &number);
        EXPECT_STREQ(base, c.Base);
        EXPECT_EQ(number, c.Number);
    }
}

TEST(UniqueNames, ListDeduplicationNumbersRepeatsWithoutSpace)
{
    struct Case {
        const char* Why;
        TKSN_NameList In;
        TKSN_NameList Out;
    };
    const Case cases[] = {
        {"three alike", {"Skin", "Skin", "Skin"}, {"Skin", "Skin1", "Skin2"}},
        {"numbered alike", {"Body2", "Body2"}, {"Body2", "Body3"}},
        {"taken without regard to case", {"Arm", "arm"}, {"Arm", "arm1"}},
        {"numbers already there count", {"Skin", "Skin1", "Skin"}, {"Skin", "Skin1", "Skin2"}},
        {"unique lists stay", {"A", "B", "A1"}, {"A", "B", "A1"}},
        {"per-cent signs stay plain", {"50%grey", "50%grey"}, {"50%grey", "50%grey1"}},
        // Digits-only names are their own base; a split that meets another
        // name is stepped on instead of giving a duplicate.
        {"digits only", {"1231", "123", "123"}, {"1231", "123", "1232"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TKSN_NameList names = c.In;
        KSN_MakeNamesUnique(names);
        EXPECT_EQ(names, c.Out);
    }
}

TEST(UniqueNames, ListDeduplicationRenamesThingies)
{
    // TQORThingy names are stored as given; TKSN_Thingy names lose ':', '\', '/', '%'.
    std::vector<std::unique_ptr<TQORThingy>> plain;
    TQORNewStaticList<TQORThingy*> plainList;
    for (const char* name : {"50%grey", "50%GREY", "Skin", "50%grey"}) {
        plain.push_back(std::make_unique<TQORThingy>());
        plain.back()->SetName("%s", name);
        plainList.Add(plain.back().get());
    }
    MakeListItemNamesUnique_QORThingy(&plainList);
    EXPECT_STREQ(plain[0]->GetName(), "50%grey");
    EXPECT_STREQ(plain[1]->GetName(), "50%GREY1");
    EXPECT_STREQ(plain[2]->GetName(), "Skin");
    EXPECT_STREQ(plain[3]->GetName(), "50%grey2");

    std::vector<std::unique_ptr<TKSN_Thingy>> document;
    TQORNewStaticList<TKSN_Thingy*> documentList;
    for (const char* name : {"Body", "Body", "Head"}) {
        document.push_back(std::make_unique<TKSN_Thingy>());
        document.back()->SetName("%s", name);
        documentList.Add(document.back().get());
    }
    MakeListItemNamesUnique(&documentList);
    EXPECT_STREQ(document[1]->GetName(), "Body1");
    EXPECT_STREQ(document[2]->GetName(), "Head");

    MakeListItemNamesUnique(nullptr);
    TQORNewStaticList<TKSN_Thingy*> empty;
    MakeListItemNamesUnique(&empty);
}

TEST(UniqueNames, MorphNamesCompareUpToTheFirstColon)
{
    EXPECT_TRUE(Morph_NamesEqual("Smile:1", "SMILE"));
    EXPECT_TRUE(Morph_NamesEqual("a:b", "A:c"));
    EXPECT_TRUE(Morph_NamesEqual(":a", ""));
    EXPECT_FALSE(Morph_NamesEqual("Smile", "Smiles"));
    EXPECT_FALSE(Morph_NamesEqual("Smile:1", "Smile1"));
}

// ---------------------------------------------------------------------------
// The document's scopes
// ---------------------------------------------------------------------------

class UniqueNamesInProject : public ksn_edit_test::ProjectEditFixture {
protected:
    TKSN_Layer* Layer(int slot, const char* name, bool enabled)
    {
        TKSN_Layer* layer = Project->PolygonLayers[slot];
        layer->SetName("%s", name);
        enabled ? layer->Enable() : layer->Disable();
        return layer;
    }

    static std::string Generated(TKSN_UniqueNameFunc generator, const char* wanted)
    {
        std::vector<char> out(KSN_NAME_BUFFER, '#');
        generator(wanted, out.data());
        return out.data();
    }

    TKSN_Mesh* MakeMesh(const char* name)
    {
        TKSN_Mesh* mesh = MakeObject(name)->Mesh.get();
        if (!mesh->Groups2) mesh->Groups2 = new TQORGroup2List;
        if (!mesh->Materials) mesh->Materials = new TQORMaterialList;
        return mesh;
    }

    static TQORGroup2* AddGroup(TKSN_Mesh* mesh, const char* name)
    {
        auto* group = new TQORGroup2;
        group->TQORThingy::SetName("%s", name);   // groups read from files keep a '%'
        mesh->Groups2->AddItem(group);
        return group;
    }

    static TQORMaterial* AddMaterial(TKSN_Mesh* mesh, const char* name)
    {
        auto* material = new TQORMaterial;
        material->TQORThingy::SetName("%s", name);
        mesh->Materials->AddItem(material);
        return material;
    }

    static void SelectPolygons(TKSN_Mesh* mesh, int count) { mesh->SelectedPolygonCount = count; }
};

TEST_F(UniqueNamesInProject, LayersCountOnlyEnabledUserSlots)
{
    TKSN_Layer* paint = Layer(1, "Paint", true);
    Layer(2, "Paint (3)", true);
    EXPECT_EQ(Generated(GetUniqueLayerName, "Paint"), "Paint (4)");
    EXPECT_FALSE(IsLayerNameUnique("PAINT", nullptr, nullptr));
    EXPECT_TRUE(IsLayerNameUnique("PAINT", paint, nullptr)) << "the renamed layer itself does not count";

    Layer(1, "Paint (3)", true);
    Layer(2, "Paint", true);
    EXPECT_EQ(Generated(GetUniqueLayerName, "Paint"), "Paint (1)") << "numbers before the plain name";

    Layer(2, "Paint", false);
    EXPECT_EQ(Generated(GetUniqueLayerName, "Paint"), "Paint") << "a disabled layer does not take a name";
    EXPECT_TRUE(IsLayerNameUnique("Paint", nullptr, nullptr));

    const std::string hidden = Project->PolygonLayers[30]->GetName();
    EXPECT_TRUE(IsLayerNameUnique(hidden.c_str(), nullptr, nullptr)) << "slots 30 and 31 never take part";
    EXPECT_EQ(Generated(GetUniqueLayerName, hidden.c_str()), hidden);
}

TEST_F(UniqueNamesInProject, LongNamesKeepTheirNumber)
{
    // A name at the limit has no room for a number: the end of the wanted
    // name gives way, so the name stored is the name generated, and free.
    const std::string name999(999, 'x');
    Layer(1, name999.c_str(), true);
    const std::string atLimit = Generated(GetUniqueLayerName, name999.c_str());
    EXPECT_LE(atLimit.size(), QORMaxNameLength);
    EXPECT_EQ(atLimit, name999.substr(0, atLimit.size()));
    EXPECT_TRUE(IsLayerNameUnique(atLimit.c_str(), nullptr, nullptr));
    Layer(4, atLimit.c_str(), true);
    EXPECT_EQ(std::string(Project->PolygonLayers[4]->GetName()), atLimit);

    // Too long even before a number: cut short, still free.
    const std::string name3000(3000, 'y');
    Layer(2, name3000.c_str(), true);
    const std::string fitted = Generated(GetUniqueLayerName, name3000.c_str());
    EXPECT_LE(fitted.size(), QORMaxNameLength);
    EXPECT_EQ(fitted, name3000.substr(0, fitted.size()));
    EXPECT_TRUE(IsLayerNameUnique(fitted.c_str(), nullptr, nullptr));
    Layer(3, fitted.c_str(), true);
    const std::string numbered = Generated(GetUniqueLayerName, name3000.c_str());
    EXPECT_EQ(numbered, fitted + " (1)") << "the cut name taken too: the number stays";

    std::vector<char> out(KSN_NAME_BUFFER);
    GetCopyOfName(out.data(), (name999 + " (2)").c_str(), GetUniqueLayerName);
    EXPECT_LE(std::strlen(out.data()), QORMaxNameLength);
    EXPECT_TRUE(IsLayerNameUnique(out.data(), nullptr, nullptr));
    const std::string shortName(100, 'z');
    GetCopyOfName(out.data(), (shortName + " (2)").c_str(), GetUniqueLayerName);
    EXPECT_EQ(std::string(out.data()), shortName + " Copy");
}

TEST_F(UniqueNamesInProject, MorphNamesLiveInTheUnionNamespace)
{
    auto* smile = new TKSN_MorphUnion;
    smile->SetName("%s", "Smile");
    Project->MorphUnions->AddItem(smile);
    auto* numbered = new TKSN_MorphUnion;
    numbered->SetName("%s", "SMILE (4)");
    Project->MorphUnions->AddItem(numbered);

    EXPECT_EQ(Generated(GetUniqueMorphName, "smile"), "smile (1)");
    EXPECT_FALSE(IsMorphNameUnique("smile", nullptr, nullptr));
    EXPECT_TRUE(IsMorphNameUnique("smile", smile, nullptr));

    std::vector<char> out(KSN_NAME_BUFFER);
    GetCopyOfName(out.data(), "Smile (4)", GetUniqueMorphName);
    EXPECT_STREQ(out.data(), "Smile Copy");
}

TEST_F(UniqueNamesInProject, MapNamesEndInAnExportType)
{
    for (const char* type : {"PNG", "BMP", "JPG", "TGA", "TIF"}) {
        auto* copy = static_cast<char*>(QORalloc(std::strlen(type) + 1));
        std::memcpy(copy, type, std::strlen(type) + 1);
        App->exportImageTypes->Add(copy);   // the application frees them
    }
    TQORMaterialMapSource* skin = Project->CreateMapSource();
    skin->SetName("%s", "Skin.png");
    EXPECT_EQ(Generated(GetUniqueMapName, "Skin.jpg"), "Skin (1).jpg");
    EXPECT_EQ(Generated(GetUniqueMapName, "Face.xyz"), "Face.PNG");

    EXPECT_FALSE(IsMapNameUnique("skin.BMP", nullptr, nullptr));
    EXPECT_TRUE(IsMapNameUnique("skin.BMP", skin, nullptr));
    std::vector<char> message(KSN_NAME_BUFFER, 0);
    EXPECT_FALSE(IsMapNameUnique("Skin.xyz", skin, message.data()));
    EXPECT_NE(std::string(message.data()).find("xyz"), std::string::npos);

    // An extension as long as a name fits the message buffer, cut short.
    const std::string longName = "a." + std::string(3000, 'e');
    std::vector<char> guarded(KSN_NAME_BUFFER + 16, '#');
    EXPECT_FALSE(IsMapNameUnique(longName.c_str(), nullptr, guarded.data()));
    EXPECT_EQ(std::strlen(guarded.data()), size_t(KSN_NAME_BUFFER - 1));
    EXPECT_EQ(guarded[KSN_NAME_BUFFER], '#');
}

TEST_F(UniqueNamesInProject, GroupsAndMaterialsOfObjectsWithSelectedPolygons)
{
    TKSN_Mesh* body = MakeMesh("Body");
    TKSN_Mesh* head = MakeMesh("Head");
    AddGroup(body, "50%grey");
    TQORGroup2* headGroup = AddGroup(head, "50%grey (2)");
    AddMaterial(body, "Skin%d");
    AddMaterial(head, "skin%D (5)");

    // Generated names come in the form SetName stores ('%' becomes '_').
    EXPECT_EQ(Generated(GetUniqueGroupNameInSelectedObject, "50%grey"), "50_grey")
        << "no polygon is selected anywhere";
    EXPECT_TRUE(IsGroupNameUniqueInSelectedObject("50%grey", nullptr, nullptr));

    SelectPolygons(body, 1);
    SelectPolygons(head, 1);
    // The maximum carries over from one mesh to the next.
    EXPECT_EQ(Generated(GetUniqueGroupNameInSelectedObject, "50%grey"), "50_grey (3)");
    EXPECT_EQ(Generated(GetUniqueMaterialNameInSelectedObject, "Skin%d"), "Skin_d (1)")
        << "the numbered form is matched in its own case";
    EXPECT_FALSE(IsMaterialNameUniqueInSelectedObject("SKIN%D", nullptr, nullptr));
    EXPECT_TRUE(IsGroupNameUniqueInSelectedObject("50%grey (2)", headGroup, nullptr));

    SelectPolygons(body, 0);
    EXPECT_EQ(Generated(GetUniqueGroupNameInSelectedObject, "50%grey"), "50_grey");
}

TEST_F(UniqueNamesInProject, GroupsAndMaterialsOfObjectsWithHighlightedItems)
{
    TKSN_Mesh* body = MakeMesh("Body");
    TKSN_Mesh* head = MakeMesh("Head");
    TQORGroup2* arm = AddGroup(body, "Arm");
    AddGroup(body, "Leg");
    AddGroup(head, "Eye");
    AddMaterial(body, "Cloth");
    TQORMaterial* iris = AddMaterial(head, "Iris");

    EXPECT_TRUE(IsGroupNameUniqueInObjectsWithHighlightedGroups("Leg", nullptr, nullptr)) << "nothing highlighted";
    arm->multiSelected = true;
    EXPECT_FALSE(IsGroupNameUniqueInObjectsWithHighlightedGroups("leg", nullptr, nullptr));
    EXPECT_TRUE(IsGroupNameUniqueInObjectsWithHighlightedGroups("Eye", nullptr, nullptr)) << "other mesh";

    iris->multiSelected = true;
    EXPECT_TRUE(IsMaterialNameUniqueInObjectsWithHighlightedMaterials("Cloth", nullptr, nullptr));
    EXPECT_FALSE(IsMaterialNameUniqueInObjectsWithHighlightedMaterials("IRIS", nullptr, nullptr));
    EXPECT_TRUE(IsMaterialNameUniqueInObjectsWithHighlightedMaterials("IRIS", iris, nullptr));
}

TEST_F(UniqueNamesInProject, SelectionsAndMorphsOfObjects)
{
    TKSN_Object* object = MakeObject("Body");
    TKSN_Mesh* mesh = object->Mesh.get();
    auto* pose = new TKSN_Selection(mesh->GetVCount(), mesh->GetID());
    pose->SetName("%s", "Pose");
    mesh->SelectionTree->AddItem(pose);
    EXPECT_FALSE(IsSelectionNameUnique("POSE", nullptr, nullptr));
    EXPECT_TRUE(IsSelectionNameUnique("POSE", pose, nullptr));
    EXPECT_EQ(Generated(GetUniqueSelectionName, "Pose"), "Pose (1)");

    EXPECT_FALSE(IsMorphNameUniqueToObjectContainingCurrentSelection("Anything", nullptr, nullptr))
        << "no object holds the current selection";
    Project->SetCurrentObject(object);
    Project->SetObjectContainingCurrentSelectionID(object->GetID());
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    ASSERT_FALSE(morphs->IsEmpty());
    EXPECT_FALSE(IsMorphNameUniqueToObjectContainingCurrentSelection(morphs->Last()->GetName(), nullptr, nullptr));
    EXPECT_TRUE(IsMorphNameUniqueToObjectContainingCurrentSelection(morphs->Last()->GetName(), morphs->Last(),
                                                                    nullptr));
    EXPECT_TRUE(IsMorphNameUniqueToObjectContainingCurrentSelection("A new morph", nullptr, nullptr));
}

TEST_F(UniqueNamesInProject, NamesAreGeneratedAndTestedAsSetNameStoresThem)
{
    const std::string utf8Cut = std::string(998, 'a') + "\xc3\xa9";   // the limit of 999 falls inside the 'é'
    struct Case {
        const char* why;
        std::vector<std::string> taken;
        std::string wanted;
        std::string generated;
        bool free;
    };
    const Case cases[] = {
        {"a slash is stored as the underscore of a taken name", {"a_b"}, "a/b", "a_b (1)", false},
        {"a colon and backslashes", {"C__maps"}, "C:\\maps", "C__maps (1)", false},
        {"a per-cent sign", {"50_grey"}, "50%grey", "50_grey (1)", false},
        {"a line end is removed", {}, "Eyes\nLeft", "EyesLeft", true},
        {"surrounding blanks are trimmed", {"Smile"}, "  Smile ", "Smile (1)", false},
        {"a cut inside a UTF-8 character", {}, utf8Cut, std::string(998, 'a'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (int slot = 1; slot < 8; ++slot) Layer(slot, "unused", false);
        for (size_t i = 0; i < c.taken.size(); ++i) Layer(int(i) + 1, c.taken[i].c_str(), true);
        EXPECT_EQ(IsLayerNameUnique(c.wanted.c_str(), nullptr, nullptr), c.free);
        const std::string generated = Generated(GetUniqueLayerName, c.wanted.c_str());
        EXPECT_EQ(generated, c.generated);
        // What is generated is what is stored, and it is free.
        TKSN_Layer* layer = Layer(7, generated.c_str(), false);
        EXPECT_EQ(std::string(layer->GetName()), generated);
        EXPECT_TRUE(IsLayerNameUnique(generated.c_str(), nullptr, nullptr));
    }
}

TEST_F(UniqueNamesInProject, MapNamesFindTheirExtensionBeforeSlashesBecomeUnderscores)
{
    for (const char* type : {"PNG", "BMP"}) {
        auto* copy = static_cast<char*>(QORalloc(std::strlen(type) + 1));
        std::memcpy(copy, type, std::strlen(type) + 1);
        App->exportImageTypes->Add(copy);   // the application frees them
    }
    EXPECT_EQ(Generated(GetUniqueMapName, "v1.2/Skin"), "v1.2_Skin.PNG");
    TQORMaterialMapSource* skin = Project->CreateMapSource();
    skin->SetName("%s", "v1.2_Skin.bmp");
    EXPECT_EQ(Generated(GetUniqueMapName, "v1.2/Skin"), "v1.2_Skin (1).PNG");
    EXPECT_EQ(Generated(GetUniqueMapName, "v1.2/Skin.png"), "v1.2_Skin (1).png");
    EXPECT_FALSE(IsMapNameUnique("v1.2/Skin.png", nullptr, nullptr)) << "stored as the taken v1.2_Skin";
    EXPECT_TRUE(IsMapNameUnique("v1.2/Skin.png", skin, nullptr));
}

TEST_F(UniqueNamesInProject, TreeWalkStopsAtTheFirstEntryOfAnotherClass)
{
    TKSN_Mesh* body = MakeMesh("Body");
    AddGroup(body, "Arm");
    auto* stray = new TKSN_Thingy;
    stray->SetName("%s", "Stray");
    body->Groups2->AddItem(stray);
    AddGroup(body, "Leg");
    AddMaterial(body, "Skin");
    auto* strayMaterial = new TKSN_Thingy;
    strayMaterial->SetName("%s", "Stray");
    body->Materials->AddItem(strayMaterial);
    AddMaterial(body, "Cloth");
    body->SelectedListsValid = true;   // the selected lists say one polygon is selected
    SelectPolygons(body, 1);
    struct Case {
        TKSN_IsNameUniqueFunc tester;
        const char* name;
        bool free;
    };
    const Case cases[] = {
        {IsGroupNameUniqueInSelectedObject, "Arm", false},
        {IsGroupNameUniqueInSelectedObject, "Stray", true},
        {IsGroupNameUniqueInSelectedObject, "Leg", true},
        {IsMaterialNameUniqueInSelectedObject, "Skin", false},
        {IsMaterialNameUniqueInSelectedObject, "Cloth", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.tester(c.name, nullptr, nullptr), c.free);
    }
    EXPECT_EQ(Generated(GetUniqueGroupNameInSelectedObject, "Leg"), "Leg");
}

TEST(UniqueNames, ListDeduplicationKeepsItsDigitsWithinTheNameLimit)
{
    const std::string longName(QORMaxNameLength, 'n');
    std::vector<std::unique_ptr<TKSN_Thingy>> items;
    TQORNewStaticList<TKSN_Thingy*> list;
    for (int i = 0; i < 3; ++i) {
        items.push_back(std::make_unique<TKSN_Thingy>());
        items.back()->SetName("%s", longName.c_str());
        list.Add(items.back().get());
    }
    MakeListItemNamesUnique(&list);
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = i + 1; j < items.size(); ++j)
            EXPECT_NE(QORstrcmpi(items[i]->GetName(), items[j]->GetName()), 0) << i << " and " << j;
    EXPECT_EQ(std::string(items[0]->GetName()), longName);
}

} // namespace
