// The project file: a full round trip, the writer's layout, the reader's key
// table, damaged files that must leave the open project alone, a save on a
// full disk, and the saving of every map.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_PolygonLayer.h"
#include "KSN_ProjectFileTestSupport.h"
#include "KSN_ProjectFileText.h"
#include "KSN_SculptLayer.h"
#include "KSN_Union.h"
#include "KsnTestSupport.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORTextBlock.h"

namespace {

using namespace ksn_file_test;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

using ksn_file_text::WithoutUnreadValues;

// ============================================================================
// Round trip
// ============================================================================

TEST_F(ProjectFileFixture, RoundTripGivesTheSameFileAgain)
{
    BuildRichProject();
    ASSERT_TRUE(Save("first.Kestrune"));
    const std::string first = ReadFile(PathOf("first.Kestrune"));

    int current = -2;
    ASSERT_TRUE(KSN_LoadProjectInPlace(PathOf("first.Kestrune").c_str(), &current));
    EXPECT_TRUE(Dialogs.Boxes.empty()) << "a map layer exists, so nothing is asked";
    EXPECT_EQ(Project->ScaleFactor, 2.5f);
    EXPECT_FALSE(Project->ShowCheckeredBackground);
    EXPECT_EQ(Project->TileRotationMatrix[1], 1.0f);
    EXPECT_EQ(Project->GetObjectCount(), 2);
    ASSERT_NE(Project->GetCurrentObject(), nullptr);
    EXPECT_STREQ(Project->GetCurrentObject()->GetName(), "Teeth");
    EXPECT_EQ(Project->FileName, PathOf("first.Kestrune").string());

    ASSERT_TRUE(Save("second.Kestrune"));
    const std::string second = ReadFile(PathOf("second.Kestrune"));
    EXPECT_EQ(WithoutUnreadValues(first), WithoutUnreadValues(second));
    EXPECT_NE(first.find("\t\tmorph\tSmile"), std::string::npos) << "the union 'Smile' is saved";
    EXPECT_NE(first.find("\t\tgroup\tFace"), std::string::npos) << "in its folder";
}

TEST_F(ProjectFileFixture, TheLongestNameAndALongMapPathSurviveTheFile)
{
    // Lines are read whole: a name at the limit, one ending in a brace, and a
    // map path far past any fixed line buffer come back exactly.
    std::string longest(QORMaxNameLength - 1, 'n');
    longest += 'X';
    const std::string brace = "Jaw }";
    std::string path = "/maps";
    while (path.size() < 3000) path += "/a folder with a long name";
    path += "/Skin.png";

    MakeQuadObject(longest.c_str());
    MakeQuadObject(brace.c_str());
    TQORMaterialMapSource* skin = Project->CreateMapSource();
    skin->SetName("Skin.png");
    skin->SetMapFileName(path.c_str());
    ASSERT_TRUE(Save("long.Kestrune"));

    int current = -2;
    ASSERT_TRUE(KSN_LoadProjectInPlace(PathOf("long.Kestrune").c_str(), &current));
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    ASSERT_EQ(objects->Count(), 2);
    EXPECT_EQ(std::string((*objects)[0]->GetName()), longest);
    EXPECT_EQ(std::string((*objects)[1]->GetName()), brace);
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    ASSERT_EQ(maps->Count(), 1);
    EXPECT_EQ(std::string((*maps)[0]->GetMapFileName()), path);
}

// ============================================================================
// Writer
// ============================================================================

TEST_F(ProjectFileFixture, WriterLayout)
{
    MakeQuadObject("Head");
    for (int slot = 1; slot <= 4; ++slot) Project->PolygonLayers[slot]->Enable();
    Project->CreateMapSource()->SetName("A.png");
    Project->Maps->AddItem(new TKSN_Thingy());   // not a map source: skipped, but counted
    Project->CreateMapSource()->SetName("B.png");
    Project->CreateMapSource()->SetName("C.png");
    ASSERT_TRUE(Save("layout.Kestrune"));
    EXPECT_EQ(TextFileIndent, 0);
    const std::string text = ReadFile(PathOf("layout.Kestrune"));
    const std::vector<std::string> lines = Lines(text);

    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Kestrune Project File");
    EXPECT_EQ(lines[1], "Version 4.2.8.0");
    EXPECT_EQ(lines[2], std::string(27, '-'));
    EXPECT_EQ(lines[3], "{");
    EXPECT_EQ(lines.back(), "}");
    EXPECT_EQ(text.back(), '\n');

    // Depth 1 is the top-level block: every line there begins with exactly one TAB.
    int depth = 0, layers = 0, matrices = 0;
    std::vector<std::string> maps;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t tabs = line.find_first_not_of('\t');
        const std::string body = tabs == std::string::npos ? "" : line.substr(tabs);
        if (body == "}") --depth;
        if (depth == 1 && !body.empty()) {
            SCOPED_TRACE(line);
            EXPECT_EQ(tabs, 1u);
            const std::string key = body.substr(0, body.find('\t'));
            layers += key == "layer";
            if (key == "map") maps.push_back(body.substr(4));
            if (key == "GlobalOrientationMatrix" || key == "TileRotationMatrix") {
                ++matrices;
                std::istringstream numbers(body.substr(key.size() + 1));
                int count = 0;
                for (float f; numbers >> f;) ++count;
                EXPECT_EQ(count, 16);
                EXPECT_EQ(line.back(), ' ');
            }
        }
        if (body == "{") ++depth;
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(layers, 5);
    EXPECT_EQ(matrices, 2);
    EXPECT_EQ(maps, (std::vector<std::string>{"0", "2", "3"}));
    EXPECT_EQ(text.find("Hidden Layer"), std::string::npos);
    EXPECT_EQ(text.find("Locked Layer"), std::string::npos);
    for (const char* block : {"\tsculptLayers\t\n", "\tmapLayers\t\n", "\tobjects\t\n", "\tmorphs\t\n", "\tselections\t\n"})
        EXPECT_NE(text.find(block), std::string::npos) << block;
}

TEST_F(ProjectFileFixture, SaveWithoutSettingTheFileNameKeepsIt)
{
    Project->FileName = "old";
    ASSERT_TRUE(Project->SaveProject_v2(PathOf("copy.Kestrune").c_str(), false));
    EXPECT_EQ(Project->FileName, "old");
    // A folder that does not exist cannot take the file: false, nothing changed.
    EXPECT_FALSE(Project->SaveProject_v2(PathOf("missing/x.Kestrune").c_str(), true));
    EXPECT_EQ(Project->FileName, "old");
    EXPECT_EQ(TextFileIndent, 0);
}

TEST_F(ProjectFileFixture, FullDiskKeepsThePreviousFile)
{
    BuildRichProject();
    ASSERT_TRUE(Save("full.Kestrune"));
    const std::string before = ReadFile(PathOf("full.Kestrune"));
    Project->ScaleFactor = 7.0f;   // the next file differs

    // The save runs in a child process limited to files half the old one's
    // size. The child is a fresh run of this program that repeats the test up
    // to here ("threadsafe"): a plain fork would copy the locks that worker
    // threads (the virtual-memory store's writer) held at that moment, and the
    // child's save could wait on one of them forever.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = rlim_t(before.size() / 2);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            int code = Project->SaveProject_v2(PathOf("full.Kestrune").c_str(), true) ? 1 : 0;
            if (!code && TextFileIndent != 0) code = 2;
            if (!code && ReadFile(PathOf("full.Kestrune")) != before) code = 3;
            for (const auto& entry : fs::directory_iterator(Root))
                if (!code && entry.path().filename().string().find(".saving-") != std::string::npos) code = 4;
            std::_Exit(code);
        },
        testing::ExitedWithCode(0), "")
        << "1: reported success; 2: the indent was left raised; 3: the old file changed; 4: temporary file left";

    fs::permissions(PathOf("full.Kestrune"), fs::perms(0644));
    ASSERT_TRUE(Save("full.Kestrune"));
    EXPECT_NE(ReadFile(PathOf("full.Kestrune")).find("ScaleFactor\t7.0"), std::string::npos);
    EXPECT_EQ(fs::status(PathOf("full.Kestrune")).permissions(), fs::perms(0644)) << "the old file's permissions stay";
}

