// Model, set and library commands with real files in a temp folder, the
// import and export windows answered by the scripted provider, and an
// exported OBJ read back by a second reader.
#include "KSN_FileMapsTestSupport.h"

#include "KSN_Morph.h"
#include "KSN_SculptedPrim.h"
#include "KSN_Undo.h"

#if KSN_HAVE_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif

namespace fs = std::filesystem;

namespace {

class ModelCommands : public FileMapsFixture {
protected:
    TKSN_ImportWindow& Import() { return *KSN_GetImportWindow(); }
    TKSN_ExportWindow& Export() { return *KSN_GetExportWindow(); }
    bool ClickImportOk()
    {
        TQOREvent e(TKSN_ImportWindow::OkClickedCB, 0, -1);
        e.SetOwner(&Import());
        return TKSN_ImportWindow::OkClickedCB(&e);
    }
    bool ClickExportOk()
    {
        TQOREvent e(TKSN_ExportWindow::OkClickedCB, 0, -1);
        e.SetOwner(&Export());
        return TKSN_ExportWindow::OkClickedCB(&e);
    }
    TKSN_Morph* AddMorph(TKSN_Object* object, const char* name)
    {
        TKSN_Mesh* mesh = object->Mesh.get();
        TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
        morph->SetName("%s", name);
        mesh->SetCurrentMorph(morph);
        return morph;
    }
};

// [SECTION] Import window and model import

TEST_F(ModelCommands, ImportChoosesAnObjThroughTheWindowAndAddsTheObject)
{
    const std::string path = WriteFile("model.obj", kCubeObj);
    Provider.Choices = {path};
    EXPECT_TRUE(Dispatch(404));
    ASSERT_TRUE(Import().Shown);
    EXPECT_EQ(Import().FileName, path);
    EXPECT_EQ(Import().GetFileType(), "OBJ");
    EXPECT_STREQ(Import().GetName(), Lang.GetText(203));

    Import().ScaleField->EditField->SetFloatValue(250.0f, "250", false);
    ASSERT_TRUE(ClickImportOk());
    EXPECT_FALSE(Import().Shown);
    EXPECT_FLOAT_EQ(Project->ScaleFactor, 2.5f);
    EXPECT_EQ(CountQueued(371), 1);

    g_RanCommands.clear();
    const int before = Project->GetObjectCount();
    Pump();
    EXPECT_EQ(Project->GetObjectCount(), before + 1);
    ASSERT_NE(Project->GetCurrentObject(), nullptr);
    EXPECT_EQ(Project->GetCurrentObject()->Mesh->vertexCount, 8);
    EXPECT_EQ(Count(285), 1);
    EXPECT_EQ(Count(432), 1);
}

TEST_F(ModelCommands, TheFileTypeDecidesTheWindowAndUnknownTypesAreRefused)
{
    // Both letter cases name the OBJ type.
    for (const char* name : {"model.obj", "MODEL.OBJ"}) {
        Import().Execute(WriteFile(name, kCubeObj).c_str());
        EXPECT_EQ(Import().GetFileType(), "OBJ") << name;
        EXPECT_TRUE(Import().Shown) << name;
        EXPECT_TRUE(Import().AsMorphTargetBox->Shown) << name;
        Import().Hide();
    }

    // A layer set is imported at once; the window never shows.
    QOREvents_Clean();
    Import().Execute(WriteFile("x.LaySet", "").c_str());
    EXPECT_FALSE(Import().Shown);
    EXPECT_EQ(CountQueued(395), 1);

    g_Printed.clear();
    Import().Execute(WriteFile("x.xyz", "").c_str());
    EXPECT_FALSE(Import().Shown);
    ASSERT_FALSE(g_Printed.empty());
    EXPECT_EQ(g_Printed.back(), "The extension \"xyz\" is not a supported file format.");

    // A cancelled file dialog leaves the window closed and the name empty.
    Provider.Choices = {""};
    Import().Execute("");
    EXPECT_FALSE(Import().Shown);
    EXPECT_TRUE(Import().FileName.empty());
}

TEST_F(ModelCommands, TheScaleFieldShowsPercentAndThePrecisionItsTwoDecimals)
{
    Project->ScaleFactor = 1.0f;
    Import().Execute(WriteFile("a.obj", kCubeObj).c_str());
    EXPECT_STREQ(Import().ScaleField->EditField->GetText(), "100");
    Layout();
    EXPECT_STREQ(Import().PrecisionGauge->Gauge->GetName(), "8.00");
}

TEST_F(ModelCommands, AsMorphTargetImportsAMorphAndNoObject)
{
    TKSN_Object* cube = ImportCube("base.obj");
    const std::string target = WriteFile("smile.obj", "v 0 0 0.5\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\n"
                                                       "v 1 1 1\nv 0 1 1\nf 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\n"
                                                       "f 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n");
    Import().Execute(target.c_str());
    Import().AsMorphTargetBox->Pressed = true;
    EXPECT_TRUE(Dispatch(438));
    EXPECT_FALSE(Import().ScaleObjectBox->IsEnabled());
    EXPECT_TRUE(Import().InternalNamesBox->IsEnabled());

    const int objects = Project->GetObjectCount();
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> before(cube->Mesh->GetMorphList());
    QOREvents_Clean();
    ASSERT_TRUE(ClickImportOk());
    EXPECT_EQ(CountQueued(371), 0);
    EXPECT_EQ(CountQueued(439), 1);
    EXPECT_EQ(Project->GetObjectCount(), objects);
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> after(cube->Mesh->GetMorphList());
    EXPECT_EQ(after->Count(), before->Count() + 1);

    // Clicked again, the OBJ options come back.
    Import().AsMorphTargetBox->Pressed = false;
    EXPECT_TRUE(Dispatch(438));
    EXPECT_TRUE(Import().ScaleObjectBox->IsEnabled());
}

TEST_F(ModelCommands, ReplacingASelectionSetAsksFirstAndNoImportsNothing)
{
    ImportCube("c.obj");
    const std::string set = WriteFile("sel.SelSet", "");
    Import().Execute(set.c_str());
    ASSERT_TRUE(Import().MergeSetBox->Shown);
    Import().MergeSetBox->Pressed = false;
    QOREvents_Clean();
    Provider.Answers = {TOSBoxAnswer::No};
    Provider.Boxes.clear();
    EXPECT_FALSE(ClickImportOk());
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_NE(Provider.Boxes[0].Text.find("replace your existing selection set"), std::string::npos);
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    EXPECT_TRUE(Project->MergeSelectionSets);

    // With "Merge Set" on nothing is asked.
    Provider.Boxes.clear();
    Import().Execute(set.c_str());
    Import().MergeSetBox->Pressed = true;
    EXPECT_TRUE(ClickImportOk());
    EXPECT_TRUE(Provider.Boxes.empty());
    EXPECT_EQ(CountQueued(391), 1);
}

// An unreadable file chosen for import adds nothing and leaves the current
// object and the undo list as they were.
TEST_F(ModelCommands, AnUnreadableObjAddsNoObject)
{
    TKSN_Object* current = ImportCube("keep.obj");
    const int objects = Project->GetObjectCount();
    TKSN_Undo_Node* undo = Project->UndoList;
    struct TCase {
        const char* name;
        std::string text;   // empty name: the file is not written
        bool write;
    };
    for (const TCase& c : {TCase{"missing.obj", "", false}, TCase{"empty.obj", "", true},
                           TCase{"photo.obj", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), true}}) {
        SCOPED_TRACE(c.name);
        const std::string path = c.write ? WriteFile(c.name, c.text) : (Store.Folder / c.name).string();
        Import().FileName = path;
        g_Printed.clear();
        EXPECT_TRUE(Dispatch(371));
        EXPECT_EQ(Project->GetObjectCount(), objects);
        EXPECT_EQ(Project->GetCurrentObject(), current);
        EXPECT_EQ(Project->UndoList, undo);
        EXPECT_GE(g_Printed.size(), 2u) << "the import names the file and reports the failure";
    }
}

