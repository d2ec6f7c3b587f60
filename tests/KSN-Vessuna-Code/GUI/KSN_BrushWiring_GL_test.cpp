// The brush commands, live variables, drops and mode-bar thumbnails on the
// project's real brush images, with a GL context (Xvfb with Mesa) for their
// textures, read back: colour and flip changes rebuild the colourised image,
// the tiling commands want a brush image, loads go through the project.
#include "KSN_CommandTestSupport.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KsnTestGL.h"

#include "KSN_BrushLibrary.h"
#include "KSN_Object.h"
#include "KSN_TextureBrushImage.h"
#include "KSN_ToolKinds.h"
#include "KSN_ToolList.h"
#include "QORImage.h"
#include "QORImageMap.h"
#include "QORString.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <memory>

namespace {

using TRGBA = std::array<int, 4>;

class BrushWiring : public CommandFixture {
protected:
    TTestGLWindow Window;

    void SetUp() override
    {
        ASSERT_TRUE(Window.Open()) << "no GLX display: run under xvfb-run";
        CommandFixture::SetUp();
    }

    // An RGBA PNG of w x h written for the test; colour(x, y).
    std::string WritePng(const char* name, int w, int h, const std::function<TRGBA(int, int)>& colour)
    {
        std::vector<unsigned char> rgba(size_t(w) * size_t(h) * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 4; ++k)
                    rgba[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(k)] = uint8_t(colour(x, y)[size_t(k)]);
        const std::string path = (Store.Folder / name).string();
        EXPECT_TRUE(SaveMapToFile(path.c_str(), rgba.data(), w, h, true));
        return path;
    }
    std::string Plain(const char* name, TRGBA c)
    {
        return WritePng(name, 8, 8, [c](int, int) { return c; });
    }
    static TRGBA Colorized(int x, int y)
    {
        TQORImageMap& m = Project->ColorizedBrushImage;
        const unsigned char* p = m.GetPixels() + (size_t(y) * size_t(m.GetWidth()) + size_t(x)) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    // The middle texel of level 0 of a GL texture.
    static TRGBA TextureCentre(uint32_t name)
    {
        GLint w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        std::vector<unsigned char> px(size_t(std::max(w, 1)) * size_t(std::max(h, 1)) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        if (w > 0 && h > 0) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        const unsigned char* p = px.data() + (size_t(h / 2) * size_t(w) + size_t(w / 2)) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    static bool Printed(const std::string& text)
    {
        return std::find(g_Printed.begin(), g_Printed.end(), text) != g_Printed.end();
    }
    static std::string NeedsImage(int feature) { return QORFormat(Lang.GetText(1483), Lang.GetText(feature)); }
    static std::string OnOff(int feature, bool on)
    {
        return QORFormat("%s - %s", Lang.GetText(feature), Lang.GetText(on ? 1463 : 1464));
    }
    // The paint tab's tile set-up tool, which the bare application lacks.
    void GiveTheApplicationATileTool()
    {
        TileTool.ToolList = App->paintTools;
        App->tileSetupTool = &TileTool;
    }
    void TearDown() override
    {
        if (App) {
            App->currentTool = nullptr;
            App->tileSetupTool = nullptr;
        }
        CommandFixture::TearDown();
    }
    TKSN_TileSetupTool TileTool;

    static void SetColour(float* c, float r, float g, float b)
    {
        c[0] = r;
        c[1] = g;
        c[2] = b;
    }
};

TEST_F(BrushWiring, ColourCommandsRebuildTheColourisedImageAndItsTexture)
{
    ASSERT_TRUE(KSN_LoadBrushTexture(Plain("white.png", {255, 255, 255, 255}).c_str()));
    ASSERT_TRUE(Run(29, 1, 1));   // mix colour and texture
    SetColour(App->paintColor, 0, 0, 0);
    SetColour(App->secondaryPaintColor, 0, 1, 0);
    Project->CreateColorizedBrushImage();
    ASSERT_EQ(Colorized(0, 0), (TRGBA{0, 0, 0, 255}));

    // Swap: the green secondary becomes the primary the image is tinted with.
    ASSERT_TRUE(Run(487));
    EXPECT_EQ(Colorized(3, 3), (TRGBA{0, 255, 0, 255}));
    EXPECT_EQ(TextureCentre(Project->ColorizedBrushImage.GetGLTexure()), (TRGBA{0, 255, 0, 255}));

    // Reset: black primary again, in the pixels and in the texture.
    ASSERT_TRUE(Run(488));
    EXPECT_EQ(Colorized(3, 3), (TRGBA{0, 0, 0, 255}));
    EXPECT_EQ(TextureCentre(Project->ColorizedBrushImage.GetGLTexure()), (TRGBA{0, 0, 0, 255}));
}

TEST_F(BrushWiring, MixAndFlipFlagsRebuildTheColourisedImage)
{
    // Left half red, right half blue; bottom rows (y < 4) green in the flip-Y picture.
    const std::string halves = WritePng("halves.png", 8, 8, [](int x, int) {
        return x < 4 ? TRGBA{255, 0, 0, 255} : TRGBA{0, 0, 255, 255};
    });
    const std::string rows = WritePng("rows.png", 8, 8, [](int, int y) {
        return y < 4 ? TRGBA{0, 255, 0, 255} : TRGBA{255, 255, 255, 255};
    });
    struct TCase {
        int Id;
        const std::string* Image;
        TRGBA Before, After;   // colourised pixel (0, 0)
    };
    SetColour(App->paintColor, 1, 0, 0);
    const TCase cases[] = {
        {29, &rows, {0, 255, 0, 255}, {0, 0, 0, 255}},          // green x red primary
        {30, &halves, {255, 0, 0, 255}, {0, 0, 255, 255}},      // the right edge comes left
        {31, &rows, {0, 255, 0, 255}, {255, 255, 255, 255}},    // the top row comes down
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Id);
        Project->MixColorAndTexture = Project->FlipBrushTextureX = Project->FlipBrushTextureY = false;
        ASSERT_TRUE(KSN_LoadBrushTexture(c.Image->c_str()));
        ASSERT_EQ(Colorized(0, 0), c.Before);
        EXPECT_TRUE(Run(c.Id, 1, 1));
        EXPECT_EQ(Colorized(0, 0), c.After);
        EXPECT_EQ(GetInt(c.Id), 1);
        EXPECT_TRUE(Run(c.Id, 1, 0));
        EXPECT_EQ(Colorized(0, 0), c.Before) << "switched off again";
    }
}

TEST_F(BrushWiring, TilingCommandsWithoutABrushImageWarnAndChangeNothing)
{
    GiveTheApplicationATileTool();
    Project->TileBrushTexture = false;
    ASSERT_EQ(Project->GetCurrentTextureBrushImage(), nullptr);
    Project->SetSpecialDisplayMode(1);
    const struct {
        int Id, Feature;
    } cases[] = {{36, 342}, {42, 1481}, {44, 1485}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Id);
        g_Printed.clear();
        EXPECT_TRUE(Run(c.Id));
        EXPECT_TRUE(Printed(NeedsImage(c.Feature))) << LastPrinted();
        EXPECT_FALSE(Project->TileBrushTexture);
        EXPECT_EQ(App->currentTool, nullptr);
    }
    // The tile view falls back to no special display and refreshes the captions.
    EXPECT_EQ(Project->GetSpecialDisplayMode(), 0);
    EXPECT_EQ(CountQueued(455), 1);
    EXPECT_EQ(CountQueued(432), 0);
}

TEST_F(BrushWiring, TilingCommandsToggleTilingTheTileViewAndTheTileTool)
{
    ASSERT_TRUE(KSN_LoadBrushTexture(Plain("tile.png", {10, 20, 30, 255}).c_str()));
    GiveTheApplicationATileTool();
    Project->TileBrushTexture = false;
    QOREvents_Clean();

    // 36 flips tiling and says so.
    EXPECT_TRUE(Run(36));
    EXPECT_TRUE(Project->TileBrushTexture);
    EXPECT_EQ(LastPrinted(), OnOff(342, true));
    EXPECT_EQ(CountQueued(432), 1);
    EXPECT_TRUE(Run(36));
    EXPECT_FALSE(Project->TileBrushTexture);
    EXPECT_EQ(LastPrinted(), OnOff(342, false));
    EXPECT_EQ(CountQueued(153), 0) << "the tile tool is not current";

    // 42 toggles the tile view.
    EXPECT_TRUE(Run(42));
    EXPECT_EQ(Project->GetSpecialDisplayMode(), 2);
    EXPECT_EQ(LastPrinted(), OnOff(1481, true));
    EXPECT_TRUE(Run(42));
    EXPECT_EQ(Project->GetSpecialDisplayMode(), 0);
    EXPECT_EQ(LastPrinted(), OnOff(1481, false));

    // 44 chooses the tile tool in the paint tab with tiling on; again goes back.
    App->toolTypeTab = 0;
    EXPECT_TRUE(Run(44));
    EXPECT_EQ(App->currentTool, static_cast<TKSN_Tool*>(App->tileSetupTool));
    EXPECT_TRUE(Project->TileBrushTexture);
    EXPECT_EQ(App->GetToolTypeTab(), 3);
    QOREvents_Clean();
    EXPECT_TRUE(Run(44));
    EXPECT_EQ(CountQueued(153), 1);

    // Switching tiling off while the tile tool is current leaves the tool,
    // by hot key (36) as by the check box (32).
    for (int id : {36, 32}) {
        SCOPED_TRACE(id);
        Project->TileBrushTexture = true;
        QOREvents_Clean();
        EXPECT_TRUE(Run(id, 1, 0));
        EXPECT_FALSE(Project->TileBrushTexture);
        EXPECT_EQ(CountQueued(153), 1);
        EXPECT_EQ(CountQueued(432), 1);
    }
}

TEST_F(BrushWiring, BrushImagesLoadThroughTheProjectAndABrokenFileIsReported)
{
    const std::string path = Plain("stone.png", {90, 80, 70, 255});
    EXPECT_TRUE(KSN_LoadBrushTexture(path.c_str()));
    TKSN_TextureBrushImage* image = Project->GetCurrentTextureBrushImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 8);
    EXPECT_EQ(CurrentBrushFileName, path);

