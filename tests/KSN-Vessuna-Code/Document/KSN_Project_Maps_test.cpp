// The project's map saving and exporting through the scripted save dialog,
// single-layer export, and the repair of the current map layer and layer
// order. (The tests with meshes are in KSN_Project_MapTopology_test.cpp: the
// application header and the mesh header cannot meet in one source.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Project.h"
#include "KSN_Project_AppSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "KsnTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Answers the save dialog and the questions from a script, and records them.
struct TScriptedDialogs : TOSDialogProvider {
    std::vector<std::string> Boxes;
    std::deque<TOSBoxAnswer> Answers;   // empty: the box is closed
    std::vector<TOSFileDialogRequest> Requests;
    std::deque<std::string> Choices;    // empty: the dialog is cancelled
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text);
        if (Answers.empty()) return TOSBoxAnswer::Closed;
        TOSBoxAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) override
    {
        Requests.push_back(request);
        if (Choices.empty()) return false;
        chosen = Choices.front();
        Choices.pop_front();
        return true;
    }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

std::vector<std::string> PanelTexts;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ProjectMapsFixture : public ::testing::Test {
protected:
    fs::path Root, Out;
    TScriptedDialogs Dialogs;
    TTestMainFolder Main;
    int SavedTextureSize = 0;

    void SetUp() override
    {
        Main.Open("ksn_maps_");
        Root = Main.Root;
        Out = Root / "out";
        fs::create_directories(Out);
        OS.SetDialogProvider(&Dialogs);
        PanelTexts.clear();
        auto record = [](char* text) { PanelTexts.push_back(text); };
        OS.AssignOnWarningMessage(record);
        OS.AssignOnPrintMessage(record);
        OS.LastMessageText.clear();
        QOREvents_Clean();
        SavedTextureSize = QORDefaultTextureSize;
        QORDefaultTextureSize = 8;

        KSN_TestApp_Create();
        for (const char* type : {"PNG", "BMP", "JPG"}) {
            auto* copy = static_cast<char*>(QORalloc(std::strlen(type) + 1));
            std::strcpy(copy, type);
            App->exportImageTypes->Add(copy);
        }
        CurrentIndexForMultiFileDialog = -1;
        Project = new TKSN_Project();
        Dialogs.Boxes.clear();
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        KSN_TestApp_Delete();
        QORDefaultTextureSize = SavedTextureSize;
        CurrentIndexForMultiFileDialog = -1;
        QOREvents_Clean();
        OS.SetDialogProvider(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        Main.Close();
    }

    TQORMaterialMapSource* MakeMap(const char* name)
    {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        map->SetName("%s", name);
        return map;
    }

    std::string OutPath(const char* name) const { return (Out / name).generic_string(); }

    // Files of the output folder other than the ones named.
    std::vector<std::string> Leftovers(const std::vector<std::string>& expected) const
    {
        std::vector<std::string> extra;
        for (const auto& entry : fs::directory_iterator(Out)) {
            const std::string name = entry.path().filename().string();
            bool known = false;
            for (const std::string& e : expected) known = known || e == name;
            if (!known) extra.push_back(name);
        }
        return extra;
    }
};

TEST_F(ProjectMapsFixture, NewMapIsAWhiteSquareInTheMapsTree)
{
    TQORMaterialMapSource* map = Project->CreateMapSource();
    EXPECT_STREQ(map->GetName(), "New Map.PNG");
    EXPECT_EQ(map->GetWidth(), 8);
    EXPECT_EQ(map->GetHeight(), 8);
    EXPECT_EQ(map->GetPixels()[0], 255);
    EXPECT_EQ(map->GetLayerTopGroupID(), Project->MapLayers->GetID());
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    ASSERT_EQ(maps->Count(), 1);
    EXPECT_EQ((*maps)[0], map);
}

TEST_F(ProjectMapsFixture, PromptedSaveSuggestsTheMapNameAndRenamesTheMapAfterTheFile)
{
    TQORMaterialMapSource* map = MakeMap("Skin.jpg");
    Dialogs.Choices.push_back(OutPath("b.png"));
    EXPECT_TRUE(Project->SaveMapToFileWithPrompt(map, false));
    ASSERT_EQ(Dialogs.Requests.size(), 1u);
    EXPECT_EQ(Dialogs.Requests[0].DefaultName, "Skin.jpg");
    EXPECT_EQ(Dialogs.Requests[0].Folder, std::string(App->exportPath));
    EXPECT_EQ(Dialogs.Requests[0].Wildcard.rfind("PNG Files|", 0), 0u) << "the prompted save keeps the list order";
    EXPECT_TRUE(Dialogs.Boxes.empty()) << "a known extension is not asked about";
    EXPECT_STREQ(map->GetName(), "b.png");
    EXPECT_STREQ(map->GetMapFileName(), OutPath("b.png").c_str());
    EXPECT_TRUE(fs::file_size(Out / "b.png") > 0);
    EXPECT_TRUE(Leftovers({"b.png"}).empty());

    TQORImageMap back;
    ASSERT_TRUE(back.ImportFile(OutPath("b.png").c_str()));
    EXPECT_EQ(back.GetWidth(), 8);
    EXPECT_EQ(back.GetPixels()[0], 255);

    // Cancelled: nothing changes.
    EXPECT_FALSE(Project->SaveMapToFileWithPrompt(map, false));
    EXPECT_STREQ(map->GetName(), "b.png");
}

TEST_F(ProjectMapsFixture, ExportListsTheMapsOwnTypeFirst)
{
    TQORMaterialMapSource* map = MakeMap("Skin.jpg");
    Dialogs.Choices.push_back(OutPath("Skin.jpg"));
    Project->ExportMap(map);
    ASSERT_EQ(Dialogs.Requests.size(), 1u);
    EXPECT_EQ(Dialogs.Requests[0].DefaultName, "Skin.jpg");
    EXPECT_EQ(Dialogs.Requests[0].Wildcard.rfind("JPG Files|*.JPG|", 0), 0u) << Dialogs.Requests[0].Wildcard;
    EXPECT_EQ(CurrentIndexForMultiFileDialog, 2);
    EXPECT_TRUE(fs::exists(Out / "Skin.jpg"));
    EXPECT_STREQ(map->GetMapFileName(), OutPath("Skin.jpg").c_str());
    EXPECT_STREQ(map->GetName(), "Skin.jpg");
    EXPECT_STREQ(map->GetFileFormat(), "JPG");

    // A name of no export type: the first type is suggested.
    TQORMaterialMapSource* odd = MakeMap("Odd.xyz");
    Project->ExportMap(odd);
    ASSERT_EQ(Dialogs.Requests.size(), 2u);
    EXPECT_EQ(Dialogs.Requests[1].DefaultName, "Odd.xyz.PNG");
    EXPECT_EQ(CurrentIndexForMultiFileDialog, -1);
}

TEST_F(ProjectMapsFixture, PathWithoutKnownExtensionGetsTheFirstTypeAndTheOverwriteQuestion)
{
    TQORMaterialMapSource* map = MakeMap("Skin.jpg");
    std::ofstream(Out / "plain.PNG") << "old";
    const std::string question =
        "The file " + OutPath("plain.PNG") + " exists.\n\nDo you want to overwrite it?";

    Dialogs.Choices.push_back(OutPath("plain"));
    Dialogs.Answers.push_back(TOSBoxAnswer::No);
    EXPECT_FALSE(Project->SaveMapToFileWithPrompt(map, false));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0], question);
    EXPECT_EQ(ReadFile(Out / "plain.PNG"), "old");
    EXPECT_STREQ(map->GetName(), "Skin.jpg");

    Dialogs.Choices.push_back(OutPath("plain"));
    Dialogs.Answers.push_back(TOSBoxAnswer::Yes);
    EXPECT_TRUE(Project->SaveMapToFileWithPrompt(map, true));
    EXPECT_NE(ReadFile(Out / "plain.PNG"), "old");
    EXPECT_STREQ(map->GetName(), "plain.PNG");
    EXPECT_TRUE(Leftovers({"plain.PNG"}).empty());

    // An unknown extension is replaced, not appended to; no file, no question.
    Dialogs.Boxes.clear();
    Dialogs.Choices.push_back(OutPath("fresh.xyz"));
    EXPECT_TRUE(Project->SaveMapToFileWithPrompt(map, false));
    EXPECT_TRUE(Dialogs.Boxes.empty());
    EXPECT_TRUE(fs::exists(Out / "fresh.PNG"));
}

