// The hint node: wrapping, the reminder line, placement and cut texts.
#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class GuiHintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master = std::make_unique<TGui_Master>();
        Master->SetSize(800, 600);
        Master->LayoutTree();
    }
    void TearDown() override
    {
        Master.reset();
        QOREvents_Clean();
    }
    std::vector<std::string> Lines()
    {
        std::vector<std::string> out;
        for (TGui_Node* n = Master->HintNode->TextColumn->FirstChild; n; n = n->Next) out.push_back(n->GetName());
        return out;
    }
    std::unique_ptr<TGui_Master> Master;
};

TEST_F(GuiHintTest, AShortHintShowsItsWordsAnEmptyLineAndTheReminder)
{
    TGui_Node* node = Master->AddNode(nullptr, 40, 20);
    node->SetPosition(10, 10);
    Master->LayoutTree();
    Master->PrintHint(node, "Smooth the surface");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Smooth the surface ", "", "Press ESC to hide this hint"}));
    EXPECT_TRUE(Master->HintNode->Shown);
    EXPECT_EQ(Master->HintNode->X, 10 + 40 + 4);
    EXPECT_EQ(Master->HintNode->Y, 10 + 20 + 4);
    TGui_Node* last = Master->FirstChild;
    while (last->Next) last = last->Next;
    EXPECT_EQ(last, Master->HintNode) << "a floating hint is raised above its siblings";

    Master->PrintHint(node, "");
    EXPECT_FALSE(Master->HintNode->Shown);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(GuiHintTest, NewlinesStartLinesAndTheTitleStaysBold)
{
    Master->PrintHint(nullptr, "[b]Title[/b]\nBody text");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[b]Title[/b] ", "Body text ", "", "Press ESC to hide this hint"}));
}

TEST_F(GuiHintTest, LongHintsWrapWithinThreeQuartersOfTheMaster)
{
    std::string text;
    for (int i = 0; i < 300; ++i) text += (i % 7 == 0 ? "[b]Mmmm[/b] " : "wide words ");
    Master->PrintHint(nullptr, text.c_str());
    std::vector<std::string> lines = Lines();
    ASSERT_GT(lines.size(), 5u);
    for (const std::string& line : lines) EXPECT_LE(QORGui_MeasureText(line.c_str()), 600) << line;
    // Bottom-right corner without a node.
    TGui_HintNode* hint = Master->HintNode;
    EXPECT_EQ(hint->X, std::max(0, 800 - hint->Width));
    EXPECT_EQ(hint->Y, std::max(0, 600 - hint->Height));
}

TEST_F(GuiHintTest, NearTheRightOrBottomEdgeTheHintGoesLeftOrAbove)
{
    TGui_Node* corner = Master->AddNode(nullptr, 50, 30);
    corner->SetPosition(740, 560);
    Master->LayoutTree();
    Master->PrintHint(corner, "A hint near the corner");
    TGui_HintNode* hint = Master->HintNode;
    EXPECT_EQ(hint->X, 740 - hint->Width - 4);
    EXPECT_EQ(hint->Y, 560 - hint->Height - 4);
    EXPECT_LE(hint->X + hint->Width, 740);
}

TEST_F(GuiHintTest, HugeHintsAndWordsAreCutCleanly)
{
    std::string huge(20000, 'x');
    Master->PrintHintParam(nullptr, "%s", huge.c_str());   // cut at 4,999 bytes by the format buffer
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u) << "an empty line before the over-wide word, the word, an empty line, the reminder";
    EXPECT_EQ(lines[0], "");
    EXPECT_LE(lines[1].size(), 4999u);

    // Words of bytes that add no width, and markup, never overrun the line buffer.
    std::string noWidth;
    for (int i = 0; i < 3000; ++i) noWidth += "\xc3\xa9 [b][/b] ";
    Master->PrintHint(nullptr, noWidth.c_str());
    for (const std::string& line : Lines()) EXPECT_LE(line.size(), 4999u);
}

bool KeepHint(TQOREvent*) { return true; }

TEST_F(GuiHintTest, AHintEventCarriesTheTextAndLeavesTheHintNode)
{
    TQOREvent templ(KeepHint, 0, 5);
    Master->HintEvent = &templ;
    Master->PrintHint(nullptr, "Sent away");
    EXPECT_FALSE(Master->HintNode->Shown);
    std::unique_ptr<TQOREvent> e(QOREvents_PopEvent());
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->GetStringParameter(0), "Sent away");
    Master->HintEvent = nullptr;
}

} // namespace