    // A missing file keeps the image; an unreadable one is reported and drops it.
    EXPECT_FALSE(KSN_LoadBrushTexture((Store.Folder / "missing.png").c_str()));
    EXPECT_NE(Project->GetCurrentTextureBrushImage(), nullptr);
    EXPECT_FALSE(KSN_LoadBrushTexture(nullptr));
    const std::string broken = (Store.Folder / "broken.png").string();
    std::ofstream(broken) << "not an image";
    g_Printed.clear();
    EXPECT_FALSE(KSN_LoadBrushTexture(broken.c_str()));
    EXPECT_TRUE(Printed(QORFormat(Lang.GetText(1021), broken.c_str()))) << LastPrinted();
    EXPECT_EQ(Project->GetCurrentTextureBrushImage(), nullptr);
    EXPECT_TRUE(CurrentBrushFileName.empty());

    // A library entry loads its file and closes the image pop-up.
    auto entry = std::make_unique<TBrushImageLibraryEntry>();
    entry->SetName("%s", "stone");
    std::snprintf(entry->folder, sizeof entry->folder, "%s/", Store.Folder.c_str());
    std::snprintf(entry->extension, sizeof entry->extension, "%s", "png");
    entry->RegisterForLookup();
    W().BrushImageLibraryWindow->Show();
    EXPECT_TRUE(Run(484, 1, 0, 0.0f, entry->GetID()));
    ASSERT_NE(Project->GetCurrentTextureBrushImage(), nullptr);
    EXPECT_EQ(CurrentBrushFileName, Store.Folder.string() + "/stone.png");
    EXPECT_FALSE(W().BrushImageLibraryWindow->Shown);