TEST_F(ProjectMapsFixture, FailedSaveKeepsTheOldFileTheNameAndTheFileName)
{
    std::ofstream(Out / "old.png") << "keep";
    // A map without pixels cannot be written.
    auto* empty = new TQORMaterialMapSource();
    Project->Maps->AddItem(empty);
    empty->SetName("Empty.png");
    empty->SetMapFileName("/maps/Empty.png");
    EXPECT_FALSE(Project->SaveMap(empty, OutPath("old.png").c_str(), true));
    EXPECT_EQ(ReadFile(Out / "old.png"), "keep");
    EXPECT_TRUE(Leftovers({"old.png"}).empty());

    Dialogs.Choices.push_back(OutPath("old.png"));
    EXPECT_FALSE(Project->SaveMapToFileWithPrompt(empty, true));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0], "Error saving the file...\n\n" + OutPath("old.png"));
    EXPECT_EQ(ReadFile(Out / "old.png"), "keep");
    EXPECT_STREQ(empty->GetName(), "Empty.png");
    EXPECT_STREQ(empty->GetMapFileName(), "/maps/Empty.png");

    // Into a folder that does not exist.
    TQORMaterialMapSource* map = MakeMap("Skin.png");
    Dialogs.Choices.push_back(OutPath("missing/x.png"));
    Project->ExportMap(map);
    ASSERT_FALSE(PanelTexts.empty());
    EXPECT_EQ(PanelTexts.back(), "Cannot create the file " + OutPath("missing/x.png"));
    EXPECT_STREQ(map->GetName(), "Skin.png");
}

