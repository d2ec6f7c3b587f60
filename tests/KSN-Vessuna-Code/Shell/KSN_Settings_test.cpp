// The settings file: what a stored file gives the next start, what it writes
// back, and that a failed write never damages the stored settings.
#include "KSN_ShellTestSupport.h"

#include <unistd.h>

#include <cstring>
#include <functional>

namespace {

class SettingsTest : public ShellFixture {
protected:
    // Starts the application over a stored settings file.
    void StartWith(const std::string& text)
    {
        WriteFile(SettingsFile(), text);
        App = new TKSN_Application("Kestrune");
    }
    std::string Written() const { return ReadFile(App->GetSettingsFileName()); }
    static bool Has(const std::string& text, const std::string& line)
    {
        return text.find("\n" + line + "\n") != std::string::npos || text.rfind(line + "\n", 0) == 0;
    }
};

TEST_F(SettingsTest, StoredValuesAreReadAsTheStartExpects)
{
    fs::create_directories(Root / "imports");
    const std::string imports = (Root / "imports").generic_string();
    struct Case {
        const char* name;
        std::string file;
        std::function<void()> check;
    } cases[] = {
        {"key in lower case, brightness clamped high", "interfacebrightness\t3\nRunCount\t4\n",
         [] { EXPECT_FLOAT_EQ(QORglutWigits_InterfaceBrightness, 1.0f); EXPECT_EQ(App->runCount, 5); }},
        {"brightness clamped low", "InterfaceBrightness\t-1\n",
         [] { EXPECT_FLOAT_EQ(QORglutWigits_InterfaceBrightness, 0.0f); }},
        {"undo limit is not read", "UndoLimit\t200\n", [] { EXPECT_EQ(App->undoLimit, 1024); }},
        {"missing import folder keeps the default", "ImportPath\t/no/such/folder/\n",
         [this] { EXPECT_EQ(std::string(App->importPath), MainPath() + "Objects/"); }},
        {"existing import folder gains its slash", "ImportPath\t" + imports + "\n",
         [imports] { EXPECT_EQ(std::string(App->importPath), imports + "/"); }},
        {"switches: any non-zero number is on", "TabletPressureVariesHardness\t7\nTabletPressureVariesStrength\t0\n",
         [] { EXPECT_TRUE(App->tabletPressureVariesHardness); EXPECT_FALSE(App->tabletPressureVariesStrength); }},
        {"floats are not limited", "TabletSensitivity\t2.5\r\nMouseWheelSensitivity\tjunk\r\nTabletCutoff\t0.25\r\n",
         [] {
             EXPECT_FLOAT_EQ(App->tabletSensitivity, 2.5f);
             EXPECT_FLOAT_EQ(App->mouseWheelSensitivity, 0.0f);
             EXPECT_FLOAT_EQ(App->tabletCutoff, 0.25f);
         }},
        {"search paths differing in case merge", "SearchPath\t/p/q/\nSEARCHPATH\t/P/Q/\nRecursiveSearchPath\t/r\n",
         [this] {
             ASSERT_EQ(App->GlobalSearchPaths->Count(), 3);   // with the data folder
             EXPECT_STREQ((*App->GlobalSearchPaths)[0]->path, "/p/q/");
             EXPECT_STREQ((*App->GlobalSearchPaths)[1]->path, "/r/");
             EXPECT_TRUE((*App->GlobalSearchPaths)[1]->recursive);
             EXPECT_EQ(std::string((*App->GlobalSearchPaths)[2]->path), MainPath() + "Data/");
         }},
        {"blocks of other settings are skipped whole",
         "ExtraDataA\t\n{\n\tSize\t8\nRunCount\t9\n}\nLoadDefaultProject\t0\n",
         [] { EXPECT_EQ(App->runCount, 1); EXPECT_FALSE(App->loadDefaultProject); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QORglutWigits_InterfaceBrightness = 0.5f;
        StartWith(c.file);
        c.check();
        delete App;
    }
    QORglutWigits_InterfaceBrightness = 1.0f;
}

TEST_F(SettingsTest, ValuesAreWrittenBackInTheirStoredForm)
{
    const std::string longFolder = "/" + std::string(300, 'l') + "/";
    StartWith("UndoLimit\t200\nTabletPressureVariesHardness\t7\nRecursiveSearchPath\t/r/\nSearchPath\t" +
              longFolder + "\nAutoSaveFileName\t/elsewhere/x.Kestrune\n");
    App->undoLimit = 300;   // changed during a run: written, but not read at the next start
    App->SaveSettings();
    std::string text = Written();
    EXPECT_TRUE(Has(text, "UndoLimit\t300")) << text;
    EXPECT_TRUE(Has(text, "TabletPressureVariesHardness\t1")) << text;
    EXPECT_TRUE(Has(text, "RecursiveSearchPath\t/r/")) << text;
    EXPECT_TRUE(Has(text, "SearchPath\t" + longFolder)) << text;   // long folders survive whole
    EXPECT_TRUE(Has(text, "Hints\t1")) << text;
    EXPECT_STREQ(App->loadedAutoSaveFileName, "/elsewhere/x.Kestrune");
    EXPECT_TRUE(Has(text, std::string("AutoSaveFileName\t") + App->autoSaveFileName)) << text;
    delete App;

    App = new TKSN_Application("Kestrune");
    EXPECT_EQ(App->undoLimit, 1024);
    EXPECT_TRUE(Has(Written(), "UndoLimit\t1024"));
}

TEST_F(SettingsTest, NonFiniteValuesKeepTheDefaultAndCountsSaturate)
{
    StartWith("");
    const float defaultSensitivity = App->tabletSensitivity;
    const float defaultCutoff = App->tabletCutoff;
    delete App;
    // A line longer than any path field: its tail must not be read as a key of its own.
    const std::string longLine = "Hints\t" + std::string(KSN_APP_PATH_BUFFER + 57, 'h') + "RunCount\t77\n";
    struct Case {
        const char* name;
        std::string file;
        float brightness;
        int runCount;
    } cases[] = {
        {"nan brightness", "InterfaceBrightness\tnan\n", 0.5f, 1},
        {"infinite brightness", "InterfaceBrightness\t-inf\n", 0.5f, 1},
        {"brightness too large for a float", "InterfaceBrightness\t1e300\n", 0.5f, 1},
        {"run count at its limit", "RunCount\t2147483647\n", 0.5f, INT32_MAX},
        {"run count past its limit", "RunCount\t99999999999\n", 0.5f, INT32_MAX},
        {"a long line stays one line", longLine, 0.5f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QORglutWigits_InterfaceBrightness = 0.5f;
        StartWith(c.file + "TabletSensitivity\tnan\nTabletCutoff\tinf\n");
        EXPECT_EQ(QORglutWigits_InterfaceBrightness, c.brightness);
        EXPECT_EQ(App->runCount, c.runCount);
        EXPECT_EQ(App->tabletSensitivity, defaultSensitivity);
        EXPECT_EQ(App->tabletCutoff, defaultCutoff);
        EXPECT_TRUE(Has(Written(), "RunCount\t" + std::to_string(c.runCount)));
        delete App;
    }
    QORglutWigits_InterfaceBrightness = 1.0f;
}

TEST_F(SettingsTest, AFailedWriteKeepsTheOldFile)
{
    App = new TKSN_Application("Kestrune");
    const std::string target = App->GetSettingsFileName();
    const std::string before = ReadFile(target);
    ASSERT_FALSE(before.empty());
    const fs::path temporary = target + ".tmp";
    App->runCount = 77;

    // The disk fills up while the file is written.
    ASSERT_EQ(::symlink("/dev/full", temporary.c_str()), 0);
    App->SaveSettings();
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));

    // The file cannot be created at all.
    fs::create_directories(temporary);
    App->SaveSettings();
    EXPECT_EQ(ReadFile(target), before);
    fs::remove(temporary);

    App->SaveSettings();
    EXPECT_NE(ReadFile(target).find("\nRunCount\t77\n"), std::string::npos);
}

} // namespace