TEST_F(ProjectFileFixture, SaveProjectMapsWithTheFirstDialogCancelledSavesNothing)
{
    TKSN_Object* head = MakeQuadObject("Head");
    TQORMaterialMapSource* skin = Project->CreateMapSource();
    skin->SetName("Skin.png");
    Project->CreateMapSource()->SetName("Other.png");
    TQORMaterial* material = head->Mesh->Materials->GetItemAs(0);
    Project->AssignMapToMaterialChannel(head->Mesh.get(), skin, material, "Color");
    material->GetChannelFromName("Color")->SetMapFileName("stale.png");
    Log.clear();

    Project->SaveProjectMaps();
    EXPECT_EQ(Dialogs.FileRequests.size(), 1u) << "the maps after the cancelled one are not offered";
    EXPECT_STREQ(material->GetChannelFromName("Color")->GetMapFileName(), "Skin.png");
    EXPECT_GE(IndexOf("push 435"), 0);
    for (const auto& entry : fs::directory_iterator(Root))
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
}

// ============================================================================
// Reader
// ============================================================================

TEST_F(ProjectFileFixture, ReaderKeyTable)
{
    const std::string identity = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
    struct Case {
        const char* Name;
        std::string Header;
        std::string Body;
        bool Loads;
        std::function<void()> Check;
    };
    const std::vector<Case> cases = {
        {"lower-case header", "kestrune project file", "\tScaleFactor\t2.5\n", true,
         [] { EXPECT_EQ(Project->ScaleFactor, 2.5f); }},
        {"header with more text", "Kestrune Project File v2", "", true, [] {}},
        {"first two words only", "Kestrune Project", "", false, [] {}},
        {"TileSize 4", "Kestrune Project File", "\tTileSize\t4\n", true,
         [] { EXPECT_FLOAT_EQ(Project->TileRepeat, 0.25f); }},
        {"TileSize 0", "Kestrune Project File", "\tTileRepeat\t3\n\tTileSize\t0\n", true,
         [] { EXPECT_FLOAT_EQ(Project->TileRepeat, 3.0f); }},
        {"15-number matrix", "Kestrune Project File",
         "\tGlobalOrientationMatrix\t2 0 0 0 0 2 0 0 0 0 2 0 0 0 0\n\tTileRotationMatrix\t2 0 0 0 0 2 0 0 0 0 2 0 0 0 0\n",
         true,
         [] {
             EXPECT_EQ(App->baseOrientationMatrix[0], 1.0f);
             EXPECT_EQ(Project->TileRotationMatrix[0], 1.0f);
         }},
        {"five layers", "Kestrune Project File",
         "\tlayer\tA\n\t{\n\t\tName\tA\n\t}\n\tlayer\tB\n\t{\n\t\tName\tB\n\t}\n\tlayer\tC\n\t{\n\t\tName\tC\n\t}\n"
         "\tlayer\tD\n\t{\n\t\tName\tD\n\t}\n\tlayer\tE\n\t{\n\t\tName\tE\n\t}\n",
         true,
         [] {
             for (int slot = 0; slot < 5; ++slot) EXPECT_TRUE(Project->PolygonLayers[slot]->IsEnabled()) << slot;
             EXPECT_STREQ(Project->PolygonLayers[0]->GetName(), "All Polygons");
             EXPECT_STREQ(Project->PolygonLayers[4]->GetName(), "E");
             EXPECT_FALSE(Project->PolygonLayers[5]->IsEnabled());
             EXPECT_STREQ(Project->PolygonLayers[30]->GetName(), "Hidden Layer");
             EXPECT_TRUE(Project->PolygonLayers[30]->IsHidden());
             EXPECT_STREQ(Project->PolygonLayers[31]->GetName(), "Locked Layer");
             EXPECT_TRUE(Project->PolygonLayers[31]->Locked);
         }},
        {"no objects", "Kestrune Project File", "", true,
         [] {
             EXPECT_EQ(Project->SceneRadius, 1.0f);
             EXPECT_EQ(Project->GetCurrentObject(), nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Dialogs.Boxes.clear();
        Warnings.clear();
        const fs::path path = HandWritten("table.Kestrune", c.Header, c.Body);
        ASSERT_EQ(KSN_LoadProjectInPlace(path.c_str(), nullptr), c.Loads);
        if (!c.Loads) {
            ASSERT_EQ(Warnings.size(), 1u);
            EXPECT_NE(Warnings[0].find(Lang.GetText(1017)), std::string::npos);
            continue;
        }
        EXPECT_TRUE(Dialogs.Boxes.empty());
        EXPECT_TRUE(Warnings.empty());
        c.Check();
    }
}

TEST_F(ProjectFileFixture, TextureIndexBindsTheMapAtThatPosition)
{
    TKSN_Object* head = MakeQuadObject("Head");
    for (const char* name : {"A.png", "B.png", "C.png"}) Project->CreateMapSource()->SetName("%s", name);
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    Project->AssignMapToMaterialChannel(head->Mesh.get(), (*maps)[2], head->Mesh->Materials->GetItemAs(0), "Color");
    ASSERT_TRUE(Save("bound.Kestrune"));
    EXPECT_NE(ReadFile(PathOf("bound.Kestrune")).find("TextureIndex\t2"), std::string::npos);

    ASSERT_TRUE(KSN_LoadProjectInPlace(PathOf("bound.Kestrune").c_str(), nullptr));
    TKSN_Object* loaded = Project->GetCurrentObject();
    ASSERT_NE(loaded, nullptr);
    TQORMaterialChannel* color = loaded->Mesh->Materials->GetItemAs(0)->GetChannelFromName("Color");
    EXPECT_EQ(color->TextureIndex, -1);
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(color->GetMapID()));
    ASSERT_NE(binding, nullptr);
    ASSERT_NE(binding->GetMapSource(), nullptr);
    EXPECT_STREQ(binding->GetMapSource()->GetName(), "C.png");
}

TEST_F(ProjectFileFixture, AlphaWithoutMapLayerAsksOnceAndNoDropsTheAlpha)
{
    for (int i = 0; i < 2; ++i) {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        map->GetAlphaMask().SetDimensions(4, 4, 1);
        std::memset(map->GetAlphaMask().GetPixels(), 0x40, 16);
    }
    ASSERT_TRUE(Save("alpha.Kestrune"));
    Dialogs.Answers.push_back(TOSBoxAnswer::No);
    ASSERT_TRUE(KSN_LoadProjectInPlace(PathOf("alpha.Kestrune").c_str(), nullptr));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Text, Lang.GetText(1643));
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    ASSERT_EQ(maps->Count(), 2);
    for (TQORMaterialMapSource* map : *maps) EXPECT_FALSE(map->HasAlphaMask());
}

// ============================================================================
// Damage
// ============================================================================

TEST_F(ProjectFileFixture, DamagedFilesLeaveTheOpenProjectAlone)
{
    BuildRichProject();
    ASSERT_TRUE(Save("good.Kestrune"));
    const std::string good = ReadFile(PathOf("good.Kestrune"));

    const size_t base64 = good.find("\tSize\t");
    ASSERT_NE(base64, std::string::npos);
    const size_t base64Text = good.find('\n', base64) + 1;
    std::string badCharacter = good;
    badCharacter[base64Text + 3] = '*';
    struct Case {
        const char* Name;
        std::string Text;
    };
    const std::vector<Case> cases = {
        {"cut at 10 %", good.substr(0, good.size() / 10)},
        {"cut at 50 %", good.substr(0, good.size() / 2)},
        {"cut inside a Base64 block", good.substr(0, base64Text + 10)},
        {"cut before the last brace", good.substr(0, good.size() - 2)},
        {"bad Base64 character", badCharacter},
    };

    TKSN_Project* open = Project;
    App->viewportLayout = 3;
    App->baseOrientationMatrix[1] = 0.5f;
    App->viewports[2]->Lock();
    const uint32_t currentID = Project->GetCurrentObjectID();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Warnings.clear();
        WriteFile(PathOf("bad.Kestrune"), c.Text);
        EXPECT_FALSE(KSN_LoadProjectInPlace(PathOf("bad.Kestrune").c_str(), nullptr));
        ASSERT_EQ(Warnings.size(), 1u);
        const std::string& warning = Warnings.back();
        EXPECT_NE(warning.find("bad.Kestrune"), std::string::npos) << warning;
        EXPECT_NE(warning.find(", line "), std::string::npos) << warning;

        EXPECT_EQ(Project, open);
        EXPECT_EQ(Project->GetObjectCount(), 2);
        EXPECT_EQ(Project->GetCurrentObjectID(), currentID);
        EXPECT_EQ(Project->FileName, PathOf("good.Kestrune").string());
        EXPECT_EQ(App->viewportLayout, 3);
        EXPECT_EQ(App->baseOrientationMatrix[1], 0.5f);
        EXPECT_TRUE(App->viewports[2]->IsLocked());
    }
    // The good file still loads after all that.
    EXPECT_TRUE(KSN_LoadProjectInPlace(PathOf("good.Kestrune").c_str(), nullptr));
}

} // namespace
