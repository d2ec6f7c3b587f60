// The application object: first and later starts, the single-instance rule,
// search paths, locating files, file-dialog wildcards and the small helpers.
#include "KSN_ShellTestSupport.h"

#include <cmath>
#include <cstring>

#include "KSN_BrushLibrary.h"
#include "KSN_Viewport.h"
#include "QORLanguage.h"
#include "QORTablet.h"
#include "QORThingy.h"

namespace {

using ApplicationTest = ShellFixture;

std::vector<std::string> Keys(const std::string& text)
{
    std::vector<std::string> keys;
    for (const std::string& line : ShellFixture::Lines(text)) keys.push_back(line.substr(0, line.find('\t')));
    return keys;
}

TEST_F(ApplicationTest, FirstAndSecondStartCountRunsAndKeepTheLineOrder)
{
    const fs::path file = SettingsFile();
    ASSERT_FALSE(fs::exists(file));

    App = new TKSN_Application("Kestrune");
    ASSERT_EQ(Provider.Boxes.size(), 1u);   // the driver note, first start only
    EXPECT_EQ(Provider.Boxes[0], Lang.GetText(413));
    EXPECT_EQ(App->runCount, 1);
    std::string text = ReadFile(file);
    EXPECT_NE(text.find("\nRunCount\t1\n"), std::string::npos) << text;
    // The data folder joins the search list only after this first write.
    EXPECT_EQ(text.find("SearchPath"), std::string::npos) << text;
    ASSERT_EQ(App->GlobalSearchPaths->Count(), 1);
    EXPECT_EQ(std::string((*App->GlobalSearchPaths)[0]->path), MainPath() + "Data/");
    EXPECT_EQ(std::string(App->autoSaveFileName),
              std::string(App->userDataPath) + Lang.GetText(418) + ".Kestrune");

    delete App;
    text = ReadFile(file);
    const std::vector<std::string> expected = {
        "InterfaceBrightness", "TabletPressureVariesStrength", "TabletPressureVariesPseudoSize",
        "TabletPressureVariesDensity", "TabletPressureVariesHardness", "TabletSensitivity",
        "MouseWheelSensitivity", "TabletCutoff", "ImportPath", "ExportPath", "ImagesPath", "ProjectsPath",
        "AutoSaveFileName", "SearchPath", "RunCount", "Hints", "UndoLimit", "LoadDefaultProject"};
    EXPECT_EQ(Keys(text), expected) << text;
    EXPECT_NE(text.find("InterfaceBrightness\t1.00\n"), std::string::npos);
    EXPECT_NE(text.find("TabletCutoff\t0.010000\n"), std::string::npos);
    EXPECT_NE(text.find("ImportPath\t" + MainPath() + "Objects/\n"), std::string::npos);
    EXPECT_NE(text.find("SearchPath\t" + MainPath() + "Data/\n"), std::string::npos);

    App = new TKSN_Application("Kestrune");
    EXPECT_EQ(Provider.Boxes.size(), 1u);   // no note on the second start
    EXPECT_EQ(App->runCount, 2);
    EXPECT_EQ(App->GlobalSearchPaths->Count(), 1);   // the listed data folder is not added twice
    EXPECT_NE(ReadFile(file).find("\nRunCount\t2\n"), std::string::npos);
}

TEST_F(ApplicationTest, ASecondApplicationObjectEndsTheProgram)
{
    App = new TKSN_Application("Kestrune");
    EXPECT_EXIT({ new TKSN_Application("Kestrune"); }, ::testing::ExitedWithCode(1), "");
}

TEST_F(ApplicationTest, ConstructionSetsDefaultsAndFolders)
{
    App = new TKSN_Application("Kestrune");
    EXPECT_STREQ(App->applicationName, "Kestrune");
    EXPECT_STREQ(App->GetCustomProgressMessage(), Lang.GetText(227));
    App->SetCustomProgressMessage(std::string(1000, 'x').c_str());   // cut to the field, never past it
    EXPECT_EQ(std::strlen(App->GetCustomProgressMessage()), size_t(KSN_APP_NAME_BUFFER - 1));
    App->ClearCustomProgressMessage();
    EXPECT_STREQ(App->GetCustomProgressMessage(), Lang.GetText(227));
    EXPECT_EQ(std::string(App->importPath), MainPath() + "Objects/");
    EXPECT_EQ(std::string(App->imagesPath), MainPath() + "Images/");
    EXPECT_EQ(std::string(App->projectsPath), MainPath() + "Projects/");
    EXPECT_EQ(App->toolTypeTab, 3);
    EXPECT_EQ(App->viewportLayout, 5);
    ASSERT_NE(App->emptyMaterial, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ViewportMatrices[i], App->viewports[i]->CombinedMatrix);
    ASSERT_NE(App->brushImageLibrary, nullptr);
    EXPECT_STREQ(App->brushImageLibrary->GetName(), "Images");
    EXPECT_EQ(__GetThingyFromID(App->brushShapeLibrary->GetID()), App->brushShapeLibrary);
    App->mouseWheelModes[3] = true;
    App->SetAllMouseWheelDudesToFalse();
    for (bool m : App->mouseWheelModes) EXPECT_FALSE(m);
}

TEST_F(ApplicationTest, PenPressureFollowsTheApplicationsTabletSettings)
{
    QORTabletPressure_OSX_Cocoa = 1.0f;
    EXPECT_FLOAT_EQ(QORTablet_GetPressure(), 1.0f);   // no pressure source: full pressure
    QORTabletPressure_OSX_Cocoa = 0.5f;
    const float withDefaults = QORTablet_GetPressure();
    EXPECT_GT(withDefaults, 0.0f);
    App = new TKSN_Application("Kestrune");
    App->tabletCutoff = 0.9f;   // a raw 0.5 lies below the cutoff now
    EXPECT_FLOAT_EQ(QORTablet_GetPressure(), 0.0f);
    delete App;
    EXPECT_FLOAT_EQ(QORTablet_GetPressure(), withDefaults);
    QORTabletPressure_OSX_Cocoa = 1.0f;
}

TEST(SearchPaths, AddPathRules)
{
    struct Case {
        const char* name;
        std::vector<const char*> folders;
        std::vector<std::string> expected;
    } cases[] = {
        {"empty folder is skipped", {""}, {}},
        {"duplicates ignore case", {"/a/b/", "/A/B/"}, {"/a/b/"}},
        {"slash is added", {"/a/b"}, {"/a/b/"}},
        // The duplicate test compares the text as given, before the "/" is added.
        {"same folder without slash twice", {"/a/b", "/a/b"}, {"/a/b/", "/a/b/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TKSN_SearchPaths paths;
        for (const char* f : c.folders) paths.AddPath(f, false);
        ASSERT_EQ(paths.Count(), int(c.expected.size()));
        for (int i = 0; i < paths.Count(); ++i) {
            EXPECT_EQ(std::string(paths[i]->path), c.expected[size_t(i)]);
            EXPECT_STREQ(paths[i]->GetName(), "TKSN_SearchPath");
        }
        paths.DeleteAll();
    }
    TKSN_SearchPaths paths;
    paths.AddPathFromFileName("name-only.obj", true);
    EXPECT_EQ(paths.Count(), 0);
    paths.AddPathFromFileName("/x/y/file.obj", true);
    ASSERT_EQ(paths.Count(), 1);
    EXPECT_STREQ(paths[0]->path, "/x/y/");
    EXPECT_TRUE(paths[0]->recursive);
    paths.AddPathFromFileName("/X/Y/other.obj", false);
    EXPECT_EQ(paths.Count(), 1);
    // A folder too long for the field is refused rather than stored cut.
    paths.AddPath(std::string(KSN_APP_PATH_BUFFER, 'a').c_str(), false);
    EXPECT_EQ(paths.Count(), 1);
    paths.DeleteAll();
}

TEST_F(ApplicationTest, LocateFileSearchesListedFoldersThenAsks)
{
    App = new TKSN_Application("Kestrune");
    WriteFile(Root / "abs" / "here.obj", "x");
    WriteFile(Root / "deep" / "sub" / "inner.png", "x");
    WriteFile(Root / "picked" / "gone.obj", "x");

    char path[TOS_PATH_BUFFER];
    std::strcpy(path, (Root / "abs" / "here.obj").c_str());
    TKSN_SearchPaths list;
    EXPECT_TRUE(list.LocateFile(path, false));
    EXPECT_EQ(fs::path(path), Root / "abs" / "here.obj");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(std::string(list[0]->path), (Root / "abs").generic_string() + "/");

    list.AddPath((Root / "deep").c_str(), true);
    std::strcpy(path, "/nowhere/inner.png");
    EXPECT_TRUE(list.LocateFile(path, false));
    EXPECT_EQ(fs::path(path), Root / "deep" / "sub" / "inner.png");

    std::strcpy(path, "/nowhere/gone.obj");
    EXPECT_FALSE(list.LocateFile(path, false));
    EXPECT_TRUE(Provider.Boxes.size() == 1);   // only the first-start note: nothing asked
    Provider.Answers.push_back(TOSBoxAnswer::Yes);
    Provider.Choices.push_back((Root / "picked" / "gone.obj").string());
    EXPECT_TRUE(list.LocateFile(path, true));
    EXPECT_EQ(fs::path(path), Root / "picked" / "gone.obj");
    EXPECT_EQ(std::string(list.Last()->path), (Root / "picked").generic_string() + "/");
    list.DeleteAll();

    // The application looks in the global list without asking, then the document's.
    App->DocumentSearchPaths->AddPath((Root / "deep").c_str(), true);
    std::strcpy(path, "inner.png");
    EXPECT_TRUE(App->LocateFile(path));
    EXPECT_EQ(fs::path(path), Root / "deep" / "sub" / "inner.png");
    WriteFile(Main / "Data" / "base.obj", "x");
    std::strcpy(path, "base.obj");
    EXPECT_TRUE(App->LocateFile(path));
    EXPECT_EQ(fs::path(path), Main / "Data" / "base.obj");
}

TEST_F(ApplicationTest, FileDialogDescriptions)
{
    App = new TKSN_Application("Kestrune");
    App->InitializeTools();
    char out[TOS_PATH_BUFFER];
    struct Case {
        int preferred;
        bool import;
        const char* expected;
    } cases[] = {
        {-1, false, "PNG Files|*.PNG|BMP Files|*.BMP|JPG Files|*.JPG|TGA Files|*.TGA|TIF Files|*.TIF||"},
        {-1, true,
         "All Image Files|*.PNG;*.BMP;*.JPG;*.JPEG;*.TGA;*.TIF;*.TIFF;|PNG Files|*.PNG|BMP Files|*.BMP|JPG Files|*.JPG|"
         "JPEG Files|*.JPEG|TGA Files|*.TGA|TIF Files|*.TIF|TIFF Files|*.TIFF||"},
        {2, true,
         "All Image Files|*.PNG;*.BMP;*.JPG;*.JPEG;*.TGA;*.TIF;*.TIFF;|JPG Files|*.JPG|PNG Files|*.PNG|BMP Files|*.BMP|"
         "JPEG Files|*.JPEG|TGA Files|*.TGA|TIF Files|*.TIF|TIFF Files|*.TIFF||"},
        {9, false, "PNG Files|*.PNG|BMP Files|*.BMP|JPG Files|*.JPG|TGA Files|*.TGA|TIF Files|*.TIF||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CurrentIndexForMultiFileDialog = c.preferred;
        if (c.import) App->GetFileDialogDescriptionForAllImportImageFileTypes(out);
        else App->GetFileDialogDescriptionForAllExportImageFileTypes(out);
        EXPECT_STREQ(out, c.expected);
    }
    CurrentIndexForMultiFileDialog = -1;
    char small[12];
    App->GetFileDialogDescriptionForAllExportImageFileTypes(small, sizeof small);
    EXPECT_STREQ(small, "PNG Files|*");
}

TEST(ApplicationHelpers, FadeByAngleFactor)
{
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, diag[3] = {0.6f, 0.8f, 0};
    struct Case {
        float threshold, cosLimit;
        const float* b;
        float expected;
    } cases[] = {
        {0.5f, 0.0f, x, 1.0f},     // parallel
        {0.5f, 0.0f, y, 0.0f},     // perpendicular
        {0.0f, 0.9999f, y, 1.0f},  // cosine limit at its top
        {0.2f, 0.0f, diag, (0.36f - 0.2f) / 0.8f},
        {0.2f, 0.5f, diag, (0.36f - 0.2f) / 0.8f / (1.0f - 0.0625f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_NEAR(GetFadeByAngleFactor(c.threshold, c.cosLimit, x, c.b), c.expected, 1e-6f);
    }
}

TEST_F(ApplicationTest, DisabledInModelerHintGoesFirst)
{
    TQORThingy thingy;
    thingy.SetHint("Old hint");
    TKSN_Application_AddDisabledInModelerHint(&thingy);
    EXPECT_EQ(std::string(thingy.GetHint()), std::string("- ") + Lang.GetText(571) + " -\nOld hint");
}

TEST(ApplicationHelpers, ThingyListQuickSortByName)
{
    struct Named : TKSN_Thingy {
        explicit Named(const char* n) { SetName("%s", n); }
    };
    Named a("b"), b("A"), c("_x"), d("1"), e("Ab");
    TKSN_ThingyList list;
    for (TKSN_Thingy* t : {static_cast<TKSN_Thingy*>(&a), static_cast<TKSN_Thingy*>(&b),
                           static_cast<TKSN_Thingy*>(&c), static_cast<TKSN_Thingy*>(&d),
                           static_cast<TKSN_Thingy*>(&e)})
        list.Add(t);
    list.QuickSort(0, list.Count() - 1, TQORStaticList_CompareThingyNames);
    std::string order;
    for (TKSN_Thingy* t : list) order += std::string(t->GetName()) + " ";
    EXPECT_EQ(order, "1 _x A Ab b ");
}

} // namespace
