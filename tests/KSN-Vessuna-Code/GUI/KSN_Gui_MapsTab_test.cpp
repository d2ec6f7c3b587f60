// The Maps tab: the thumbnail grid, the empty-project text, and clicks and
// right clicks through the window.
#include "KSN_MainWindowTestSupport.h"

#include "GuiText.h"
#include "KSN_Gui_MapsTab.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORTree.h"

namespace {

class MapsTab : public MainWindowFixture {
protected:
    TQORMaterialMapSource* AddMap(const char* name)
    {
        auto* map = new TQORMaterialMapSource();
        map->SetName("%s", name);
        Project->Maps->AddItem(map);
        return map;
    }
    std::vector<TKSN_MapNode*> Thumbnails()
    {
        std::vector<TKSN_MapNode*> out;
        for (TGui_Node* c = W().MapsNode->FirstChild; c; c = c->Next)
            if (auto* m = dynamic_cast<TKSN_MapNode*>(c)) out.push_back(m);
        return out;
    }
    void Rebuild(int width = 230)
    {
        W().MapsNode->MarginX = W().MapsNode->MarginY = 4;
        W().MapsNode->Width = width;
        W().MapsNode->Update();
    }
};

} // namespace

TEST_F(MapsTab, ThumbnailsWrapWhenTheNextWouldPassWidthLess90)
{
    TQORMaterialMapSource* maps[3] = {AddMap("Skin"), AddMap("Eyes"), AddMap("Hair")};
    Rebuild();
    auto nodes = Thumbnails();
    ASSERT_EQ(nodes.size(), 3u);
    const std::pair<int, int> at[] = {{4, 4}, {98, 4}, {4, 98}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(nodes[i]->X, at[i].first) << i;
        EXPECT_EQ(nodes[i]->Y, at[i].second) << i;
        EXPECT_EQ(nodes[i]->Width, 90);
        EXPECT_EQ(nodes[i]->MapID, maps[i]->GetID());
        EXPECT_EQ(std::string(nodes[i]->DragDropString), "Map " + std::to_string(maps[i]->GetID()));
        EXPECT_EQ(nodes[i]->DragDropEvent->GetCommand(), 376);
        EXPECT_EQ(nodes[i]->ClickEvent->idParameters[1], maps[i]->GetID());
    }
    // A narrow panel shows one per row.
    Rebuild(150);
    nodes = Thumbnails();
    EXPECT_EQ(nodes[1]->X, 4);
    EXPECT_EQ(nodes[1]->Y, 98);
}

TEST_F(MapsTab, AProjectWithoutMapsShowsOnlyTheText)
{
    Rebuild();
    ASSERT_EQ(W().MapsNode->GetChildCount(), 1);
    auto* text = dynamic_cast<TGui_Text*>(W().MapsNode->FirstChild);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->GetName(), Lang.GetText(258));
}

TEST_F(MapsTab, RightClicksKeepOrSetTheHighlightAndOpenTheMenu)
{
    TQORMaterialMapSource* a = AddMap("A");
    TQORMaterialMapSource* b = AddMap("B");
    TQORMaterialMapSource* c = AddMap("C");
    Project->Maps->SelectItem(a->GetID(), false, false);
    Project->Maps->SelectItem(b->GetID(), false, true);
    W().CurrentTab = 2;   // the Maps tab's page is the one shown
    Rebuild();
    Layout();

    // The refreshes a click queues rebuild the thumbnails: look them up again after each.
    std::vector<TKSN_MapNode*> nodes;
    auto rightClick = [&](int x, int y) {
        Press(x, y, 2);
        Release(x, y);
        KestruneEvents_ProcessEvents();
        Layout();
        nodes = Thumbnails();
    };
    nodes = Thumbnails();
    // The empty area: the menu opens and no highlight changes.
    ASSERT_GT(W().MapsNode->Height, 200);
    rightClick(W().MapsNode->AbsX + 150, W().MapsNode->AbsY + 195);
    EXPECT_TRUE(W().MapsMenu->Shown);
    EXPECT_TRUE(a->multiSelected && b->multiSelected);
    EXPECT_FALSE(c->multiSelected);
    W().MapsMenu->Hide();

    rightClick(nodes[1]->AbsX + 45, nodes[1]->AbsY + 45);
    EXPECT_TRUE(a->multiSelected && b->multiSelected);
    EXPECT_TRUE(W().MapsMenu->Shown);
    W().MapsMenu->Hide();

    rightClick(nodes[2]->AbsX + 45, nodes[2]->AbsY + 45);
    EXPECT_TRUE(c->multiSelected);
    EXPECT_FALSE(a->multiSelected || b->multiSelected);
}

TEST_F(MapsTab, AClickOnAGoneMapChangesNothing)
{
    TQOREvent e(ClickMapCB, 0, 0);
    e.idParameters[1] = 0xFFFFFF00u;
    EXPECT_FALSE(ClickMapCB(&e));
    e.idParameters[1] = 0;
    EXPECT_FALSE(RightClickMapCB(&e));   // no dispatching node
}
