// The tool lists: which tools land in which list and order, the links back
// to the lists, the tab switch command and the run-time type queries.
#include "KSN_ShellTestSupport.h"

#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "QORLanguage.h"

namespace {

using ToolListTest = ShellFixture;

TEST_F(ToolListTest, InitializeToolsFillsEveryListInOrder)
{
    App = new TKSN_Application("Kestrune");
    EXPECT_STREQ(App->paintTools->GetName(), Lang.GetText(1562));
    EXPECT_STREQ(App->sculptTools->GetHint(), "Sculpt Tools");
    PaintBrushHardness = 0.7f;
    App->InitializeTools();
    EXPECT_FLOAT_EQ(PaintBrushHardness, 0.0f);
    EXPECT_FLOAT_EQ(SelectionBrushHardness, 0.1f);

    struct Case {
        TKSN_ToolList* list;
        std::vector<int> separators;   // positions from 0
        int count;
    } cases[] = {
        {App->navigationTools, {}, 3},   {App->transformationTools, {}, 3}, {App->sculptTools, {}, 3},
        {App->modelingTools, {}, 6},     {App->selectionTools, {}, 6},      {App->deformationTools, {4}, 11},
        {App->additionalUtilities, {}, 2}, {App->paintTools, {11, 14}, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list->GetName());
        ASSERT_EQ(c.list->Count(), c.count);
        for (int i = 0; i < c.count; ++i) {
            bool separator = std::find(c.separators.begin(), c.separators.end(), i) != c.separators.end();
            TKSN_Tool* tool = (*c.list)[i];
            EXPECT_EQ(tool == nullptr, separator) << i;
            if (tool) {
                EXPECT_EQ(tool->ToolList, c.list) << i;
            }
        }
    }
    EXPECT_EQ((*App->navigationTools)[0], App->moveViewTool);
    EXPECT_EQ((*App->navigationTools)[2], App->rotateViewTool);
    EXPECT_EQ((*App->paintTools)[12], App->colorGrabberTool);
    EXPECT_EQ((*App->paintTools)[13], App->textureGrabberTool);
    EXPECT_EQ((*App->paintTools)[17], static_cast<TKSN_Tool*>(App->tileSetupTool));
    EXPECT_EQ((*App->additionalUtilities)[1], App->faceloomTool);
    auto* symmetric = dynamic_cast<TKSN_TouchupModeler*>((*App->modelingTools)[4]);
    ASSERT_NE(symmetric, nullptr);
    EXPECT_TRUE(symmetric->symmetric);
    ASSERT_NE(App->layerBrushTool, nullptr);
    EXPECT_EQ(App->layerBrushTool->ToolList, nullptr);

    EXPECT_EQ(App->exportFileTypeNames->Count(), 9);
    EXPECT_EQ(App->importImageTypes->Count(), 7);
    EXPECT_STREQ((*App->exportFileTypes)[7], "MOR (PZ2)");
    EXPECT_STREQ((*App->importFileTypeNames)[4], "CR2 File");
    EXPECT_EQ(App->exportImageTypesIndex, 0);
}

TEST_F(ToolListTest, ToolTabThreePushesItsCommandOnlyOnChange)
{
    App = new TKSN_Application("Kestrune");
    QOREvents_Clean();
    App->SetToolTypeTab(3);
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    App->SetToolTypeTab(1);
    App->SetToolTypeTab(3);
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 474);
    EXPECT_EQ(App->GetToolTypeTab(), 3);
}

TEST_F(ToolListTest, CurrentToolQueries)
{
    App = new TKSN_Application("Kestrune");
    App->InitializeTools();
    EXPECT_FALSE(App->IsCurrentToolAPaintBrush());
    EXPECT_FALSE(App->IsCurrentToolASelectionTool());
    EXPECT_FALSE(App->IsToolAPaintBrush(nullptr));
    App->currentTool = (*App->paintTools)[0];   // the colour brush
    EXPECT_TRUE(App->IsCurrentToolAPaintBrush());
    EXPECT_FALSE(App->IsCurrentToolASelectionTool());
    App->currentTool = (*App->selectionTools)[4];   // a _v4 brush, below the tool through a virtual base
    EXPECT_TRUE(App->IsCurrentToolASelectionTool());
    EXPECT_FALSE(App->IsCurrentToolAPaintBrush());
    App->currentTool = App->tileSetupTool;
    EXPECT_FALSE(App->IsCurrentToolAPaintBrush());
}

} // namespace
