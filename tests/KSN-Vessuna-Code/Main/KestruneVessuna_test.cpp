// Runs the program as a user would: from the repository folder, on an Xvfb
// screen of a chosen size, with a temporary home and temporary folder, and
// with the executable's test hooks (KSN_TEST_DIALOGS, KSN_TEST_PROBE_PIXEL)
// answering its boxes and reporting what it drew.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TRun {
    int status = -1;   // exit status; 124 when the time ran out
    std::string output;
};

class KestruneVessunaRun : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("ksn_exe_" + std::to_string(::getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "home");
        fs::create_directories(root / "tmp");
    }
    void TearDown() override { fs::remove_all(root); }

    TRun Run(const std::string& screen, const std::string& environment, const std::string& arguments = "")
    {
        std::string command = "cd '" KSN_SOURCE_DIR "' && env HOME='" + (root / "home").string() + "' TMPDIR='" +
                              (root / "tmp").string() + "' " + environment +
                              " timeout 120 xvfb-run -a -s '-screen 0 " + screen + "' '" KSN_EXECUTABLE "' " +
                              arguments + " 2>/dev/null";
        TRun run;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return run;
        std::array<char, 4096> buffer;
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), n);
        int raw = ::pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }

    // Temporary files of the virtual-memory store left in the temporary folder.
    int StoreFilesLeft() const
    {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root / "tmp")) {
            if (!entry.is_regular_file()) continue;
            std::ifstream file(entry.path(), std::ios::binary);
            std::string head(23, '\0');
            file.read(head.data(), 23);
            if (head == "KSN-VIRTUAL-MEMORY-FILE") ++count;
        }
        return count;
    }

    fs::path root;
};

// What the script's report said.
struct TReport {
    std::string Objects, Unions, Manager;
    std::vector<std::string> Messages;
    int Centre[3] = {-1, -1, -1}, Corner[3] = {-1, -1, -1};
    bool Complete = false;
};

TReport ReadReport(const std::string& output)
{
    TReport r;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        auto value = [&](const char* key) -> const char* {
            const size_t n = std::strlen(key);
            return line.compare(0, n, key) == 0 ? line.c_str() + n : nullptr;
        };
        if (const char* v = value("KSN_TEST_OBJECTS")) r.Objects = v;
        if (const char* v = value("KSN_TEST_MORPH_UNIONS")) r.Unions = v;
        if (const char* v = value("KSN_TEST_MANAGER")) r.Manager = v;
        if (const char* v = value("KSN_TEST_MESSAGE ")) r.Messages.push_back(v);
        if (const char* v = value("KSN_TEST_VIEWPORT0 ")) {
            std::istringstream in(v);
            in >> r.Centre[0] >> r.Centre[1] >> r.Centre[2] >> r.Corner[0] >> r.Corner[1] >> r.Corner[2];
        }
        if (value("KSN_TEST_REPORTED")) r.Complete = true;
    }
    return r;
}

// The object at the centre of the first viewport stands out from the
// background near its corner.
bool ObjectDrawn(const TReport& r)
{
    int difference = 0;
    for (int i = 0; i < 3; ++i) difference += std::abs(r.Centre[i] - r.Corner[i]);
    return r.Centre[0] >= 0 && r.Corner[0] >= 0 && difference > 30;
}