    // An entry whose file went bad says so, drops the image and still closes.
    entry->SetName("%s", "broken");
    W().BrushImageLibraryWindow->Show();
    g_Printed.clear();
    EXPECT_TRUE(Run(484, 1, 0, 0.0f, entry->GetID()));
    EXPECT_TRUE(Printed(QORFormat(Lang.GetText(1016), broken.c_str()))) << LastPrinted();
    EXPECT_EQ(Project->GetCurrentTextureBrushImage(), nullptr);
    EXPECT_FALSE(W().BrushImageLibraryWindow->Shown);
}

TEST_F(BrushWiring, TheModeBarShowsThumbnailsOfTheBrushImageAndShape)
{
    W().UpdateModeButtons();
    TQORglutTexture* none = QORglut_Textures_GetTextureFromList("NoTexture");
    ASSERT_NE(W().BrushImageButton, nullptr);
    EXPECT_EQ(W().BrushImageButton->GraphicID, none ? none->GetID() : 0u) << "no brush image yet";

    ASSERT_TRUE(KSN_LoadBrushTexture(Plain("red.png", {255, 0, 0, 255}).c_str()));
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(Plain("shape.png", {0, 0, 0, 255}).c_str()));
    W().UpdateModeButtons();

    TQORImageMap* image = Project->BrushImage.GetThumbnail(32, 32, false);
    TQORImageMap* shape = Project->BrushShapeImage.GetThumbnail(32, 32, false);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(W().BrushImageButton->GraphicID, image->GetTextureWrapping()->GetID());
    EXPECT_EQ(W().BrushShapeButton->GraphicID, shape->GetTextureWrapping()->GetID());
    const unsigned char* red = image->GetPixels();
    EXPECT_EQ((TRGBA{red[0], red[1], red[2], red[3]}), (TRGBA{255, 0, 0, 255}));
    // A shape thumbnail shows ink: an empty (black) shape is white.
    EXPECT_EQ(shape->GetPixels()[0], 255);
}

TEST_F(BrushWiring, ADroppedPictureBecomesAnObjectNamedAfterItsFile)
{
    const std::string path = Plain("poster.png", {200, 100, 50, 255});
    const int objects = Project->GetObjectCount();
    EXPECT_FALSE(KSN_CreatePictureObject(nullptr, path.c_str(), 10, 10));
    EXPECT_EQ(Project->GetObjectCount(), objects);

    ASSERT_NE(App->viewports[0], nullptr);
    EXPECT_TRUE(KSN_CreatePictureObject(App->viewports[0], path.c_str(), 10, 10));
    ASSERT_EQ(Project->GetObjectCount(), objects + 1);
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
    ASSERT_TRUE(list);
    bool named = false;
    for (TKSN_Object* o : *list) named = named || (o && std::string(o->GetName()) == "poster");
    EXPECT_TRUE(named);
}

} // namespace