// [SECTION] Export

TEST_F(ModelCommands, ExportedObjReadsBackWithTheSameCounts)
{
    TKSN_Object* cube = ImportCube("cube.obj");
    const std::string out = (Store.Folder / "out.obj").string();
    Export().FileName = out;
    Project->ExportGroupsAsSeparateFiles = false;
    EXPECT_TRUE(Dispatch(389));
    ASSERT_TRUE(fs::exists(out));
    EXPECT_TRUE(WasPrinted(Format(Lang.GetText(1054), out.c_str())));
#if KSN_HAVE_TINYOBJLOADER
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, out.c_str(),
                                 Store.Folder.string().c_str(), false))
        << err;
    EXPECT_EQ(int(attrib.vertices.size() / 3), cube->Mesh->vertexCount);
    size_t faces = 0;
    for (const tinyobj::shape_t& s : shapes) faces += s.mesh.num_face_vertices.size();
    EXPECT_EQ(int(faces), cube->Mesh->polygonCount);
#endif
}

TEST_F(ModelCommands, MultipleExportAsksForEachHighlightedObjectInOrder)
{
    TKSN_Object* objects[3] = {ImportCube("A.obj"), ImportCube("B.obj"), ImportCube("C.obj")};
    for (TKSN_Object* o : objects) o->multiSelected = true;

    // The window sees three highlighted objects: no dialog of its own.
    ASSERT_TRUE(Export().SelectType("OBJ"));
    Export().Execute();
    EXPECT_TRUE(Export().OkButton->IsEnabled());
    const size_t asked = Provider.FileRequests.size();
    QOREvents_Clean();
    ASSERT_TRUE(ClickExportOk());
    EXPECT_EQ(Provider.FileRequests.size(), asked);
    EXPECT_EQ(Export().FileName, "<MULTIPLE>");
    EXPECT_EQ(CountQueued(389), 1);

    const std::string a = (Store.Folder / "outA.OBJ").string(), c = (Store.Folder / "outC.OBJ").string();
    Provider.Choices = {a, "", c};
    Provider.FileRequests.clear();
    EXPECT_TRUE(Dispatch(389));
    ASSERT_EQ(Provider.FileRequests.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Provider.FileRequests[size_t(i)].DefaultName, objects[i]->GetName());
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(c));
    EXPECT_FALSE(WasPrinted(Format(Lang.GetText(1054), (Store.Folder / "B.OBJ").string().c_str())));
}

