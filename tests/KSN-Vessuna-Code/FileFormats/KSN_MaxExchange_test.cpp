// The 3DS Max exchange. The plug-in is played by the tests in a private
// temporary folder: they write its script, OBJ paths, material files and
// flags, and take the program's changes from another thread.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "KSN_InterchangeTestSupport.h"
#include "KSN_MaxExchange.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace {

using namespace ksn_interchange_test;

// The project of these tests: its object import makes a one-quad object
// with the material "Skin" for every OBJ file that exists, and records the
// paths it was given.
class TExchangeProject : public TKSN_Project {
public:
    std::vector<std::string> Imported;
    bool ImportObject(const char* path) override
    {
        Imported.push_back(path);
        if (!fs::exists(path)) return false;
        TKSN_Object* object = MakeGridObject(this, "Imported", 1, 1);
        SetCurrentObject(object);
        return true;
    }
};

class MaxExchangeTest : public ProjectFileFixture {
protected:
    fs::path Temp;
    std::string SavedTmp;
    bool HadTmp = false;
    std::string Prefix;
    TKSN_Tool* MoveView = nullptr;

    void SetUp() override
    {
        ProjectFileFixture::SetUp();
        delete Project;
        Project = new TExchangeProject;
        // The new project's default brush shape queued an interface refresh.
        QOREvents_Clean();
        Log.clear();
        std::string pattern = (Root / "tmpXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Temp = pattern;
        const char* old = std::getenv("TMPDIR");
        HadTmp = old != nullptr;
        SavedTmp = old ? old : "";
        ::setenv("TMPDIR", Temp.c_str(), 1);
        Prefix = KSN_InterApp_TransportPrefix();
        ASSERT_EQ(Prefix, Temp.string() + "/KSN-Transport\\");
        MoveView = MakeTool<TKSN_Tool>("Move View", App->navigationTools);
    }
    void TearDown() override
    {
        if (HadTmp)
            ::setenv("TMPDIR", SavedTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        ProjectFileFixture::TearDown();
    }

    TExchangeProject& P() { return *static_cast<TExchangeProject*>(Project); }
    std::string T(const char* name) const { return Prefix + name; }
    void WriteT(const char* name, const std::string& text) const { WriteFile(T(name), text); }

    // An OBJ file (its content is the test import's business) with its material file.
    std::string SendObjectFile(const std::string& path, const std::string& materials)
    {
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, "v 0 0 0\n");
        WriteFile(path + ".materials", materials);
        return path;
    }
    static std::string Record(const char* name, const char* map, double strength, double r, double g, double b)
    {
        return QORFormat("%s\n%s\n%.8f\n%.8f\n%.8f\n%.8f\n", name, map, strength, r, g, b);
    }
    static std::string DefaultRecords()
    {
        std::string text;
        for (const char* channel : {"Ambient", "Specular", "Bump", "Displacement", "Transparency"})
            text += Record(channel, "", 1, 1, 1, 1);
        return text;
    }
    std::vector<TKSN_Object*> Objects()
    {
        std::vector<TKSN_Object*> list;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
        for (TKSN_Object* object : *objects) list.push_back(object);
        return list;
    }
    int CountNamed(const char* name)
    {
        int n = 0;
        for (TKSN_Object* object : Objects()) n += std::string(object->GetName()) == name;
        return n;
    }
};

// ============================================================================
// Receive
// ============================================================================

TEST_F(MaxExchangeTest, ScriptOfOnlyTheVersionFinishesWithTheViewTool)
{
    WriteT("Max2KSN.script", "4.2.8.0\n");
    App->baseOrientationMatrix[5] = 3.0f;
    Project->FlipNormalsOnImport = true;
    EXPECT_TRUE(KSN_InterApp_CommandCB(0));
    EXPECT_TRUE(fs::exists(T("KSN-Transport-Finished.flag")));
    EXPECT_EQ(App->currentTool, MoveView);
    EXPECT_TRUE(P().Imported.empty());
    const float expected[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(App->baseOrientationMatrix[i], expected[i]) << i;
    EXPECT_GE(IndexOf("push 285"), 0);
    EXPECT_GT(IndexOf("push 432"), IndexOf("push 285"));
    EXPECT_TRUE(Project->FlipNormalsOnImport) << "the import options come back";
    EXPECT_TRUE(Warnings.empty());
}

TEST_F(MaxExchangeTest, SentObjectAppearsAfterAPollAndAPump)
{
    const std::string obj = SendObjectFile((Temp / "Head.obj").string(),
                                           "material\nSkin\n" + Record("Color", "C:\\maps\\skin.png", 0.75, 0.5, 0.25, 1) +
                                               DefaultRecords());
    WriteT("Max2KSN.script", "4.2.8.0\nHead\n" + obj + "\n");
    WriteT("Max2KSN.sending", "");
    EXPECT_TRUE(KSN_InterApp_CommandCB(3));
    EXPECT_FALSE(fs::exists(T("Max2KSN.sending"))) << "the flag is taken";
    EXPECT_TRUE(Contains(Prints, "Receiving data from host"));
    EXPECT_EQ(CountNamed("Head"), 0) << "the receive waits for the pump";

    KestruneEvents_ProcessEvents();
    ASSERT_EQ(CountNamed("Head"), 1);
    TKSN_Object* head = Project->GetCurrentObject();
    ASSERT_NE(head, nullptr);
    EXPECT_STREQ(head->GetName(), "Head");
    TQORMaterialChannel* color = head->Mesh->Materials->GetItemAs(0)->GetChannelFromName("Color");
    EXPECT_STREQ(color->GetMapFileName(), "skin.png");
    EXPECT_FLOAT_EQ(color->Strength, 0.75f);
    EXPECT_FLOAT_EQ(color->Color[0], 0.5f);
    EXPECT_FLOAT_EQ(color->Color[1], 0.25f);
    EXPECT_FLOAT_EQ(color->Color[2], 1.0f);
    EXPECT_TRUE(Contains(Prints, "Received Object From Host"));
    EXPECT_TRUE(fs::exists(T("KSN-Transport-Finished.flag")));
}

TEST_F(MaxExchangeTest, ExistingNameAnsweredNoIsSkipped)
{
    TKSN_Object* old = MakeGridObject(Project, "Head", 1, 1);
    const std::string head = SendObjectFile((Temp / "Head.obj").string(), "");
    const std::string tail = SendObjectFile((Temp / "Tail.obj").string(), "");
    WriteT("Max2KSN.script", "4.2.8.0\nHEAD\n" + head + "\nTail\n" + tail + "\n");
    Dialogs.Answers = {TOSBoxAnswer::No};
    EXPECT_TRUE(KSN_InterApp_CommandCB(0));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Text, "The object 'HEAD' already exists. Would you like to replace it?");
    EXPECT_EQ(P().Imported, (std::vector<std::string>{tail}));
    EXPECT_EQ(CountNamed("Head"), 1);
    EXPECT_EQ(Objects().front(), old);
    EXPECT_EQ(CountNamed("Tail"), 1);
}

TEST_F(MaxExchangeTest, ReplaceDeletesOnlyTheMatchedObject)
{
    MakeGridObject(Project, "Head", 1, 1);
    auto* camera = new TKSN_Camera;
    camera->SetName("%s", "Camera");
    Project->Objects->AddItem(camera);
    camera->multiSelected = true;
    TKSN_Object* highlighted = MakeGridObject(Project, "Hat", 1, 1);
    highlighted->multiSelected = true;
    const std::string head = SendObjectFile((Temp / "Head.obj").string(), "");
    WriteT("Max2KSN.script", "4.2.8.0\nHead\n" + head + "\n");
    Dialogs.Answers = {TOSBoxAnswer::Yes};
    EXPECT_TRUE(KSN_InterApp_CommandCB(0));
    EXPECT_EQ(CountNamed("Head"), 1);
    EXPECT_EQ(CountNamed("Camera"), 1) << "a highlighted camera survives";
    EXPECT_EQ(CountNamed("Hat"), 1);
    EXPECT_EQ(Project->GetCurrentObject()->GetName(), std::string("Head"));
}

TEST_F(MaxExchangeTest, LongObjPathIsReadWhole)
{
    fs::path folder = Temp;
    while (folder.string().size() < 380) folder /= std::string(60, 'd');
    const std::string obj = (folder / "Body.obj").string();
    ASSERT_GE(obj.size(), 400u - 20u);
    const std::string padded = obj.size() >= 400 ? obj : (folder / (std::string(400 - obj.size(), 'b') + "Body.obj")).string();
    ASSERT_GE(padded.size(), 400u);
    SendObjectFile(padded, "material\nSkin\n" + Record("Color", "", 0.5, 0, 0, 0) + DefaultRecords());
    WriteT("Max2KSN.script", "4.2.8.0\nBody\n" + padded + "\nLegs\n" + padded + "\n");
    Dialogs.Answers = {TOSBoxAnswer::No};   // not asked: the names differ
    EXPECT_TRUE(KSN_InterApp_CommandCB(0));
    EXPECT_EQ(P().Imported, (std::vector<std::string>{padded, padded}));
    EXPECT_EQ(CountNamed("Body"), 1);
    EXPECT_EQ(CountNamed("Legs"), 1);
    EXPECT_TRUE(Dialogs.Boxes.empty());
}

TEST_F(MaxExchangeTest, MaterialFileQuirks)
{
    // An unknown material's record lines each draw a warning until the next
    // "material"; a record cut short reads its missing values as 0.
    const std::string obj = SendObjectFile((Temp / "Head.obj").string(),
                                           "material\nNoSuch\nColor\n\nmaterial\nSkin\nColor\nmap.png\n0.5\n");
    WriteT("Max2KSN.script", "4.2.8.0\nHead\n" + obj + "\n");
    EXPECT_TRUE(KSN_InterApp_CommandCB(0));
    EXPECT_TRUE(Contains(Warnings, "Unknown command in material file (Color)"));
    EXPECT_TRUE(Contains(Warnings, "Unknown command in material file ()"));
    TQORMaterialChannel* color = Project->GetCurrentObject()->Mesh->Materials->GetItemAs(0)->GetChannelFromName("Color");
    EXPECT_STREQ(color->GetMapFileName(), "map.png");
    EXPECT_FLOAT_EQ(color->Strength, 0.5f);
    EXPECT_FLOAT_EQ(color->Color[0], 0.0f);
}

TEST_F(MaxExchangeTest, ReceiveFailuresWarnAndGiveTheToolBack)
{
    App->currentTool = MakeTool<TKSN_Tool>("Sculpt", App->sculptTools);
    EXPECT_FALSE(KSN_InterApp_CommandCB(0));
    EXPECT_TRUE(Contains(Warnings, "Error receiving data from host (a)"));
    EXPECT_STREQ(App->currentTool->GetName(), "Sculpt");

    const std::string obj = (Temp / "Head.obj").string();
    WriteFile(obj, "v 0 0 0\n");   // no material file
    WriteT("Max2KSN.script", "4.2.0.0\nHead\n" + obj + "\n");
    EXPECT_FALSE(KSN_InterApp_CommandCB(0));
    EXPECT_TRUE(Contains(Warnings, "Versions are out of sync between the application and the plug-in"));
    EXPECT_TRUE(Contains(Warnings, "Error receiving material information (a)"));
    EXPECT_STREQ(App->currentTool->GetName(), "Sculpt");
    EXPECT_FALSE(fs::exists(T("KSN-Transport-Finished.flag")));
}

TEST_F(MaxExchangeTest, IdleWorkPollsOnceRegistered)
{
    WriteT("Max2KSN.please.sync", "");
    TKSN_Project::InterApplicationPollHook = nullptr;
    Project->OnIdleOrPassive();
    EXPECT_TRUE(fs::exists(T("Max2KSN.please.sync"))) << "nothing polls before registration";

    KSN_RegisterInterAppExchange();
    Project->OnIdleOrPassive();
    TKSN_Project::InterApplicationPollHook = nullptr;
    EXPECT_FALSE(fs::exists(T("Max2KSN.please.sync")));
    bool queued = false;
    for (int i = 0; TQOREvent* event = QOREvents_PeekEvent(i); ++i)
        queued = queued || (event->GetCommand() == 2 && event->callback != nullptr);
    EXPECT_TRUE(queued) << "the map save waits for the pump";
}

// ============================================================================
// Send
// ============================================================================

// Plays the plug-in's reading: deletes "KSN2Max.sending" once it appears.
class TPluginReader {
public:
    explicit TPluginReader(std::string flag)
        : Thread([this, flag] {
              const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
              while (!Stop && std::chrono::steady_clock::now() < end) {
                  std::error_code ignored;
                  if (fs::remove(flag, ignored)) {
                      Took = true;
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          })
    {
    }
    ~TPluginReader()
    {
        Stop = true;
        Thread.join();
    }
    std::atomic<bool> Stop{false};
    std::atomic<bool> Took{false};

private:
    std::thread Thread;
};

TEST_F(MaxExchangeTest, SendWithoutMarkersWritesNamesOnly)
{
    MakeGridObject(Project, "Head", 1, 1);
    TKSN_Object* picture = MakeGridObject(Project, "Photo", 1, 1);
    picture->Mesh->ForceColorTextureDisplay = true;
    WriteT("Max2KSN.script", "4.2.8.0\nHead\n/x/Head.obj\n");
    {
        TPluginReader plugin(T("KSN2Max.sending"));
        EXPECT_TRUE(KSN_InterApp_CommandCB(1));
    }
    EXPECT_EQ(ReadText(T("KSN2MAX.script")), "4.2.8.0\n1\nHead\n0\n0\nEND_OBJECT_DEFINITION\n");
    EXPECT_TRUE(fs::exists(T("KSN-Transport-Finished.flag")));
    EXPECT_FALSE(fs::exists(T("KSN2Max.sending")));
}

TEST_F(MaxExchangeTest, SendWithMaterialsAndUVsWritesTheRecords)
{
    TKSN_Object* head = MakeGridObject(Project, "Head", 1, 1);
    TQORMaterialChannel* color = head->Mesh->Materials->GetItemAs(0)->GetChannelFromName("Color");
    color->Strength = 0.5f;
    color->Color[1] = 0.25f;
    WriteT("Max2KSN.script", "4.2.8.0\nuv_mapping\nHead\n/x/Head.obj\n MAP_ASSIGNMENTS \n");
    {
        TPluginReader plugin(T("KSN2Max.sending"));
        EXPECT_TRUE(KSN_InterApp_CommandCB(1));
    }
    std::string expected = "4.2.8.0\n1\nHead\n1\n1\n******** Materials ***************\n1\nSkin\n" +
                           Record("Color", "", 0.5, 1, 0.25, 1);
    for (const char* channel : {"Ambient", "Specular", "Bump", "Displacement", "Transparency"}) {
        TQORMaterialChannel* c = head->Mesh->Materials->GetItemAs(0)->GetChannelFromName(channel);
        expected += Record(channel, "", c->Strength, c->Color[0], c->Color[1], c->Color[2]);
    }
    expected += "******** UV array ***************\n4\n"
                "0.00000000\n0.00000000\n1.00000000\n0.00000000\n0.00000000\n1.00000000\n1.00000000\n1.00000000\n"
                "******** UV polygons ***************\n1\n4\n0\n1\n3\n2\n"
                "END_OBJECT_DEFINITION\n";
    EXPECT_EQ(ReadText(T("KSN2MAX.script")), expected);
}

TEST_F(MaxExchangeTest, PluginThatNeverReadsIsAskedAboutAndCancelled)
{
    MakeGridObject(Project, "Head", 1, 1);
    WriteT("Max2KSN.script", "4.2.8.0\n");
    Dialogs.Answers = {TOSBoxAnswer::Cancel};
    EXPECT_TRUE(KSN_InterApp_CommandCB(1));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Kind, TOSBoxKind::OkCancel);
    EXPECT_EQ(Dialogs.Boxes[0].Text, "3DS Max has not started receiving the data. Please open the Kestrune panel in "
                                     "3DS Max.\n\nPress cancel to stop sending the changes");
    EXPECT_FALSE(fs::exists(T("KSN2Max.sending")));
}

TEST_F(MaxExchangeTest, SendWithoutScriptWarns)
{
    EXPECT_FALSE(KSN_InterApp_CommandCB(1));
    EXPECT_TRUE(Contains(Warnings, "Cannot read the script file Max2KSN.script"));
    EXPECT_TRUE(KSN_InterApp_CommandCB(7)) << "an unknown command does nothing";
}

// ============================================================================
// Save maps and channel records
// ============================================================================

TEST_F(MaxExchangeTest, SaveMapsCountsAMapSavedThroughTheDialog)
{
    TKSN_Object* head = MakeGridObject(Project, "Head", 1, 1);
    TQORMaterial* skin = head->Mesh->Materials->GetItemAs(0);
    std::vector<std::string> files;
    int n = 0;
    for (const char* channel : {"Color", "Bump", "Transparency"}) {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        map->SetName("Map%d.png", n);
        if (n < 2) {
            files.push_back((Root / QORFormat("Map%d.png", n)).string());
            WriteFile(files.back(), "old");
            map->SetMapFileName(files.back().c_str());
        }
        Project->AssignMapToMaterialChannel(head->Mesh.get(), map, skin, channel);
        ++n;
    }
    const std::string chosen = (Root / "Fresh.PNG").string();
    Dialogs.Choices = {chosen};
    EXPECT_TRUE(KSN_InterApp_CommandCB(2));
    EXPECT_TRUE(Contains(Prints, "Saved 3 of 3 maps."));
    for (const std::string& file : files) EXPECT_NE(ReadText(file), "old");
    EXPECT_TRUE(fs::exists(chosen));
    EXPECT_TRUE(Contains(Warnings, "The old map files have been overwritten"));
    EXPECT_FALSE(Contains(Warnings, "recycle bin"));
    EXPECT_TRUE(fs::exists(T("KSN-Transport-Finished.flag")));
}

TEST_F(MaxExchangeTest, SaveMapsWithoutObjectsAndWithReferenceImages)
{
    EXPECT_TRUE(KSN_InterApp_CommandCB(2));
    EXPECT_TRUE(Contains(Prints, "There are no maps to save."));
    MakeGridObject(Project, "Photo", 1, 1)->Mesh->ForceColorTextureDisplay = true;
    MakeGridObject(Project, "Head", 1, 1);
    EXPECT_TRUE(KSN_InterApp_CommandCB(2));
    EXPECT_TRUE(Contains(Prints, "Saved 0 of 0 maps (skipped 1 reference images)."));
}

TEST_F(MaxExchangeTest, ChannelRecordOfAMissingChannel)
{
    TTempFile file;
    TQORMaterial* material = KSN_NewMaterial("Bare");
    WriteChannelToFile(file.f, "Glow", "Glow", material);
    EXPECT_EQ(file.All(), "Error\n\n1.00000000\n1.00000000\n1.00000000\n1.00000000\n");
    EXPECT_TRUE(Contains(Warnings, "Error getting the channel Glow"));
    KSN_DeleteMaterial(material);
}

} // namespace
