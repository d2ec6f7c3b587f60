// Loading the GUI graphics from a container built here, in a temporary data
// folder: names, duplicates, undecodable entries, the four adjusted textures,
// and the two ways start-up stops (no container, an outdated container).
#include "KSN_GuiGraphics.h"

#include "KSN_ShellTestSupport.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORMemory.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct TEntry {
    std::string name;
    std::string data;
};

// The container layout: a 256-byte name, a 4-byte little-endian length, the data.
std::string PackWad(const std::vector<TEntry>& entries)
{
    std::string wad;
    for (const TEntry& e : entries) {
        std::string name(256, '\0');
        name.replace(0, e.name.size(), e.name);
        wad += name;
        uint32_t n = uint32_t(e.data.size());
        for (int i = 0; i < 4; ++i) wad += char((n >> (8 * i)) & 0xFF);
        wad += e.data;
    }
    return wad;
}

// An encoded image of one colour, made through the image module.
std::string ImageFile(const fs::path& folder, const char* fileName, int width, int height, unsigned char alpha)
{
    std::vector<unsigned char> pixels(size_t(width * height * 4));
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = 200;
        pixels[i + 1] = 100;
        pixels[i + 2] = 50;
        pixels[i + 3] = alpha;
    }
    fs::path path = folder / fileName;
    EXPECT_TRUE(SaveMapToFile(path.c_str(), pixels.data(), width, height, true));
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    fs::remove(path);
    return s.str();
}

// Dialog texts go to stderr, where a death test can see them.
struct TStderrProvider : TShellTestProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool yes) override
    {
        std::fprintf(stderr, "BOX: %s\n", text);
        return TShellTestProvider::ShowBox(kind, title, text, yes);
    }
};

class GuiGraphics : public ShellFixture {
protected:
    fs::path Temp, Work;
    std::string SavedTmp;

    void SetUp() override
    {
        ShellFixture::SetUp();
        Temp = Root / "tmp";
        Work = Root / "work";
        fs::create_directories(Temp);
        fs::create_directories(Work);
        const char* tmp = std::getenv("TMPDIR");
        SavedTmp = tmp ? tmp : "";
        ::setenv("TMPDIR", Temp.c_str(), 1);
        QORglut_Textures_Init();
    }
    void TearDown() override
    {
        QORglut_Textures_Cleanup();
        if (SavedTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", SavedTmp.c_str(), 1);
        ShellFixture::TearDown();
    }
    void WriteContainer(const std::vector<TEntry>& entries)
    {
        WriteFile(Main / "Data" / "Graphics.dat", PackWad(entries));
    }
};

TEST_F(GuiGraphics, EveryDecodableEntryBecomesANamedTexture)
{
    new TKSN_Application("Kestrune");
    WriteContainer({
        {"BrushTileTool.png", ImageFile(Work, "a.png", 4, 4, 255)},
        {"Lock.png", ImageFile(Work, "b.png", 4, 2, 128)},
        {"Lock.bmp", ImageFile(Work, "c.bmp", 8, 8, 255)},
        {"NoExtension", ImageFile(Work, "d.png", 2, 2, 255)},
        {"Broken.png", "this is not an image"},
        {"MapDisabled.png", ImageFile(Work, "e.png", 2, 2, 64)},
        {"NoMapApplied.png", ImageFile(Work, "f.png", 2, 2, 64)},
        {"NoUVMap.png", ImageFile(Work, "g.png", 2, 2, 64)},
    });
    Provider.Boxes.clear();
    Kestrune_LoadTextures();

    EXPECT_TRUE(Provider.Boxes.empty());
    EXPECT_EQ(QORglut_Texture_List->Count(), 7);
    EXPECT_NE(QORglut_Textures_GetTextureFromList("brushtiletool"), nullptr);
    EXPECT_NE(QORglut_Textures_GetTextureFromList("NoExtension"), nullptr);
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("Broken"), nullptr);
    // Both "Lock" entries are registered; a lookup finds the first.
    TQORglutTexture* lock = QORglut_Textures_GetTextureFromList("Lock");
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->GetWidth(), 4);
    EXPECT_EQ(lock->GetHeight(), 2);

    struct Expected {
        const char* name;
        TQORglutTexture* field;
        bool alpha, blend;
    };
    const Expected adjusted[] = {
        {"MapDisabled", App->mapDisabledTexture, true, false},
        {"NoMapApplied", App->noMapAppliedTexture, false, false},
        {"NoUVMap", App->noUVMapTexture, false, false},
        {"Lock", App->lockTexture, false, false},
    };
    for (const Expected& e : adjusted) {
        SCOPED_TRACE(e.name);
        ASSERT_EQ(e.field, QORglut_Textures_GetTextureFromList(e.name));
        EXPECT_EQ(e.field->HasAlpha(), e.alpha);
        EXPECT_EQ(e.field->GetBlend(), e.blend);
    }
    EXPECT_TRUE(QORglut_Textures_GetTextureFromList("BrushTileTool")->GetBlend());
    // Every extracted file is gone again, the undecodable one too.
    EXPECT_TRUE(fs::is_empty(Temp));
    Kestrune_CheckGraphicsAreCurrent();   // returns: the container is current
}

TEST_F(GuiGraphics, MissingTexturesLeaveTheirFieldsEmpty)
{
    new TKSN_Application("Kestrune");
    WriteContainer({{"BrushTileTool.png", ImageFile(Work, "a.png", 2, 2, 255)}});
    Kestrune_LoadTextures();
    EXPECT_EQ(App->lockTexture, nullptr);
    EXPECT_EQ(App->mapDisabledTexture, nullptr);
    EXPECT_EQ(QORglut_Texture_List->Count(), 1);
}

TEST_F(GuiGraphics, TheShippedContainerIsCurrent)
{
    OS.MainPath = std::string(KSN_SOURCE_DIR) + "/";
    Kestrune_LoadTextures();
    for (const char* name : {"BrushTileTool", "SplashScreen-Vessuna", "MapDisabled", "NoMapApplied", "NoUVMap",
                             "Lock", "Lock_icon", "PanButton", "Rotate_XY_Button", "ZoomButton", "Selection"}) {
        SCOPED_TRACE(name);
        TQORglutTexture* t = QORglut_Textures_GetTextureFromList(name);
        ASSERT_NE(t, nullptr);
        EXPECT_GT(t->GetWidth(), 1);
    }
    EXPECT_TRUE(fs::is_empty(Temp));
}

TEST_F(GuiGraphics, StartUpStopsWithoutAContainerOrWithAnOutdatedOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static TStderrProvider stderrProvider;
    OS.SetDialogProvider(&stderrProvider);
    EXPECT_EXIT(Kestrune_LoadTextures(), ::testing::ExitedWithCode(1),
                "BOX: Cannot open the file .*/main/Data/Graphics\\.dat");

    WriteContainer({});
    EXPECT_EXIT(
        {
            Kestrune_LoadTextures();
            Kestrune_CheckGraphicsAreCurrent();
        },
        ::testing::ExitedWithCode(1), "BOX: The file\\.\\.\\.\n\n.*/main/Data/Graphics\\.dat\n\nis obsolete");

    WriteContainer({{"Lock.png", ImageFile(Work, "a.png", 2, 2, 255)}});
    EXPECT_EXIT(
        {
            Kestrune_LoadTextures();
            Kestrune_CheckGraphicsAreCurrent();
        },
        ::testing::ExitedWithCode(1), "is obsolete");
}

} // namespace