TEST(REMTwin, NamesOfTheHidingPoseFile)
{
    const std::pair<const char*, const char*> cases[] = {{"Smile.pz2", "Smile_REM.pz2"},
                                                         {"SmileMOR.pz2", "SmileREM.pz2"},
                                                         {"MOR.pz2", "MOR_REM.pz2"},
                                                         {"ArmMor.PZ2", "ArmREM.PZ2"},
                                                         {"Arm.PZ2", "Arm_REM.PZ2"},
                                                         {"/a/b/Face.pz2", "/a/b/Face_REM.pz2"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(KSN_MakeREMTwinName(in), out) << in;
}

TEST_F(ModelCommands, MorExportWritesThePoseFileEvenWhenTheTwinIsKept)
{
    TKSN_Object* cube = ImportCube("figure.cr2.obj");
    AddMorph(cube, "Smile");
    const std::string mor = (Store.Folder / "Smile.pz2").string();
    const std::string twin = WriteFile("Smile_REM.pz2", "keep me");
    Export().FileName = mor;
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_TRUE(Dispatch(398));
    EXPECT_TRUE(fs::exists(mor));
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, Format(Lang.GetText(1047), twin.c_str()));
    EXPECT_EQ(ReadAll(twin), "keep me");

    Provider.Answers = {TOSBoxAnswer::Yes};
    EXPECT_TRUE(Dispatch(398));
    EXPECT_NE(ReadAll(twin), "keep me");
}

TEST_F(ModelCommands, ExportWithoutAnObjectWarnsAndRefuses)
{
    g_Printed.clear();
    EXPECT_FALSE(Dispatch(405));
    EXPECT_FALSE(Export().Shown);
    ASSERT_FALSE(g_Printed.empty());
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(259))), g_Printed.end());
    EXPECT_FALSE(Dispatch(388));
}

