// The manager panels' list rows: guides by level, collapse buttons, the
// alternate shading, the elbow of a block's last row and the collapse
// callback.
#include "KSN_MainWindowTestSupport.h"

#include "GuiText.h"
#include "KSN_Gui_ManagerLists.h"
#include "KSN_Object.h"

#include <algorithm>

namespace {

using ManagerLists = MainWindowFixture;

std::vector<TGui_TreeGuideNode*> Guides(TGui_Node* row)
{
    std::vector<TGui_TreeGuideNode*> out;
    for (TGui_Node* c = row->FirstChild; c; c = c->Next)
        if (auto* g = dynamic_cast<TGui_TreeGuideNode*>(c)) out.push_back(g);
    return out;
}

} // namespace

TEST_F(ManagerLists, GuidesFollowTheLevelAndAnExpandedButtonAddsOneBeneathIt)
{
    auto* panel = new TKSN_ManagerNode(W().SidePanel);
    struct TCase {
        int Level;
        bool Button, Collapsed;
        std::vector<std::pair<int, bool>> Guides;   // x, branch; in child order
    } const cases[] = {
        {0, false, false, {{-12, true}}},
        {1, false, false, {{0, true}}},
        {3, false, false, {{24, true}, {12, false}, {0, false}}},
        {2, true, false, {{24, false}, {12, true}, {0, false}}},
        {2, true, true, {{12, true}, {0, false}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Level);
        TKSN_ManagerListItem* row = panel->CreateNewListItem(true, "Row", c.Level, c.Button, c.Collapsed, nullptr, 0);
        std::vector<std::pair<int, bool>> got;
        for (TGui_TreeGuideNode* g : Guides(row)) got.emplace_back(g->X, g->Branch);
        EXPECT_EQ(got, c.Guides);
        EXPECT_EQ(row->TextNode->X, 12 * c.Level + (c.Button ? 12 : 0));
        if (c.Button) {
            EXPECT_EQ(row->CollapseButton->X, 12 * c.Level);
            EXPECT_EQ(row->CollapseButton->Collapsed, c.Collapsed);
        }
    }
    // Without guides a row has none.
    EXPECT_TRUE(Guides(panel->CreateNewListItem(false, "Plain", 3, false, false, nullptr, 0)).empty());
}

TEST_F(ManagerLists, EverySecondRowIsShadedAndTheCountRestartsAfterUpdate)
{
    auto* panel = new TKSN_ManagerNode(W().SidePanel);
    const float light = QORglutWigits_DefaultLightBackgroundColor[0];
    for (int pass = 0; pass < 2; ++pass) {
        panel->Update();
        std::vector<TKSN_ManagerListItem*> rows;
        for (int i = 0; i < 3; ++i) rows.push_back(panel->CreateNewListItem(false, "r", 0, false, false, nullptr, 0));
        EXPECT_FLOAT_EQ(rows[0]->BackgroundColor[0], light);
        EXPECT_FLOAT_EQ(rows[1]->BackgroundColor[0], light * 0.9f);
        EXPECT_FLOAT_EQ(rows[1]->BackgroundColorB[2], QORglutWigits_DefaultLightBackgroundColor[2] * 0.9f);
        EXPECT_FLOAT_EQ(rows[2]->BackgroundColor[0], light);
        EXPECT_FALSE(rows[0]->DrawSurface);
        EXPECT_EQ(panel->List->GetChildCount(), 3);
    }
}

TEST_F(ManagerLists, TheLastRowOfABlockEndsItsBranchInAnElbow)
{
    auto* panel = new TKSN_ManagerNode(W().SidePanel);
    const int levels[] = {0, 1, 1, 2, 0};
    std::vector<TKSN_ManagerListItem*> rows;
    for (int level : levels) rows.push_back(panel->CreateNewListItem(true, "r", level, false, false, nullptr, 0));
    Layout();
    const int ends[] = {16, 16, 16, 6, 6};   // next row at least as deep: full height
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        TGui_TreeGuideNode* branch = Guides(rows[i]).front();
        ASSERT_TRUE(branch->Branch);
        EXPECT_EQ(branch->Height, 16);
        EXPECT_EQ(branch->LineEndY(), ends[i]);
    }
    // Plain guides always run the full height.
    EXPECT_EQ(Guides(rows[3]).back()->LineEndY(), 16);
}

TEST_F(ManagerLists, AnEmptyPanelsListIsZeroHighAndRowsStack)
{
    auto* panel = new TKSN_ManagerNode(W().SidePanel);
    Layout();
    EXPECT_EQ(panel->List->Height, 0);
    panel->CreateNewListItem(false, "a", 0, false, false, nullptr, 0);
    TKSN_ManagerListItem* b = panel->CreateNewListItem(false, "b", 0, false, false, nullptr, 0);
    Layout();
    EXPECT_GT(b->Y, 16);
    EXPECT_EQ(panel->List->Height, b->Y + 16);
}

TEST_F(ManagerLists, APanelOutsideAMasteredTreeIsRefused)
{
    TGui_Node loose;
    EXPECT_THROW(new TKSN_ManagerNode(&loose), std::exception);
}

TEST_F(ManagerLists, TheCollapseCallbackFlipsTheFlagOrReportsAMissingObject)
{
    TKSN_Object object;
    object.RegisterForLookup();
    object.collapsed = true;
    auto* panel = new TKSN_ManagerNode(W().SidePanel);
    TKSN_ManagerListItem* row =
        panel->CreateNewListItem(true, "Obj", 1, true, true, ToggleCollapsedThingyCB, object.GetID());
    TQOREvent* click = row->CollapseButton->ClickEvent;
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->GetCommand(), -1);
    EXPECT_TRUE(ToggleCollapsedThingyCB(click));
    EXPECT_FALSE(object.collapsed);
    EXPECT_EQ(CountQueued(441), 1);

    const size_t boxes = Provider.Boxes.size();
    TQOREvent none(ToggleCollapsedThingyCB, 0, -1);
    EXPECT_FALSE(ToggleCollapsedThingyCB(&none));
    ASSERT_EQ(Provider.Boxes.size(), boxes + 1);
    EXPECT_NE(Provider.Boxes.back().Text.find("Thingy == NULL"), std::string::npos);
    EXPECT_EQ(CountQueued(441), 1);
}
