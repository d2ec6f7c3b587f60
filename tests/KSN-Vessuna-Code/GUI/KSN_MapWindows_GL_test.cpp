// A Maps-tab entry drawn in the real window (Xvfb with Mesa) and read back:
// the map's thumbnail inside a bevel, the yellow outline of a highlighted
// map, and an empty square once the map is gone.
#include "KSN_MainWindowGLTestSupport.h"

#include "KSN_MapWindows.h"
#include "QORMaterialMapSource.h"

#include "KsnTestReadBack.h"

#include <GL/gl.h>

#include <array>

namespace {

class MapEntryDrawn : public MainWindowGLFixture {
protected:
    void SetUp() override
    {
        MainWindowGLFixture::SetUp();
        TKSN_Project::RegisterMapHooks();
    }
    void Frame()
    {
        Layout();
        MainWindowGLFixture::Frame();
    }
    static bool Near(TPixel a, TPixel b, int tolerance = 12) { return MainWindowGLFixture::Near(a, b, tolerance); }
};

TEST_F(MapEntryDrawn, TheEntryShowsItsMapItsHighlightAndNothingOnceTheMapIsGone)
{
    TQORMaterialMapSource* map = Project->CreateMapSource();
    map->SetDimensions(16, 16, 3);
    unsigned char* p = map->GetPixels();
    for (int i = 0; i < 16 * 16; ++i) {
        p[3 * i] = 0;
        p[3 * i + 1] = 200;
        p[3 * i + 2] = 0;
    }
    map->OnWholeMapChanged();
    map->RegisterForLookup();

    // On top of everything, in the middle of the window.
    auto* entry = new TKSN_MapNode(&W(), map->GetID());
    entry->SetPosition(WindowW / 2 - 45, WindowH / 2 - 45);
    entry->SetSize(90, 90);
    entry->AutoSize = false;
    entry->Pop();
    Frame();
    const int cx = entry->AbsX + 45, cy = entry->AbsY + 45;
    EXPECT_TRUE(Near(At(cx, cy), {0, 200, 0})) << At(cx, cy)[0] << "," << At(cx, cy)[1] << "," << At(cx, cy)[2];
    EXPECT_FALSE(Near(At(cx, entry->AbsY + 1), {255, 255, 0}));

    map->multiSelected = true;
    Frame();
    EXPECT_TRUE(Near(At(cx, entry->AbsY + 1), {255, 255, 0})) << At(cx, entry->AbsY + 1)[2];
    EXPECT_TRUE(Near(At(cx, cy), {0, 200, 0}));

    // The map deleted while its entry is still there: a plain white square.
    Project->Maps->SelectItem(map->GetID(), false, false);
    Project->Maps->DeleteSelectedItems();
    Frame();
    EXPECT_TRUE(Near(At(cx, cy), {255, 255, 0}) == false);
    EXPECT_TRUE(Near(At(cx, cy), {255, 255, 255})) << At(cx, cy)[0] << "," << At(cx, cy)[1] << "," << At(cx, cy)[2];
}

} // namespace