TEST_F(ModelCommands, TheExportWindowFollowsTheType)
{
    TKSN_Object* cube = ImportCube("Body.CR2.obj");
    cube->SetName("%s", "Body.CR2");

    // MOR without a current morph: the name says so and nothing can go.
    cube->Mesh->SetCurrentMorph(nullptr);
    ASSERT_TRUE(Export().SelectType("MOR (PZ2)"));
    Export().Execute();
    EXPECT_STREQ(Export().NameField->EditField->GetText(), "<no current morph>");
    EXPECT_FALSE(Export().NameField->IsEnabled());
    EXPECT_FALSE(Export().ChannelField->IsEnabled());
    EXPECT_FALSE(Export().OkButton->IsEnabled());
    ASSERT_TRUE(Export().SelectType("OBJ"));
    EXPECT_TRUE(Dispatch(437));
    EXPECT_TRUE(Export().OkButton->IsEnabled());

    // CR2 with the joints adjusted but no new OBJ asks the filled question; No keeps the window.
    ASSERT_TRUE(Export().SelectType("CR2"));
    Export().Execute();
    Export().AutoRigBox->Pressed = true;
    Export().SaveNewOBJBox->Pressed = false;
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_FALSE(ClickExportOk());
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text,
              "The 'Auto-adjust joint parameters' option works best in conjunction with the 'Create New OBJ file' "
              "option. Are you sure that you want to proceed without 'Create New OBJ file'?");
    EXPECT_TRUE(Export().Shown);
    EXPECT_TRUE(Project->CR2AutoRig);

    // MOR with a current morph asks for a PZ2 file.
    AddMorph(cube, "Grin");
    ASSERT_TRUE(Export().SelectType("MOR (PZ2)"));
    Export().Execute();
    EXPECT_TRUE(Export().OkButton->IsEnabled());
    Export().NameField->EditField->SetText("Big:Grin");
    Provider.Choices = {(Store.Folder / "grin.pz2").string()};
    Provider.FileRequests.clear();
    QOREvents_Clean();
    ASSERT_TRUE(ClickExportOk());
    ASSERT_EQ(Provider.FileRequests.size(), 1u);
    EXPECT_EQ(Provider.FileRequests[0].DefaultExtension, "PZ2");
    EXPECT_STREQ(cube->Mesh->GetCurrentMorph()->GetName(), "Big_Grin");
    EXPECT_EQ(CountQueued(398), 1);
    EXPECT_EQ(CountQueued(439), 1);
}

// [SECTION] The layer-set library

class LayerSetLibrary : public ModelCommands {
protected:
    void SetUp() override
    {
        ModelCommands::SetUp();
        // The library lives in the main folder: a private one here.
        SavedMainPath = OS.MainPath;
        Main = Store.Folder / "main";
        fs::create_directories(Main);
        OS.MainPath = Main.string() + "/";
    }
    void TearDown() override
    {
        OS.MainPath = SavedMainPath;
        ModelCommands::TearDown();
    }
    std::vector<std::string> IndexLines()
    {
        const std::string text = ReadAll((Main / "Layer Sets" / "Files.txt").string());
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
            lines.push_back(text.substr(start, lf - start));
            start = lf + 1;
        }
        EXPECT_EQ(start, text.size()) << "every line ends with a line feed";
        return lines;
    }
    std::string Entry(const char* name) { return (Main / "Layer Sets" / name).string(); }

    fs::path Main;
    std::string SavedMainPath;
};

