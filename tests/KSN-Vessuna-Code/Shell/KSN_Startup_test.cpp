#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KSN_Startup_Services.h"
#include "KsnTempFolder.h"

namespace fs = std::filesystem;

// [SECTION] Window placement

TEST(KSN_Startup, WindowIsFourFifthsOfTheScreenCentredAndNeverTallerThanWide)
{
    struct TCase {
        int32_t screenWidth, screenHeight;
        int32_t x, y, width, height;
    };
    const TCase cases[] = {
        {800, 600, 80, 60, 640, 480},        // the least screen
        {1920, 1200, 192, 120, 1536, 960},
        {1000, 1400, 100, 300, 800, 800},    // portrait: height capped at the width
        {1366, 768, 137, 77, 1092, 614},     // 8/10 truncated toward zero
        {0, 0, 0, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screenWidth << " x " << c.screenHeight);
        TKSN_MainWindowPlacement p = KSN_GetMainWindowPlacement(c.screenWidth, c.screenHeight);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
    }
}

TEST(KSN_Startup, ScreenCheckNeedsAtLeast800By600)
{
    EXPECT_TRUE(KSN_IsScreenLargeEnough(800, 600));
    EXPECT_TRUE(KSN_IsScreenLargeEnough(1920, 1080));
    EXPECT_FALSE(KSN_IsScreenLargeEnough(799, 600));
    EXPECT_FALSE(KSN_IsScreenLargeEnough(800, 599));
}

// [SECTION] Last word

TEST(KSN_Startup, SeparateLastWordSplitsTheTrimmedTextAtItsLastSpace)
{
    struct TCase {
        const char* text;
        const char* dst;
        const char* word;
    };
    const TCase cases[] = {
        {"  Saving  the  file  ", "Saving  the ", "file"},   // keeps the space before the last one
        {"Loading 42%", "Loading", "42%"},
        {"\tNoSpace\n", "NoSpace", ""},
        {"", "", ""},
        {"   ", "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> dst(std::string(c.text).size() + 1, 'x'), word(dst.size(), 'x');
        SeparateLastWordFromString(c.text, dst.data(), word.data());
        EXPECT_STREQ(dst.data(), c.dst);
        EXPECT_STREQ(word.data(), c.word);
    }
}

// [SECTION] Dialog hooks

namespace {
void IdleA() {}
void IdleB() {}
} // namespace

TEST(KSN_Startup, DialogHooksStopIdleWorkAndRestoreTheCallbackOfTheOpening)
{
    QORglutIdleFunc(IdleA);
    Kestrune_OnDialogOpen();
    EXPECT_EQ(GetIdleFunc(), nullptr);
    EXPECT_EQ(Kestrune_OldIdle, &IdleA);
    Kestrune_OnDialogClose();
    EXPECT_EQ(GetIdleFunc(), &IdleA);

    // A dialog opened while no idle callback ran leaves the idle slot alone on closing.
    QORglutIdleFunc(nullptr);
    Kestrune_OnDialogOpen();
    QORglutIdleFunc(IdleB);
    Kestrune_OnDialogClose();
    EXPECT_EQ(GetIdleFunc(), &IdleB);
    QORglutIdleFunc(nullptr);
}

// [SECTION] Viewport-dependent work

namespace {
std::vector<std::string> Cancelled;
void CancelTouchup() { Cancelled.push_back("touchup"); }
void CancelCulling() { Cancelled.push_back("culling"); }
} // namespace

TEST(KSN_Startup, CancelStopsTheTouchupRendererBeforeTheVertexCulling)
{
    Cancelled.clear();
    KSN_AssignViewportDependentCancellers(nullptr, nullptr);
    CancelAllViewportDependentWorkhorses();
    EXPECT_TRUE(Cancelled.empty());

    KSN_AssignViewportDependentCancellers(CancelTouchup, CancelCulling);
    CancelAllViewportDependentWorkhorses();
    EXPECT_EQ(Cancelled, (std::vector<std::string>{"touchup", "culling"}));
    KSN_AssignViewportDependentCancellers(nullptr, nullptr);
}

// [SECTION] Launcher refresh

namespace {

struct TLaunch {
    std::string path, arguments;
};
std::vector<TLaunch> Launches;
bool RecordLaunch(const char* path, const char* arguments)
{
    Launches.push_back({path, arguments});
    return true;
}

class KSN_StartupLauncher : public testing::Test {
protected:
    void SetUp() override
    {
        Launches.clear();
        ASSERT_TRUE(temp.IsOpen());
        main = temp.Folder;
        mainText = main.string() + "/";
    }

    fs::path MakeLauncher(const fs::path& bundleFolder)
    {
        fs::path exe = bundleFolder / "Kestrune-Launcher.app" / "Contents" / "MacOS" / "Kestrune-Launcher";
        fs::create_directories(exe.parent_path());
        std::ofstream(exe) << "launcher";
        return exe;
    }

    TTempFolder temp{"ksn_launcher_"};   // a folder of its own, whatever else runs on the machine
    fs::path main;
    std::string mainText;
};

} // namespace

TEST_F(KSN_StartupLauncher, NothingHappensWithoutAStagedCopy)
{
    MakeLauncher(main);
    EXPECT_FALSE(KSN_RefreshLauncher(mainText.c_str(), '/', RecordLaunch));
    EXPECT_TRUE(Launches.empty());
}

TEST_F(KSN_StartupLauncher, AStagedCopyOlderThanTheInstalledOneIsNotStarted)
{
    fs::path staged = MakeLauncher(main / "Versions" / "Current");
    fs::path installed = MakeLauncher(main);
    fs::last_write_time(staged, fs::last_write_time(installed) - std::chrono::hours(1));
    EXPECT_FALSE(KSN_RefreshLauncher(mainText.c_str(), '/', RecordLaunch));
    EXPECT_TRUE(Launches.empty());
}

TEST_F(KSN_StartupLauncher, AStagedCopyWithoutAnInstalledOneIsStartedWithTheMainFolder)
{
    fs::path staged = MakeLauncher(main / "Versions" / "Current");
    EXPECT_TRUE(KSN_RefreshLauncher(mainText.c_str(), '/', RecordLaunch));
    ASSERT_EQ(Launches.size(), 1u);
    EXPECT_EQ(fs::path(Launches[0].path), staged);
    EXPECT_EQ(Launches[0].arguments, "-REPLACE_LAUNCHER -MAIN_PATH=\"" + mainText + "\"");
}