TEST_F(ProjectMapsFixture, LayerExportWritesOnlyTheCurrentLayersData)
{
    // No map layers at all.
    TQORMaterialMapSource* map = MakeMap("Skin.png");
    Dialogs.Choices.push_back(OutPath("layer.png"));
    Project->ExportMapCurrentLayer(map);
    ASSERT_FALSE(PanelTexts.empty());
    EXPECT_EQ(PanelTexts.back(), "There is no data in the current layer for this map.");
    EXPECT_FALSE(fs::exists(Out / "layer.png"));

    // The first layer takes the map's pixels over; a map made afterwards has no data for it.
    TKSN_LayerDefinition* layer = Project->MapLayers->CreateNewLayer();
    ASSERT_NE(layer, nullptr);
    TQORMaterialMapSource* later = MakeMap("Later.png");
    PanelTexts.clear();
    Dialogs.Choices.push_back(OutPath("later.png"));
    Project->ExportMapCurrentLayer(later);
    ASSERT_EQ(PanelTexts.size(), 1u);
    EXPECT_EQ(PanelTexts[0], "There is no data in the current layer for this map.");

    PanelTexts.clear();
    Dialogs.Choices.push_back(OutPath("layer.png"));
    Project->ExportMapCurrentLayer(map);
    EXPECT_TRUE(PanelTexts.empty());
    EXPECT_TRUE(fs::exists(Out / "layer.png"));
    EXPECT_EQ(Project->MapLayers->GetCurrentLayerID(), layer->GetID());
    EXPECT_STREQ(map->GetName(), "Skin.png") << "a layer export keeps the map's name";
}

TEST_F(ProjectMapsFixture, DeletedCurrentLayerIsReplacedByTheFirstAndLayersAreRenumbered)
{
    std::vector<TKSN_LayerDefinition*> layers;
    for (int i = 0; i < 4; ++i) layers.push_back(Project->MapLayers->CreateNewLayer());
    Project->MapLayers->SetCurrentLayer(layers[1]);
    // As the layer window deletes a layer: out of the list, then gone.
    TKSN_ThingyList kept(1);
    for (TKSN_Thingy* item : *Project->MapLayers->items)
        if (item != layers[1]) kept.Add(item);
    Project->MapLayers->items->Clear();
    for (TKSN_Thingy* item : kept) Project->MapLayers->items->Add(item);
    delete layers[1];
    for (TKSN_LayerDefinition* layer : {layers[0], layers[2], layers[3]}) layer->SetDisplayIndex(7);

    Project->OnMapLayerChanged();
    EXPECT_EQ(Project->MapLayers->GetCurrentLayerID(), layers[0]->GetID());
    EXPECT_EQ(layers[0]->GetDisplayIndex(), 0);
    EXPECT_EQ(layers[2]->GetDisplayIndex(), 1);
    EXPECT_EQ(layers[3]->GetDisplayIndex(), 2);

    // A current layer that still exists stays current.
    Project->MapLayers->SetCurrentLayer(layers[3]);
    Project->OnMapLayerChanged();
    EXPECT_EQ(Project->MapLayers->GetCurrentLayerID(), layers[3]->GetID());
}

} // namespace