TEST_F(LayerSetLibrary, EntriesAreNumberedAndTheIndexListsThemNewestFirst)
{
    ImportCube("Head.obj");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Dispatch(397));
    for (const char* name : {"Head.LaySet", "Head_1.LaySet", "Head_2.LaySet"})
        EXPECT_TRUE(fs::exists(Entry(name))) << name;
    EXPECT_EQ(IndexLines(),
              (std::vector<std::string>{Entry("Head_2.LaySet"), Entry("Head_1.LaySet"), Entry("Head.LaySet")}));
    EXPECT_EQ(CountQueued(436), 3);
    for (const auto& f : fs::directory_iterator(Main / "Layer Sets"))
        EXPECT_EQ(f.path().extension() == ".tmp", false) << f.path();
}

TEST_F(LayerSetLibrary, NamesAreCutAtTheLastDotAndAMissingIndexGivesOneLine)
{
    ImportCube("x.obj")->SetName("%s", "a.b.c");
    EXPECT_TRUE(Dispatch(397));
    EXPECT_TRUE(fs::exists(Entry("a.b.LaySet")));
    EXPECT_EQ(IndexLines(), std::vector<std::string>{Entry("a.b.LaySet")});
}

TEST_F(LayerSetLibrary, AnIndexThatCannotBeReplacedIsLeftAsItWas)
{
    ImportCube("Head.obj");
    fs::create_directories(Main / "Layer Sets" / "Files.txt" / "inside");
    g_Printed.clear();
    EXPECT_FALSE(Dispatch(397));
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1052))), g_Printed.end());
    EXPECT_TRUE(fs::is_directory(Main / "Layer Sets" / "Files.txt" / "inside"));
    for (const auto& f : fs::directory_iterator(Main / "Layer Sets"))
        EXPECT_NE(f.path().extension(), ".tmp") << f.path();
}

TEST_F(LayerSetLibrary, WithoutACurrentObjectNothingIsWritten)
{
    EXPECT_FALSE(Dispatch(397));
    EXPECT_FALSE(fs::exists(Main / "Layer Sets"));
    TQOREvent e(KestruneEvents_CommandCB, 0, 396);
    EXPECT_FALSE(Dispatch(e));
    ImportCube("c.obj");
    TQOREvent empty(KestruneEvents_CommandCB, 0, 396);
    QOREvents_Clean();
    EXPECT_TRUE(Dispatch(empty));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
}

} // namespace

namespace {

TEST_F(ModelCommands, TheCR2WizardsChoiceOpensTheExportWindowOnTheCR2Row)
{
    ASSERT_TRUE(Export().SelectType("MAT (PZ2)"));
    QOREvents_Clean();
    EXPECT_TRUE(Dispatch(144));
    EXPECT_EQ(Export().GetSelectedType(), "CR2") << "the row is found by its name, not its position";
    EXPECT_EQ(Export().TypeList->SelectedIndex, App->exportFileTypesIndex);
    EXPECT_EQ(CountQueued(405), 1);
    EXPECT_FALSE(Project->CR2AutoRig);
    EXPECT_TRUE(Project->CR2SetupFullBodyMorphs);
}

} // namespace

namespace {

TEST_F(ModelCommands, ASculptedPrimIsExportedWithoutAFileDialog)
{
    ImportCube("prim.obj");
    ASSERT_TRUE(Export().SelectType("Sculpted Prim"));
    Export().Execute();
    Provider.FileRequests.clear();
    QOREvents_Clean();
    ASSERT_TRUE(ClickExportOk());
    EXPECT_TRUE(Provider.FileRequests.empty());
    EXPECT_EQ(Export().FileName, "<MULTIPLE>");
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    TQOREvent* queued = QOREvents_PeekEvent(0);
    EXPECT_EQ(queued->callback, static_cast<TQOREventFunction>(KSN_SecondLifeEvents));
    EXPECT_EQ(queued->GetCommand(), 0);
    EXPECT_FALSE(Export().Shown);
}

} // namespace