bool HasMessage(const TReport& r, const std::string& text)
{
    for (const std::string& m : r.Messages)
        if (m.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

TEST_F(KestruneVessunaRun, StartsDrawsItsCanvasPumpsCommandsAndQuitsThroughTheExitPath)
{
    TRun run = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_PROBE_PIXEL=1");
    SCOPED_TRACE(run.output);
    EXPECT_EQ(run.status, 0);

    // The canvas shows the main window's frame (its panels, or the splash
    // window centred over them during the first second), not the black of
    // the display callback that stands in before the main window exists.
    size_t at = run.output.find("KSN_TEST_PIXEL ");
    ASSERT_NE(at, std::string::npos);
    std::istringstream pixel(run.output.substr(at + 15));
    int r = -1, g = -1, b = -1;
    pixel >> r >> g >> b;
    EXPECT_GT(r + g + b, 3 * 20) << r << " " << g << " " << b;

    // A command queued after the first frame ran in the pump of a later paint.
    EXPECT_NE(run.output.find("KSN_TEST_PUMPED"), std::string::npos);
    EXPECT_NE(run.output.find("KSN_TEST_DIALOG: Are you sure that you want to exit the program?"), std::string::npos);
    // The exit path removed the store's temporary files and saved the settings.
    EXPECT_EQ(StoreFilesLeft(), 0);
    EXPECT_TRUE(fs::exists(root / "home" / ".KestruneVessuna" / "Kestrune_Vessuna_v4.ini"));
}

TEST_F(KestruneVessunaRun, ScreenSmallerThan800By600EndsWithAMessageAndAFailureStatus)
{
    TRun run = Run("799x600x24", "KSN_TEST_DIALOGS=auto");
    SCOPED_TRACE(run.output);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.status, 124);
    EXPECT_NE(run.output.find("KSN_TEST_DIALOG: The screen resolution must be at least 800x600 for this application "
                              "to run properly."),
              std::string::npos);
}

TEST_F(KestruneVessunaRun, FirstRunShowsTheDefaultObjectAndSavingAsksForAName)
{
    TRun run = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='report;c:377;quit'");
    SCOPED_TRACE(run.output);
    EXPECT_EQ(run.status, 0);
    TReport report = ReadReport(run.output);
    ASSERT_TRUE(report.Complete);
    EXPECT_EQ(report.Objects, " [Ball]{3456}");
    EXPECT_TRUE(ObjectDrawn(report)) << "centre " << report.Centre[0] << " " << report.Centre[1] << " "
                                     << report.Centre[2] << ", corner " << report.Corner[0] << " "
                                     << report.Corner[1] << " " << report.Corner[2];
    EXPECT_TRUE(HasMessage(report, "Running in 64 bit mode."));
    EXPECT_TRUE(HasMessage(report, "Welcome to Kestrune-Vessuna"));
    // The default project has no file of its own: Save asks for a name.
    EXPECT_NE(run.output.find("KSN_TEST_FILE_DIALOG: save -> \n"), std::string::npos);
    EXPECT_NE(run.output.find("KSN_TEST_DIALOG: Are you sure that you want to exit the program?"), std::string::npos);
    EXPECT_EQ(StoreFilesLeft(), 0);
}

TEST_F(KestruneVessunaRun, ASavedProjectOpensAgainAsTheFirstArgument)
{
    const fs::path saved = root / "Saved Ball.Kestrune";
    TRun first = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='f:" + saved.string() + ";c:378;quit'");
    SCOPED_TRACE(first.output);
    EXPECT_EQ(first.status, 0);
    ASSERT_TRUE(fs::exists(saved));

    TRun second = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='report;quit'", "'" + saved.string() + "'");
    SCOPED_TRACE(second.output);
    EXPECT_EQ(second.status, 0);
    TReport report = ReadReport(second.output);
    ASSERT_TRUE(report.Complete);
    EXPECT_EQ(report.Objects, " [Ball]{3456}");
    EXPECT_TRUE(ObjectDrawn(report));
}

TEST_F(KestruneVessunaRun, TransportStartsEmptyAndWebPagesGoThroughTheProvider)
{
    TRun run = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='report;c:188;quit'", "-transport");
    SCOPED_TRACE(run.output);
    EXPECT_EQ(run.status, 0);
    TReport report = ReadReport(run.output);
    ASSERT_TRUE(report.Complete);
    EXPECT_EQ(report.Objects, "");
    EXPECT_FALSE(ObjectDrawn(report));
    EXPECT_NE(run.output.find("KSN_TEST_WEB_PAGE: "), std::string::npos);
}

// A union named through the rename window by typed keys, a spawned morph,
// saved and opened again as the first argument.
TEST_F(KestruneVessunaRun, NamedAndSpawnedMorphsSurviveSavingAndReopening)
{
    const fs::path saved = root / "Morphs.Kestrune";
    TRun first = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='c:208;k:Smile\\r;c:218;report;f:" +
                                         saved.string() + ";c:378;quit'");
    SCOPED_TRACE(first.output);
    EXPECT_EQ(first.status, 0);
    const TReport made = ReadReport(first.output);
    ASSERT_TRUE(made.Complete);
    ASSERT_NE(made.Unions.find("[Smile]"), std::string::npos);
    ASSERT_TRUE(fs::exists(saved));

    TRun second = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='report;quit'", "'" + saved.string() + "'");
    SCOPED_TRACE(second.output);
    EXPECT_EQ(second.status, 0);
    const TReport reopened = ReadReport(second.output);
    ASSERT_TRUE(reopened.Complete);
    EXPECT_NE(reopened.Unions.find("[Smile]"), std::string::npos);
    EXPECT_NE(reopened.Unions.find("[Spawned Morph]"), std::string::npos);
    EXPECT_EQ(reopened.Objects, " [Ball]{3456}");
    EXPECT_TRUE(ObjectDrawn(reopened));
}

TEST_F(KestruneVessunaRun, TheManagerTreeListsTheDefaultObject)
{
    TRun run = Run("1280x1024x24", "KSN_TEST_DIALOGS=yes KSN_TEST_SCRIPT='report;quit'");
    SCOPED_TRACE(run.output);
    EXPECT_EQ(run.status, 0);
    const TReport report = ReadReport(run.output);
    ASSERT_TRUE(report.Complete);
    EXPECT_NE(report.Manager.find("[Ball]"), std::string::npos);
}
